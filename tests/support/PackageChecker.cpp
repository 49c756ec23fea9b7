#include "support/PackageChecker.h"

#include "support/XmlReader.h"

#include <algorithm>
#include <cctype>
#include <filesystem>
#include <map>
#include <optional>
#include <set>
#include <sstream>
#include <stdexcept>
#include <string_view>

namespace quillory::testing {

namespace {

constexpr std::string_view kMainNs = "http://schemas.openxmlformats.org/spreadsheetml/2006/main";
constexpr std::string_view kRelNs =
    "http://schemas.openxmlformats.org/officeDocument/2006/relationships";
constexpr std::string_view kStrictRelNs = "http://purl.oclc.org/ooxml/officeDocument/relationships";
constexpr std::string_view kPackageRelNs =
    "http://schemas.openxmlformats.org/package/2006/relationships";
constexpr std::string_view kContentTypesNs =
    "http://schemas.openxmlformats.org/package/2006/content-types";
constexpr std::string_view kXlsxWorkbookType =
    "application/vnd.openxmlformats-officedocument.spreadsheetml.sheet.main+xml";
constexpr std::string_view kWorksheetType =
    "application/vnd.openxmlformats-officedocument.spreadsheetml.worksheet+xml";
constexpr std::string_view kVbaType = "application/vnd.ms-office.vbaProject";

constexpr std::size_t kMaxSheetNameUnits = 31;
constexpr int kFirstCustomNumFmtId = 164;
constexpr int kMinSheetId = 1;
constexpr int kMaxSheetId = 65534;
constexpr std::size_t kMaxMergesCompared = 20000;
constexpr std::size_t kMaxProblemsPerKind = 20;

// Worksheet children in schema order, each between blanks: a later position is a later slot.
constexpr std::string_view kWorksheetOrder =
    " sheetPr dimension sheetViews sheetFormatPr cols sheetData sheetCalcPr sheetProtection"
    " protectedRanges scenarios autoFilter sortState dataConsolidate customSheetViews mergeCells"
    " phoneticPr conditionalFormatting dataValidations hyperlinks printOptions pageMargins"
    " pageSetup headerFooter rowBreaks colBreaks customProperties cellWatches ignoredErrors"
    " smartTags drawing legacyDrawing legacyDrawingHF drawingHF picture oleObjects controls"
    " webPublishItems tableParts extLst ";

template <typename... Parts> std::string concat(const Parts&... parts) {
    std::ostringstream out;
    (out << ... << parts);
    return out.str();
}

std::string quote(std::string_view text) {
    return concat('\'', text, '\'');
}

// Whether an index read from the package is present and does not name one of `count` items.
bool outside(const std::optional<long long>& index, std::size_t count) {
    return index && (*index < 0 || static_cast<std::size_t>(*index) >= count);
}

std::string lowerAscii(std::string_view text) {
    std::string out(text);
    for (char& c : out) {
        c = c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
    }
    return out;
}

std::u32string decodeUtf8(std::string_view text) {
    std::u32string out;
    for (std::size_t i = 0; i < text.size();) {
        const auto byte = static_cast<unsigned char>(text[i]);
        int extra = byte < 0x80 ? 0 : byte < 0xE0 ? 1 : byte < 0xF0 ? 2 : 3;
        char32_t code = byte & (0x7Fu >> extra); // the input is valid UTF-8 (expat's output)
        ++i;
        for (; extra > 0 && i < text.size(); --extra, ++i) {
            code = (code << 6) | (static_cast<unsigned char>(text[i]) & 0x3Fu);
        }
        out.push_back(code);
    }
    return out;
}

// Case folding for the scripts sheet names commonly use (Latin, Greek, Cyrillic).
std::u32string foldCase(std::string_view text) {
    std::u32string folded = decodeUtf8(text);
    for (char32_t& c : folded) {
        if ((c >= U'A' && c <= U'Z') || (c >= 0xC0 && c <= 0xDE && c != 0xD7) ||
            (c >= 0x391 && c <= 0x3A9) || (c >= 0x410 && c <= 0x42F)) {
            c += 0x20;
        } else if (c >= 0x400 && c <= 0x40F) {
            c += 0x50;
        } else if (c >= 0x100 && c <= 0x17F && c % 2 == 0) {
            c += 1; // Latin Extended-A pairs (approximate, enough for a checker)
        }
    }
    return folded;
}

bool isTrue(const std::string* value) {
    return value != nullptr && (*value == "1" || *value == "true");
}

std::optional<long long> toInteger(const std::string* value) {
    std::size_t used = 0;
    try {
        const long long number = value == nullptr ? 0 : std::stoll(*value, &used);
        return value != nullptr && used == value->size() ? std::optional(number) : std::nullopt;
    } catch (const std::exception&) {
        return std::nullopt;
    }
}

struct CellRef {
    long long column = 0; // 1-based
    long long row = 0;    // 1-based
};

std::optional<CellRef> parseCellRef(std::string_view ref) {
    CellRef cell;
    std::size_t i = ref.starts_with('$') ? 1 : 0;
    for (; i < ref.size() && std::isalpha(static_cast<unsigned char>(ref[i])); ++i) {
        cell.column =
            cell.column * 26 + (std::toupper(static_cast<unsigned char>(ref[i])) - 'A' + 1);
    }
    if (i < ref.size() && ref[i] == '$') {
        ++i;
    }
    for (; i < ref.size() && std::isdigit(static_cast<unsigned char>(ref[i])); ++i) {
        cell.row = cell.row * 10 + (ref[i] - '0');
    }
    if (i != ref.size() || cell.column == 0 || cell.row == 0) {
        return std::nullopt;
    }
    return cell;
}

struct RangeRef {
    CellRef first;
    CellRef last;
};

std::optional<RangeRef> parseRangeRef(std::string_view ref) {
    const auto colon = ref.find(':');
    const auto first = parseCellRef(ref.substr(0, colon));
    const auto last = colon == std::string_view::npos ? first : parseCellRef(ref.substr(colon + 1));
    if (!first || !last) {
        return std::nullopt;
    }
    return RangeRef{*first, *last};
}

std::string percentDecode(std::string_view text) {
    std::string out;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '%' && i + 2 < text.size() &&
            std::isxdigit(static_cast<unsigned char>(text[i + 1])) &&
            std::isxdigit(static_cast<unsigned char>(text[i + 2]))) {
            out.push_back(
                static_cast<char>(std::stoi(std::string(text.substr(i + 1, 2)), nullptr, 16)));
            i += 2;
        } else {
            out.push_back(text[i]);
        }
    }
    return out;
}

// Resolves a relationship target against the folder of its source part ("" for the package);
// ".." never climbs above the package root.
std::string resolveTarget(std::string_view sourcePart, std::string_view target) {
    const std::string decoded = percentDecode(target);
    std::filesystem::path joined = "/";
    if (decoded.empty() || decoded.front() != '/') {
        joined /= std::filesystem::path(sourcePart).parent_path();
    }
    return (joined / decoded).lexically_normal().relative_path().string();
}

struct Relationship {
    std::string id;
    std::string type;
    std::string resolved; // package part name, empty for external targets
    bool external = false;
};

struct SheetEntry {
    std::string name;
    std::string part;
    bool worksheet = false;
    bool visible = true;
    bool tabSelected = false;
};

class Checker {
public:
    explicit Checker(const PackageEntries& package) : package_(package) {}

    std::vector<std::string> run() {
        indexEntries();
        readContentTypes();
        readAllRelationships();
        checkForbiddenParts();
        checkEveryXmlPartParses();
        const std::string workbook = findWorkbookPart();
        if (!workbook.empty()) {
            checkWorkbook(workbook);
        }
        return problems_;
    }

private:
    template <typename... Parts> void problem(const Parts&... parts) {
        std::string text = concat(parts...);
        if (std::find(problems_.begin(), problems_.end(), text) == problems_.end()) {
            problems_.push_back(std::move(text));
        }
    }

    // Counts problems of one kind so a broken sheet does not flood the list.
    template <typename... Parts>
    void limitedProblem(const std::string& kind, const Parts&... parts) {
        if (++kindCounts_[kind] <= kMaxProblemsPerKind) {
            problem(parts...);
        }
    }

    const std::string* bytesOf(const std::string& part) const {
        const auto it = byLowerName_.find(lowerAscii(part));
        return it == byLowerName_.end() ? nullptr : &package_.entries()[it->second].bytes;
    }

    bool exists(const std::string& part) const { return byLowerName_.count(lowerAscii(part)) > 0; }

    static bool isFolder(const std::string& name) { return name.ends_with('/'); }

    // A tree of the bytes, or nullptr after reporting them as `label` (nothing without a label).
    std::unique_ptr<XmlElement> parse(const std::string& bytes, const std::string& label) {
        try {
            return parseXmlTree(bytes);
        } catch (const std::exception& error) {
            if (!label.empty()) {
                problem(label, " is not well-formed: ", error.what());
            }
            return nullptr;
        }
    }

    // The tree of a part; nullptr when it is missing or malformed (checkEveryXmlPartParses says).
    std::unique_ptr<XmlElement> tree(const std::string& part) {
        const std::string* bytes = bytesOf(part);
        return bytes == nullptr ? nullptr : parse(*bytes, {});
    }

    void indexEntries() {
        for (std::size_t i = 0; i < package_.entries().size(); ++i) {
            const std::string& name = package_.entries()[i].name;
            if (!isFolder(name) && !byLowerName_.emplace(lowerAscii(name), i).second) {
                problem("zip entry ", quote(name),
                        " appears twice (part names compare without regard to case)");
            }
        }
    }

    void readContentTypes() {
        const std::string* bytes = bytesOf("[Content_Types].xml");
        if (bytes == nullptr) {
            problem("[Content_Types].xml is missing");
            return;
        }
        const auto root = parse(*bytes, "[Content_Types].xml");
        if (!root) {
            return;
        }
        if (root->name.ns != kContentTypesNs || root->name.local != "Types") {
            problem("[Content_Types].xml has no Types root in the content-types namespace");
        }
        for (const XmlElement* element : root->childrenNamed("Default")) {
            const std::string* extension = element->attribute("Extension");
            const std::string* type = element->attribute("ContentType");
            if (extension != nullptr && type != nullptr) {
                defaults_[lowerAscii(*extension)] = *type;
            }
        }
        for (const XmlElement* element : root->childrenNamed("Override")) {
            const std::string* partName = element->attribute("PartName");
            const std::string* type = element->attribute("ContentType");
            if (partName == nullptr || type == nullptr || !partName->starts_with('/')) {
                problem("[Content_Types].xml has an Override without an absolute PartName");
                continue;
            }
            const std::string part = percentDecode(std::string_view(*partName).substr(1));
            overrides_[lowerAscii(part)] = *type;
            if (!exists(part)) {
                problem("[Content_Types].xml has an Override for missing part ", quote(part));
            }
        }
        for (const auto& entry : package_.entries()) {
            if (entry.name != "[Content_Types].xml" && !isFolder(entry.name) &&
                contentTypeOf(entry.name).empty()) {
                problem("part ", quote(entry.name), " has no content type");
            }
        }
    }

    std::string contentTypeOf(const std::string& part) const {
        const auto override = overrides_.find(lowerAscii(part));
        if (override != overrides_.end()) {
            return override->second;
        }
        const auto slash = part.rfind('/');
        const auto dot = part.rfind('.');
        if (dot == std::string::npos || (slash != std::string::npos && dot < slash)) {
            return {};
        }
        const auto found = defaults_.find(lowerAscii(part.substr(dot + 1)));
        return found == defaults_.end() ? std::string() : found->second;
    }

    static bool isRelsPart(const std::string& name) {
        return name.size() > 5 && lowerAscii(name.substr(name.size() - 5)) == ".rels" &&
               (name.starts_with("_rels/") || name.find("/_rels/") != std::string::npos);
    }

    // "xl/_rels/workbook.xml.rels" -> "xl/workbook.xml"; "_rels/.rels" -> "".
    static std::string sourceOfRels(const std::string& relsPart) {
        const auto marker = relsPart.rfind("_rels/");
        return relsPart.substr(0, marker) +
               relsPart.substr(marker + 6, relsPart.size() - marker - 6 - 5);
    }

    void readAllRelationships() {
        for (const auto& entry : package_.entries()) {
            if (!isRelsPart(entry.name)) {
                continue;
            }
            const std::string source = sourceOfRels(entry.name);
            const std::string label = quote(entry.name);
            if (!source.empty() && !exists(source)) {
                problem("relationships part ", label, " belongs to missing part ", quote(source));
            }
            const auto root = parse(entry.bytes, label);
            if (!root) {
                continue;
            }
            if (root->name.ns != kPackageRelNs) {
                problem(label, " is not in the package relationships namespace");
            }
            std::vector<Relationship>& list = rels_[lowerAscii(source)];
            std::set<std::string> ids;
            for (const XmlElement* element : root->childrenNamed("Relationship")) {
                const std::string* id = element->attribute("Id");
                const std::string* type = element->attribute("Type");
                const std::string* target = element->attribute("Target");
                if (id == nullptr || type == nullptr || target == nullptr) {
                    problem(label, " has a Relationship without Id, Type or Target");
                    continue;
                }
                const std::string* mode = element->attribute("TargetMode");
                Relationship rel{*id, *type, {}, mode != nullptr && *mode == "External"};
                if (!ids.insert(rel.id).second) {
                    problem(label, " uses relationship id ", quote(rel.id), " twice");
                }
                if (!rel.external && !target->empty() && target->front() != '#') {
                    rel.resolved = resolveTarget(source, *target);
                    if (!exists(rel.resolved)) {
                        problem(label, " relationship ", rel.id, " targets missing part ",
                                quote(rel.resolved));
                    }
                }
                if (rel.type.ends_with("/calcChain")) {
                    problem(label, " has a calcChain relationship");
                }
                if (rel.type.ends_with("/vbaProject")) {
                    problem(label, " has a vbaProject relationship in an .xlsx");
                }
                list.push_back(std::move(rel));
            }
        }
    }

    const std::vector<Relationship>& relsOf(const std::string& part) const {
        static const std::vector<Relationship> none;
        const auto it = rels_.find(lowerAscii(part));
        return it == rels_.end() ? none : it->second;
    }

    const Relationship* relById(const std::string& part, const std::string& id) const {
        const auto& rels = relsOf(part);
        const auto it = std::find_if(rels.begin(), rels.end(),
                                     [&](const Relationship& rel) { return rel.id == id; });
        return it == rels.end() ? nullptr : &*it;
    }

    void checkForbiddenParts() {
        for (const auto& entry : package_.entries()) {
            const std::string lower = lowerAscii(entry.name);
            const std::string type = contentTypeOf(entry.name);
            if (lower.ends_with("calcchain.xml") || type.find("calcChain") != std::string::npos) {
                problem("the package holds a calcChain part (", quote(entry.name), ")");
            }
            if (lower.ends_with("vbaproject.bin") || type == kVbaType) {
                problem("the package holds a macro project (", quote(entry.name), ") in an .xlsx");
            }
        }
    }

    // Relationship-id attributes must name a relationship of the part.
    void checkRelationshipIds(const std::string& part, const XmlElement& element) {
        for (const auto& attribute : element.attributes) {
            if ((attribute.name.ns == kRelNs || attribute.name.ns == kStrictRelNs) &&
                relById(part, attribute.value) == nullptr) {
                limitedProblem(part + "/rid", quote(part), " uses r:", attribute.name.local, "=\"",
                               attribute.value, "\" that its relationships do not define");
            }
        }
    }

    void checkEveryXmlPartParses() {
        for (const auto& entry : package_.entries()) {
            const std::string type = contentTypeOf(entry.name);
            const bool xml = lowerAscii(entry.name).ends_with(".xml") || type.ends_with("+xml");
            if (!xml || entry.name == "[Content_Types].xml" || isRelsPart(entry.name) ||
                type == kWorksheetType) {
                continue; // worksheets are read by checkWorksheet
            }
            if (const auto root = parse(entry.bytes, quote(entry.name))) {
                root->forEach(
                    [&](const XmlElement& element) { checkRelationshipIds(entry.name, element); });
            }
        }
    }

    std::string findWorkbookPart() {
        for (const auto& rel : relsOf("")) {
            if (rel.type.ends_with("/officeDocument") && !rel.external) {
                if (!exists(rel.resolved)) {
                    return {};
                }
                const std::string type = contentTypeOf(rel.resolved);
                if (type != kXlsxWorkbookType) {
                    problem("workbook part ", quote(rel.resolved), " has content type ",
                            quote(type), ", not the .xlsx workbook type");
                }
                return rel.resolved;
            }
        }
        problem("_rels/.rels has no officeDocument relationship to a workbook part");
        return {};
    }

    std::string relatedPart(const std::string& part, std::string_view typeSuffix) const {
        for (const auto& rel : relsOf(part)) {
            if (rel.type.ends_with(typeSuffix) && !rel.external && exists(rel.resolved)) {
                return rel.resolved;
            }
        }
        return {};
    }

    void readStyles(const std::string& workbook) {
        const std::string part = relatedPart(workbook, "/styles");
        const auto root = part.empty() ? nullptr : tree(part);
        if (!root) {
            return;
        }
        auto countOf = [&](std::string_view container, std::string_view item) -> std::size_t {
            const XmlElement* element = root->child(container);
            return element == nullptr ? 0 : element->childrenNamed(item).size();
        };
        const std::size_t fonts = countOf("fonts", "font");
        const std::size_t fills = countOf("fills", "fill");
        const std::size_t borders = countOf("borders", "border");
        const std::size_t styleXfs = countOf("cellStyleXfs", "xf");
        cellXfCount_ = countOf("cellXfs", "xf");
        dxfCount_ = countOf("dxfs", "dxf");
        std::set<long long> numFmtIds;
        if (const XmlElement* numFmts = root->child("numFmts")) {
            for (const XmlElement* numFmt : numFmts->childrenNamed("numFmt")) {
                const auto id = toInteger(numFmt->attribute("numFmtId"));
                if (!id) {
                    problem(quote(part), " has a numFmt without a numeric numFmtId");
                } else if (!numFmtIds.insert(*id).second) {
                    problem(quote(part), " defines number format id ", *id, " twice");
                }
            }
        }
        for (const std::string container : {"cellStyleXfs", "cellXfs"}) {
            const XmlElement* element = root->child(container);
            const auto xfs = element == nullptr ? std::vector<const XmlElement*>()
                                                : element->childrenNamed("xf");
            for (std::size_t index = 0; index < xfs.size(); ++index) {
                const std::string where = concat(quote(part), ' ', container, '[', index, ']');
                auto inRange = [&](const char* attribute, std::size_t count) {
                    const auto value = toInteger(xfs[index]->attribute(attribute));
                    if (outside(value, count)) {
                        problem(where, ' ', attribute, '=', *value, " is out of range (", count,
                                " defined)");
                    }
                };
                inRange("fontId", fonts);
                inRange("fillId", fills);
                inRange("borderId", borders);
                if (container == "cellXfs") {
                    inRange("xfId", styleXfs);
                }
                const auto numFmtId = toInteger(xfs[index]->attribute("numFmtId"));
                if (numFmtId && *numFmtId >= kFirstCustomNumFmtId && !numFmtIds.count(*numFmtId)) {
                    problem(where, " uses number format id ", *numFmtId,
                            " that is neither built in nor defined");
                }
            }
        }
        if (const XmlElement* cellStyles = root->child("cellStyles")) {
            for (const XmlElement* style : cellStyles->childrenNamed("cellStyle")) {
                const auto xfId = toInteger(style->attribute("xfId"));
                if (outside(xfId, styleXfs)) {
                    problem(quote(part), " cellStyle xfId=", *xfId, " is out of range");
                }
            }
        }
        root->forEach([&](const XmlElement& element) {
            if (element.name.local == "tableStyleElement") {
                checkDxfId(part, element.attribute("dxfId"));
            }
        });
    }

    void checkDxfId(const std::string& part, const std::string* value) {
        const auto id = toInteger(value);
        if (outside(id, dxfCount_)) {
            limitedProblem(part + "/dxf", quote(part), " uses differential format ", *id, " but ",
                           dxfCount_, " are defined");
        }
    }

    void readSharedStrings(const std::string& workbook) {
        sstPart_ = relatedPart(workbook, "/sharedStrings");
        const auto root = sstPart_.empty() ? nullptr : tree(sstPart_);
        if (!root) {
            return;
        }
        sstItems_ = root->childrenNamed("si").size();
        sstCount_ = toInteger(root->attribute("count"));
        const auto unique = toInteger(root->attribute("uniqueCount"));
        if (unique && static_cast<std::size_t>(*unique) != sstItems_) {
            problem(quote(sstPart_), " uniqueCount=", *unique, " but it holds ", sstItems_,
                    " strings");
        }
    }

    void checkWorkbook(const std::string& workbook) {
        readStyles(workbook);
        readSharedStrings(workbook);
        const auto root = tree(workbook);
        if (!root) {
            return;
        }
        const std::string book = quote(workbook);
        if (root->name.ns != kMainNs) {
            problem(book, " is not in the transitional SpreadsheetML namespace");
        }
        std::vector<SheetEntry> sheets;
        std::set<std::u32string> names;
        std::set<long long> sheetIds;
        const XmlElement* list = root->child("sheets");
        for (const XmlElement* sheet :
             list == nullptr ? std::vector<const XmlElement*>() : list->childrenNamed("sheet")) {
            SheetEntry entry;
            const std::string* name = sheet->attribute("name");
            entry.name = name != nullptr ? *name : std::string();
            checkSheetName(book, entry.name);
            if (!names.insert(foldCase(entry.name)).second) {
                problem(book, " has sheet name ", quote(entry.name),
                        " twice (compared without regard to case)");
            }
            const auto sheetId = toInteger(sheet->attribute("sheetId"));
            if (!sheetId || *sheetId < kMinSheetId || *sheetId > kMaxSheetId) {
                problem(book, " sheet ", quote(entry.name), " has no valid sheetId");
            } else if (!sheetIds.insert(*sheetId).second) {
                problem(book, " uses sheetId ", *sheetId, " twice");
            }
            const std::string* state = sheet->attribute("state");
            entry.visible = state == nullptr || *state == "visible";
            const std::string* rid = sheet->attribute("id", kRelNs);
            const Relationship* rel = rid != nullptr ? relById(workbook, *rid) : nullptr;
            if (rel == nullptr) {
                problem(book, " sheet ", quote(entry.name), " has no relationship to its part");
            } else {
                entry.part = rel->resolved;
                entry.worksheet = rel->type.ends_with("/worksheet");
                if (entry.worksheet && contentTypeOf(entry.part) != kWorksheetType) {
                    problem("worksheet part ", quote(entry.part),
                            " does not have the worksheet content type");
                }
            }
            sheets.push_back(std::move(entry));
        }
        if (sheets.empty()) {
            problem(book, " lists no sheets");
        }
        std::map<std::u32string, std::string> tableNames;
        std::set<long long> tableIds;
        long long stringCells = 0;
        for (auto& sheet : sheets) {
            if (sheet.part.empty() || !exists(sheet.part)) {
                continue;
            }
            if (sheet.worksheet) {
                stringCells += checkWorksheet(sheet);
                checkTables(sheet, tableNames, tableIds);
            } else if (const auto other = tree(sheet.part)) {
                other->forEach([&](const XmlElement& element) {
                    sheet.tabSelected =
                        sheet.tabSelected || (element.name.local == "sheetView" &&
                                              isTrue(element.attribute("tabSelected")));
                });
            }
        }
        if (sstCount_ && *sstCount_ != stringCells) {
            problem(quote(sstPart_), " count=", *sstCount_, " but ", stringCells,
                    " cells use shared strings");
        }
        checkSelection(book, *root, sheets);
        checkDefinedNames(book, *root, sheets.size(), tableNames);
    }

    void checkSheetName(const std::string& book, const std::string& name) {
        const std::u32string code = decodeUtf8(name);
        const auto units =
            code.size() + static_cast<std::size_t>(std::count_if(
                              code.begin(), code.end(), [](char32_t c) { return c > 0xFFFF; }));
        if (units == 0 || units > kMaxSheetNameUnits) {
            problem(book, " sheet name ", quote(name), " is not 1 to 31 characters long");
        }
        if (name.find_first_of("[]:*?/\\") != std::string::npos) {
            problem(book, " sheet name ", quote(name), " holds one of []:*?/\\");
        }
        if (name.starts_with('\'') || name.ends_with('\'')) {
            problem(book, " sheet name ", quote(name), " begins or ends with an apostrophe");
        }
    }

    void checkSelection(const std::string& book, const XmlElement& root,
                        const std::vector<SheetEntry>& sheets) {
        long long activeTab = 0;
        const XmlElement* views = root.child("bookViews");
        if (const XmlElement* view = views ? views->child("workbookView") : nullptr) {
            activeTab = toInteger(view->attribute("activeTab")).value_or(0);
            if (toInteger(view->attribute("firstSheet")).value_or(0) > activeTab) {
                problem(book, " firstSheet is after activeTab");
            }
        }
        if (sheets.empty()) {
            return;
        }
        if (outside(activeTab, sheets.size())) {
            problem(book, " activeTab=", activeTab, " names no sheet");
        } else if (!sheets[static_cast<std::size_t>(activeTab)].visible) {
            problem(book, " activeTab names hidden sheet ",
                    quote(sheets[static_cast<std::size_t>(activeTab)].name));
        }
        if (std::none_of(sheets.begin(), sheets.end(),
                         [](const SheetEntry& sheet) { return sheet.visible; })) {
            problem(book, " has no visible sheet");
        }
        std::size_t selected = 0;
        for (std::size_t i = 0; i < sheets.size(); ++i) {
            if (!sheets[i].tabSelected) {
                continue;
            }
            ++selected;
            if (!sheets[i].visible) {
                problem("hidden sheet ", quote(sheets[i].name), " is a selected tab");
            }
            if (static_cast<long long>(i) != activeTab) {
                problem("selected tab ", quote(sheets[i].name), " is not the active tab");
            }
        }
        if (selected != 1) {
            problem(selected,
                    " sheets are selected tabs; exactly one must be (several open as a group)");
        }
    }

    void checkDefinedNames(const std::string& book, const XmlElement& root, std::size_t sheetCount,
                           const std::map<std::u32string, std::string>& tableNames) {
        const XmlElement* list = root.child("definedNames");
        if (list == nullptr) {
            return;
        }
        std::set<std::pair<long long, std::u32string>> seen;
        for (const XmlElement* name : list->childrenNamed("definedName")) {
            const std::string* text = name->attribute("name");
            if (text == nullptr || text->empty()) {
                problem(book, " has a defined name without a name");
                continue;
            }
            long long scope = -1;
            if (const std::string* local = name->attribute("localSheetId")) {
                const auto id = toInteger(local);
                if (!id || outside(id, sheetCount)) {
                    problem(book, " defined name ", quote(*text), " has localSheetId ", *local,
                            " but there are ", sheetCount, " sheets");
                    continue;
                }
                scope = *id;
            }
            if (!seen.emplace(scope, foldCase(*text)).second) {
                problem(book, " defines name ", quote(*text), " twice in one scope");
            }
            const auto table = tableNames.find(foldCase(*text));
            if (table != tableNames.end()) {
                problem("defined name ", quote(*text), " clashes with table ",
                        quote(table->second));
            }
        }
    }

    struct WorksheetState {
        std::size_t lastOrder = 0;
        std::string lastChild; // empty before the first child
        long long lastRow = 0;
        long long currentRow = 0;
        long long lastColumn = 0;
        std::vector<RangeRef> merges;
    };

    // Element order, row and cell order, indexes, r:ids and the selected tab of a worksheet;
    // returns how many of its cells use shared strings.
    long long checkWorksheet(SheetEntry& sheet) {
        const std::string& part = sheet.part;
        const std::string label = quote(part);
        const auto root = parse(*bytesOf(part), label);
        if (!root) {
            return 0;
        }
        root->forEach([&](const XmlElement& element) {
            checkRelationshipIds(part, element);
            if (&element != root.get() && element.name.ns == kMainNs &&
                element.name.local != "extLst") {
                checkDxfId(part, element.attribute("dxfId"));
            }
        });
        if (root->name.ns != kMainNs || root->name.local != "worksheet") {
            problem(label, " root is not a transitional worksheet element");
        }
        WorksheetState state;
        long long stringCells = 0;
        for (const auto& child : root->children) {
            checkWorksheetChild(label, child->name, state);
            for (const auto& item : child->children) {
                const bool main = item->name.ns == kMainNs;
                const std::string* ref = item->attribute("ref");
                if (main && item->name.local == "row") {
                    state.currentRow = toInteger(item->attribute("r")).value_or(state.lastRow + 1);
                    if (state.currentRow <= state.lastRow) {
                        limitedProblem(part + "/row", label, " row ", state.currentRow,
                                       " comes after row ", state.lastRow);
                    }
                    state.lastRow = state.currentRow;
                    state.lastColumn = 0;
                    checkStyleIndex(part, concat("row ", state.currentRow), item->attribute("s"));
                } else if (main && item->name.local == "col") {
                    checkStyleIndex(part, "column", item->attribute("style"));
                } else if (main && item->name.local == "sheetView") {
                    sheet.tabSelected = sheet.tabSelected || isTrue(item->attribute("tabSelected"));
                } else if (main && item->name.local == "mergeCell" && ref != nullptr) {
                    if (const auto range = parseRangeRef(*ref)) {
                        state.merges.push_back(*range);
                    } else {
                        limitedProblem(part + "/merge", label, " merged range ", quote(*ref),
                                       " is not valid");
                    }
                }
                for (const auto& cell : item->children) {
                    if (cell->name.ns == kMainNs && cell->name.local == "c") {
                        stringCells += checkCell(part, *cell, state);
                    }
                }
            }
        }
        checkMerges(part, state.merges);
        return stringCells;
    }

    // A cell's reference, column order and indexes; 1 when it uses a shared string.
    long long checkCell(const std::string& part, const XmlElement& cell, WorksheetState& state) {
        const std::string label = quote(part);
        const std::string* r = cell.attribute("r");
        const std::string ref = r != nullptr ? *r : std::string();
        long long column = state.lastColumn + 1;
        if (r != nullptr) {
            const auto parsed = parseCellRef(*r);
            if (!parsed) {
                limitedProblem(part + "/ref", label, " has cell reference ", quote(*r),
                               " that is not valid");
            } else {
                column = parsed->column;
                if (parsed->row != state.currentRow) {
                    limitedProblem(part + "/ref", label, " cell ", *r, " sits in row ",
                                   state.currentRow);
                }
            }
        }
        if (column <= state.lastColumn) {
            limitedProblem(part + "/col", label, " cell ", ref, " is not after the cell before it");
        }
        state.lastColumn = column;
        checkStyleIndex(part, "cell " + ref, cell.attribute("s"));
        const std::string* type = cell.attribute("t");
        if (type == nullptr || *type != "s") {
            return 0;
        }
        std::string value;
        for (const auto& child : cell.children) {
            value += child->text;
        }
        const auto index = toInteger(&value);
        if (!index || outside(index, sstItems_)) {
            limitedProblem(part + "/sst", label, " cell ", ref, " uses shared string ",
                           quote(value), " but there are ", sstItems_);
        }
        return 1;
    }

    void checkWorksheetChild(const std::string& label, const XmlName& name, WorksheetState& state) {
        if (name.ns == "http://schemas.openxmlformats.org/markup-compatibility/2006") {
            return; // AlternateContent wraps controls and OLE objects at their own slot
        }
        const auto order = kWorksheetOrder.find(" " + name.local + " ");
        if (name.ns != kMainNs || order == std::string_view::npos) {
            problem(label, " has unknown element <", name.local, "> in the worksheet");
            return;
        }
        const bool repeatable = name.local == "cols" || name.local == "conditionalFormatting";
        if (!state.lastChild.empty() &&
            (order < state.lastOrder || (order == state.lastOrder && !repeatable))) {
            problem(label, " element <", name.local, "> is out of order (after <", state.lastChild,
                    ">)");
        }
        state.lastOrder = order;
        state.lastChild = name.local;
    }

    void checkStyleIndex(const std::string& part, const std::string& where,
                         const std::string* value) {
        const auto index = toInteger(value);
        if (value != nullptr && !index) {
            limitedProblem(part + "/style", quote(part), ' ', where, " has style ", quote(*value),
                           " that is not a number");
        } else if (index && *index != 0 && outside(index, cellXfCount_)) {
            limitedProblem(part + "/style", quote(part), ' ', where, " uses cell format ", *index,
                           " but ", cellXfCount_, " are defined");
        }
    }

    void checkMerges(const std::string& part, std::vector<RangeRef>& merges) {
        if (merges.size() > kMaxMergesCompared) {
            return;
        }
        std::sort(merges.begin(), merges.end(),
                  [](const RangeRef& a, const RangeRef& b) { return a.first.row < b.first.row; });
        for (std::size_t i = 0; i < merges.size(); ++i) {
            for (std::size_t j = i + 1;
                 j < merges.size() && merges[j].first.row <= merges[i].last.row; ++j) {
                if (merges[j].first.column <= merges[i].last.column &&
                    merges[i].first.column <= merges[j].last.column) {
                    limitedProblem(part + "/merge", quote(part), " has overlapping merged ranges");
                }
            }
        }
    }

    void checkTables(const SheetEntry& sheet, std::map<std::u32string, std::string>& names,
                     std::set<long long>& ids) {
        for (const auto& rel : relsOf(sheet.part)) {
            const auto root =
                rel.type.ends_with("/table") && !rel.external ? tree(rel.resolved) : nullptr;
            if (!root) {
                continue;
            }
            const std::string& part = rel.resolved;
            const auto id = toInteger(root->attribute("id"));
            if (!id) {
                problem("table ", quote(part), " has no id");
            } else if (!ids.insert(*id).second) {
                problem("table id ", *id, " is used twice (", quote(part), ")");
            }
            for (const char* attribute : {"name", "displayName"}) {
                const std::string* value = root->attribute(attribute);
                if (value == nullptr) {
                    continue;
                }
                const auto folded = foldCase(*value);
                const auto existing = names.find(folded);
                if (existing != names.end() && existing->second != part) {
                    problem("table name ", quote(*value), " is used twice (", quote(part), " and ",
                            quote(existing->second), ")");
                }
                names[folded] = part;
            }
            root->forEach([&](const XmlElement& element) {
                for (const auto& attribute : element.attributes) {
                    if (attribute.name.ns.empty() && (attribute.name.local == "dxfId" ||
                                                      attribute.name.local.ends_with("DxfId"))) {
                        checkDxfId(part, &attribute.value);
                    }
                }
            });
            const XmlElement* columns = root->child("tableColumns");
            const std::string* ref = root->attribute("ref");
            if (columns == nullptr || ref == nullptr) {
                continue;
            }
            const auto range = parseRangeRef(*ref);
            const auto count = columns->childrenNamed("tableColumn").size();
            if (range &&
                range->last.column - range->first.column + 1 != static_cast<long long>(count)) {
                problem("table ", quote(part), " spans ",
                        range->last.column - range->first.column + 1, " columns but has ", count,
                        " tableColumns");
            }
            std::set<std::u32string> columnNames;
            for (const XmlElement* column : columns->childrenNamed("tableColumn")) {
                const std::string* name = column->attribute("name");
                if (name != nullptr && !columnNames.insert(foldCase(*name)).second) {
                    problem("table ", quote(part), " has column name ", quote(*name), " twice");
                }
            }
        }
    }

    const PackageEntries& package_;
    std::vector<std::string> problems_;
    std::map<std::string, std::size_t> kindCounts_;
    std::map<std::string, std::size_t> byLowerName_;
    std::map<std::string, std::string> defaults_;
    std::map<std::string, std::string> overrides_;
    std::map<std::string, std::vector<Relationship>> rels_;
    std::size_t cellXfCount_ = 0;
    std::size_t dxfCount_ = 0;
    std::string sstPart_;
    std::size_t sstItems_ = 0;
    std::optional<long long> sstCount_;
};

} // namespace

std::vector<std::string> checkPackage(const PackageEntries& package) {
    return Checker(package).run();
}

std::vector<std::string> checkPackageFile(const std::filesystem::path& file) {
    try {
        return checkPackage(PackageEntries::read(file));
    } catch (const std::exception& error) {
        return {error.what()};
    }
}

} // namespace quillory::testing
