#include "spreadsheet/ooxml/sheetcopy/SheetTransplant.h"

#include "spreadsheet/ooxml/Limits.h"
#include "spreadsheet/ooxml/PackageError.h"
#include "spreadsheet/ooxml/objects/Comments.h"
#include "spreadsheet/ooxml/sheetcopy/CellPosition.h"
#include "spreadsheet/ooxml/styles/StyleXml.h"
#include "spreadsheet/ooxml/xml/ReadAhead.h"
#include "spreadsheet/ooxml/xml/Xml.h"

#include <algorithm>
#include <cassert>
#include <cctype>
#include <charconv>
#include <cstdint>
#include <cstring>
#include <optional>
#include <unordered_set>

namespace quillory::spreadsheet::ooxml {

using namespace std::string_view_literals;

namespace {

// Output is handed to the compressor in pieces of about this size.
constexpr std::size_t kFlushBytes = 256 * 1024;
// Examples of formulas kept as values named in the report, per sheet.
constexpr std::size_t kMaxReportExamples = 3;

// Extension URIs of parts that are not carried with the sheet.
constexpr std::string_view kSlicerListUri2010 = "{A8765BA9-456A-4dab-B4F3-ACF838C121DE}";
constexpr std::string_view kSlicerListUri2013 = "{3A4CF648-6AED-40f4-86FF-DC5316D8AED3}";
constexpr std::string_view kTimelineRefsUri = "{7E03D99C-DC04-49d9-9315-930204A7B6E9}";
constexpr std::string_view kWebExtensionsUri = "{F7C9EE02-42E1-4005-9D12-6889AFFD525C}";

constexpr std::string_view kNoteDynamicArraysNotCarried =
    "the spilling of dynamic-array formulas (they compute as ordinary array formulas)";
constexpr std::string_view kNoteCellValuesNotCarried =
    "pictures and data types inside cells (the cells keep the values they showed)";

std::string FormatNumber(double value) {
    char buffer[32];
    const auto [end, ec] = std::to_chars(buffer, buffer + sizeof buffer, value);
    return ec == std::errc() ? std::string(buffer, end) : std::string("0");
}

std::optional<long long> ParseInteger(std::string_view text) {
    // Some writers put line breaks around numbers ("<v>\n0</v>").
    while (!text.empty() && std::isspace(static_cast<unsigned char>(text.front())) != 0) {
        text.remove_prefix(1);
    }
    while (!text.empty() && std::isspace(static_cast<unsigned char>(text.back())) != 0) {
        text.remove_suffix(1);
    }
    long long value = 0;
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (ec != std::errc() || end != text.data() + text.size()) {
        return std::nullopt;
    }
    return value;
}

// The namespace a root element's attributes bind to `prefix` ("" for the default namespace).
std::optional<std::string_view> DeclaredUri(const char** attributes, std::string_view prefix) {
    for (int i = 0; attributes[i] != nullptr; i += 2) {
        const std::string_view key = attributes[i];
        if (prefix.empty() ? key == "xmlns"
                           : key.starts_with("xmlns:") && key.substr(6) == prefix) {
            return std::string_view(attributes[i + 1]);
        }
    }
    return std::nullopt;
}

bool NeedsSpacePreserve(std::string_view text) {
    return !text.empty() && (std::isspace(static_cast<unsigned char>(text.front())) != 0 ||
                             std::isspace(static_cast<unsigned char>(text.back())) != 0);
}

// Attributes of one element, kept past expat's callback in one buffer that is reused from cell
// to cell: once it has grown, streaming copies bytes but allocates nothing per cell.
class AttributeList {
public:
    void assign(const char** attributes) {
        storage_.clear();
        spans_.clear();
        for (int i = 0; attributes[i] != nullptr; i += 2) {
            const std::size_t nameLength = std::strlen(attributes[i]);
            const std::size_t valueLength = std::strlen(attributes[i + 1]);
            const std::size_t at = storage_.size();
            storage_.append(attributes[i], nameLength);
            storage_.append(attributes[i + 1], valueLength);
            spans_.push_back({at, nameLength, valueLength});
        }
    }
    void clear() {
        storage_.clear();
        spans_.clear();
    }
    std::size_t size() const { return spans_.size(); }
    std::string_view name(std::size_t i) const {
        return {storage_.data() + spans_[i].at, spans_[i].nameLength};
    }
    std::string_view value(std::size_t i) const {
        return {storage_.data() + spans_[i].at + spans_[i].nameLength, spans_[i].valueLength};
    }
    std::optional<std::string_view> find(std::string_view attributeName) const {
        for (std::size_t i = 0; i < spans_.size(); ++i) {
            if (name(i) == attributeName) {
                return value(i);
            }
        }
        return std::nullopt;
    }

private:
    struct Span {
        std::size_t at;
        std::size_t nameLength;
        std::size_t valueLength;
    };
    std::string storage_;
    std::vector<Span> spans_;
};

// Room per attribute beyond its name and escaped value: ' ', '="', '"' and a mapped number.
constexpr std::size_t kAttributeBytes = 24;
// Room for a cell's fixed markup: <c ...>, <f>, </f>, <v>, </v>, </c>, the style attribute.
constexpr std::size_t kCellTagBytes = 64;

// Writes into room reserved beforehand; no size checks.
struct CellWriter {
    char* p;
    void put(char c) { *p++ = c; }
    void put(std::string_view text) {
        std::memcpy(p, text.data(), text.size());
        p += text.size();
    }
    void number(long long value) { p = std::to_chars(p, p + 24, value).ptr; }
};

// LocalName for the element names of the cell path, which are a few characters long: a plain
// loop instead of a search call per element.
// The children a worksheet may have; anything else at that level is copied by no reader.
constexpr std::string_view kWorksheetChildren[] = {"sheetPr",
                                                   "dimension",
                                                   "sheetViews",
                                                   "sheetFormatPr",
                                                   "cols",
                                                   "sheetData",
                                                   "sheetCalcPr",
                                                   "sheetProtection",
                                                   "protectedRanges",
                                                   "scenarios",
                                                   "autoFilter",
                                                   "sortState",
                                                   "dataConsolidate",
                                                   "customSheetViews",
                                                   "mergeCells",
                                                   "phoneticPr",
                                                   "conditionalFormatting",
                                                   "dataValidations",
                                                   "hyperlinks",
                                                   "printOptions",
                                                   "pageMargins",
                                                   "pageSetup",
                                                   "headerFooter",
                                                   "rowBreaks",
                                                   "colBreaks",
                                                   "customProperties",
                                                   "cellWatches",
                                                   "ignoredErrors",
                                                   "smartTags",
                                                   "drawing",
                                                   "legacyDrawing",
                                                   "legacyDrawingHF",
                                                   "drawingHF",
                                                   "picture",
                                                   "oleObjects",
                                                   "controls",
                                                   "webPublishItems",
                                                   "tableParts",
                                                   "extLst",
                                                   "AlternateContent"};

std::string_view ShortLocalName(const char* qualified) {
    for (const char* c = qualified; *c != '\0'; ++c) {
        if (*c == ':') {
            return std::string_view(c + 1);
        }
    }
    return std::string_view(qualified);
}

// Decimal text of a number without a temporary string.
void AppendNumber(std::string& out, long long value) {
    char buffer[24];
    const auto [end, ec] = std::to_chars(buffer, buffer + sizeof buffer, value);
    out.append(buffer, end);
}

struct CellBuffer {
    AttributeList attributes;
    bool hasFormula = false;
    AttributeList formulaAttributes;
    std::string formula;
    bool hasValue = false;
    std::string value;
    std::string rest; // other children (<is>, <extLst>), already serialized

    void reset() {
        attributes.clear();
        hasFormula = false;
        formulaAttributes.clear();
        formula.clear();
        hasValue = false;
        value.clear();
        rest.clear();
    }
};

class Transplanter : public XmlHandler {
public:
    Transplanter(const SheetCopyContext& context, ZipWriter& zip) : c_(context), zip_(zip) {
        out_.reserve(kFlushBytes + kStreamChunkBytes);
    }

    void startElement(const char* name, const char** attributes) override;
    void endElement(const char* name) override;
    void characters(std::string_view text) override;
    void finish() { flush(); }

    SheetCopyNotes notes;

private:
    // -- plain output --
    void closePendingTag() {
        if (tagOpen_) {
            out_ += '>';
            tagOpen_ = false;
        }
    }
    void writeStart(const char* name, const char** attributes);
    bool takesItsPlace(std::string_view local);
    const char** checkNamespaces(const char* name, const char** attributes);
    bool isDeclared(std::string_view prefix) const;
    void flushIfLarge() {
        if (out_.size() >= kFlushBytes) {
            flush();
        }
    }
    void flush() {
        zip_.write(out_);
        out_.clear();
    }

    // -- worksheet children handled as small trees --
    void startCapture(const char* name, const char** attributes);
    void emitCaptured(XmlNode& node);
    void processSheetPr(XmlNode& node);
    void processSheetViews(XmlNode& node);
    void processCols(XmlNode& node);
    void processSheetFormat(XmlNode& node);
    // A sheet that states no sheetFormatPr gets one where it belongs, before cols / sheetData.
    void writeMissingSheetFormat(std::string_view elementName);
    bool processConditionalFormatting(XmlNode& node);
    bool processDataValidations(XmlNode& node);
    bool processHyperlinks(XmlNode& node);
    bool processMergeCells(XmlNode& node);
    // Refuses a part whose root is not a SpreadsheetML worksheet.
    void requireWorksheetRoot(const char* name, const char** attributes) const;
    void mapDxfId(XmlNode& node);
    void mapDxfIds(XmlNode& node);
    bool processTableParts(XmlNode& node);
    bool processExtensionList(XmlNode& node);
    void processExtensionTree(XmlNode& node);
    bool rewriteExtensionFormulas(XmlNode& node, std::string& reason);
    void dropUncarriedRelationshipIds(XmlNode& node);
    bool refersToUncarriedRelationship(const XmlNode& node) const;
    bool keepCarriedViews(XmlNode& ext, std::string_view list) const;

    // -- cells --
    // Whether the cell's position follows the previous cell's in the same row.
    bool placeCell(const char** attributes);
    void startCell(const char* name, const char** attributes);
    void startCellChild(const char* name, const char** attributes);
    void emitCell();
    void noteFormulaAsValue(std::string_view cellRef, const std::string& reason);
    void noteRuleDropped(std::string_view what, const std::string& reason);
    // The result's number for a cell's cm / vm attribute; none: the attribute is left out.
    std::optional<int> mappedMetadataNumber(std::string_view key, std::string_view value,
                                            bool keepFormula);
    int mappedStyle(std::string_view sourceIndex);

    std::optional<FormulaRewrite> rewrite(std::string_view formula);
    bool carried(std::string_view relationshipId) const {
        return c_.carriedRelationships.count(std::string(relationshipId)) != 0;
    }
    // An element that points at its part with its own r:id (drawing, picture, legacyDrawing)
    // stays when that part travels with the copy.
    bool referencesCarriedPart(const char** attributes) const {
        for (int i = 0; attributes[i] != nullptr; i += 2) {
            const std::string_view key = attributes[i];
            if (key.ends_with(":id") && carried(attributes[i + 1])) {
                return true;
            }
        }
        return false;
    }

    const SheetCopyContext& c_;
    ZipWriter& zip_;
    std::string out_;
    bool tagOpen_ = false;
    int depth_ = 0;
    int skipFrom_ = 0; // depth of the element being dropped, 0 when none
    // Namespace prefixes declared by open elements, with the depth that declares each.
    std::vector<std::pair<int, std::string>> declaredPrefixes_;
    std::vector<const char*> keptAttributes_; // an element's attributes less undeclared ones

    std::vector<XmlNode*> captureStack_;
    XmlNode captured_;

    bool viewsSeen_ = false; // <sheetViews>, or where it would have been, is behind
    bool inSheetData_ = false;
    // Place in kWorksheetChildren of the last child of the worksheet copied; -1 before the first.
    std::ptrdiff_t lastPlace_ = -1;
    bool sheetFormatSeen_ = false;
    bool widthsAsStored_ = false; // the sheet's own defaults cannot be converted
    long long lastRow_ = 0;       // number of the row being copied
    long long lastColumn_ = 0;    // column of the last cell copied in it
    int cellDepth_ = 0;           // depth of the open <c>, 0 outside a cell
    std::string* cellText_ = nullptr;
    int cellRawDepth_ = 0; // > 0 while copying a cell child other than <f>/<v>
    CellBuffer cell_;
    std::string cellPrefix_;                         // "" or "x:"
    std::unordered_set<std::string> sharedAsValues_; // si of shared groups turned into values
    std::string scratch_;
};

void Transplanter::writeStart(const char* name, const char** attributes) {
    closePendingTag();
    out_ += '<';
    out_ += name;
    for (int i = 0; attributes[i] != nullptr; i += 2) {
        out_ += ' ';
        out_ += attributes[i];
        out_ += "=\""sv;
        EscapeAttributeInto(out_, attributes[i + 1]);
        out_ += '"';
    }
    tagOpen_ = true;
}

// The children of a worksheet are copied in the order they come, which readers hold them to. A
// child out of its place (found in damaged files) is left out, except the cells, which are
// never lost: whatever belongs after them and comes before them goes, and a second
// <sheetData> refuses the sheet.
bool Transplanter::takesItsPlace(std::string_view local) {
    if (local == "AlternateContent") {
        return true; // wraps controls and OLE objects, at their own place
    }
    const auto placeOf = [](std::string_view element) {
        return std::find(std::begin(kWorksheetChildren), std::end(kWorksheetChildren), element) -
               std::begin(kWorksheetChildren);
    };
    static const std::ptrdiff_t kSheetDataPlace = placeOf("sheetData");
    const std::ptrdiff_t place = placeOf(local);
    if (place == kSheetDataPlace && lastPlace_ >= kSheetDataPlace) {
        ThrowDamaged(ErrorCode::MalformedXml, c_.source->displayName(), c_.sheet->partName,
                     "the sheet '" + c_.sheet->name + "' holds its cells twice");
    }
    const bool repeatable = local == "cols" || local == "conditionalFormatting";
    if (place < lastPlace_ || (place == lastPlace_ && !repeatable) ||
        (place > kSheetDataPlace && lastPlace_ < kSheetDataPlace)) {
        notes.notCarried.insert("sheet content out of its place");
        return false;
    }
    lastPlace_ = place;
    return true;
}

bool Transplanter::isDeclared(std::string_view prefix) const {
    return prefix == "xml" || prefix == "xmlns" ||
           std::any_of(declaredPrefixes_.begin(), declaredPrefixes_.end(),
                       [&](const auto& declared) { return declared.second == prefix; });
}

// The copy is written as it was read, without a namespace-aware parser: a prefix the part
// never declares would make the result unreadable. Such an attribute is left out (it means
// nothing to any reader); such an element leaves no way to tell what it holds, so the sheet is
// refused as damaged. Returns the attributes to copy.
const char** Transplanter::checkNamespaces(const char* name, const char** attributes) {
    for (int i = 0; attributes[i] != nullptr; i += 2) {
        const std::string_view key = attributes[i];
        if (key.starts_with("xmlns:")) {
            declaredPrefixes_.emplace_back(depth_, key.substr(6));
        }
    }
    const std::string_view qualified = name;
    if (const auto colon = qualified.find(':');
        colon != std::string_view::npos && !isDeclared(qualified.substr(0, colon))) {
        ThrowDamaged(ErrorCode::MalformedXml, c_.source->displayName(), c_.sheet->partName,
                     "the sheet '" + c_.sheet->name + "' uses the namespace prefix '" +
                         std::string(qualified.substr(0, colon)) + "' without declaring it");
    }
    bool allDeclared = true;
    for (int i = 0; attributes[i] != nullptr && allDeclared; i += 2) {
        const char* colon = std::strchr(attributes[i], ':');
        allDeclared =
            colon == nullptr || isDeclared(std::string_view(attributes[i], colon - attributes[i]));
    }
    if (allDeclared) {
        return attributes;
    }
    keptAttributes_.clear();
    for (int i = 0; attributes[i] != nullptr; i += 2) {
        const char* colon = std::strchr(attributes[i], ':');
        if (colon == nullptr ||
            isDeclared(std::string_view(attributes[i], colon - attributes[i]))) {
            keptAttributes_.push_back(attributes[i]);
            keptAttributes_.push_back(attributes[i + 1]);
        }
    }
    keptAttributes_.push_back(nullptr);
    return keptAttributes_.data();
}

void Transplanter::startElement(const char* name, const char** attributes) {
    ++depth_;
    if (skipFrom_ != 0) {
        return;
    }
    if (depth_ > 1) {
        attributes = checkNamespaces(name, attributes);
    }
    if (!captureStack_.empty()) {
        XmlNode node;
        node.name = name;
        for (int i = 0; attributes[i] != nullptr; i += 2) {
            node.attributes.emplace_back(attributes[i], attributes[i + 1]);
        }
        captureStack_.back()->children.push_back(std::move(node));
        captureStack_.push_back(&captureStack_.back()->children.back());
        return;
    }
    if (cellDepth_ != 0) {
        startCellChild(name, attributes);
        return;
    }
    const std::string_view local = ShortLocalName(name);
    if (depth_ == 1) {
        // The root keeps every namespace declaration and mc:Ignorable; Strict namespaces are
        // mapped to their transitional equivalents.
        requireWorksheetRoot(name, attributes);
        attributes = checkNamespaces(name, attributes);
        closePendingTag();
        out_ += kXmlDeclaration;
        out_ += '<';
        out_ += name;
        for (int i = 0; attributes[i] != nullptr; i += 2) {
            const std::string_view key = attributes[i];
            out_ += ' ';
            out_ += key;
            out_ += "=\""sv;
            if (key == "xmlns" || key.starts_with("xmlns:")) {
                EscapeAttributeInto(out_, TransitionalUri(attributes[i + 1]));
            } else {
                EscapeAttributeInto(out_, attributes[i + 1]);
            }
            out_ += '"';
        }
        tagOpen_ = true;
        return;
    }
    if (depth_ == 2) {
        if (std::find(std::begin(kWorksheetChildren), std::end(kWorksheetChildren), local) ==
            std::end(kWorksheetChildren)) {
            // No worksheet has it: a reader would refuse the sheet or repair it away.
            notes.notCarried.insert("sheet content of an unknown kind");
            skipFrom_ = depth_;
            return;
        }
        if (!takesItsPlace(local)) {
            skipFrom_ = depth_;
            return;
        }
        if (!viewsSeen_ && local != "sheetPr" && local != "dimension") {
            viewsSeen_ = true;
            if (local != "sheetViews" && c_.selected) {
                // The selected sheet says so in its view, which a sheet without views lacks.
                const std::string_view prefix(name, std::strlen(name) - local.size());
                closePendingTag();
                out_ += '<', out_ += prefix, out_ += "sheetViews><"sv, out_ += prefix;
                out_ += "sheetView tabSelected=\"1\" workbookViewId=\"0\"/></"sv;
                out_ += prefix, out_ += "sheetViews>"sv;
            }
        }
        if (local == "sheetFormatPr") {
            sheetFormatSeen_ = true;
        } else if (!sheetFormatSeen_ && (local == "cols" || local == "sheetData")) {
            writeMissingSheetFormat(name);
        }
        if (local == "oleObjects" || local == "controls" || local == "AlternateContent") {
            startCapture(name, attributes); // form controls and OLE objects
            return;
        }
        static const std::pair<std::string_view, std::string_view> kDropped[] = {
            {"drawing", "drawings, charts and pictures"},
            {"legacyDrawing", "comments and form controls"},
            {"legacyDrawingHF", "pictures in headers and footers"},
            {"drawingHF", "pictures in headers and footers"},
            {"picture", "the background picture"},
            {"customSheetViews", "custom views"},
            {"webPublishItems", "web publishing settings"},
            {"customProperties", "custom sheet properties"},
            {"dataConsolidate", "data consolidation settings"},
        };
        for (const auto& [element, label] : kDropped) {
            if (local == element && referencesCarriedPart(attributes)) {
                writeStart(name, attributes);
                return;
            }
            if (local == element) {
                notes.notCarried.insert(std::string(label));
                skipFrom_ = depth_;
                return;
            }
        }
        static constexpr std::string_view kCaptured[] = {
            "sheetPr",         "sheetViews", "cols",       "conditionalFormatting",
            "dataValidations", "hyperlinks", "autoFilter", "sortState",
            "pageSetup",       "tableParts", "extLst",     "phoneticPr",
            "sheetFormatPr",   "mergeCells"};
        for (const auto element : kCaptured) {
            if (local == element) {
                startCapture(name, attributes);
                return;
            }
        }
        if (local == "sheetData") {
            inSheetData_ = true;
        }
        writeStart(name, attributes);
        return;
    }
    if (inSheetData_ && depth_ == 3 && local == "row") {
        long long number = lastRow_ + 1;
        for (int i = 0; attributes[i] != nullptr; i += 2) {
            if (std::string_view(attributes[i]) == "r") {
                number = ParseInteger(attributes[i + 1]).value_or(0);
            }
        }
        if (number <= lastRow_ || number > kMaxRows) {
            // A row number no spreadsheet has, or a row repeated or out of order (found in
            // damaged files): left out, as a reader would refuse the sheet.
            notes.notCarried.insert("rows with invalid row numbers");
            skipFrom_ = depth_;
            return;
        }
        lastRow_ = number;
        lastColumn_ = 0;
        closePendingTag();
        out_ += '<';
        out_ += name;
        for (int i = 0; attributes[i] != nullptr; i += 2) {
            const std::string_view key = attributes[i];
            out_ += ' ';
            out_ += key;
            out_ += "=\""sv;
            if (key == "s") {
                AppendNumber(out_, mappedStyle(attributes[i + 1]));
            } else {
                EscapeAttributeInto(out_, attributes[i + 1]);
            }
            out_ += '"';
        }
        tagOpen_ = true;
        return;
    }
    if (inSheetData_ && depth_ == 4 && local == "c") {
        if (!placeCell(attributes)) {
            notes.notCarried.insert("cells out of order or outside their row");
            skipFrom_ = depth_;
            return;
        }
        closePendingTag();
        startCell(name, attributes);
        return;
    }
    writeStart(name, attributes);
}

void Transplanter::endElement(const char* name) {
    const int depth = depth_--;
    while (!declaredPrefixes_.empty() && declaredPrefixes_.back().first >= depth) {
        declaredPrefixes_.pop_back();
    }
    if (skipFrom_ != 0) {
        if (depth == skipFrom_) {
            skipFrom_ = 0;
        }
        return;
    }
    if (!captureStack_.empty()) {
        captureStack_.pop_back();
        if (captureStack_.empty()) {
            emitCaptured(captured_);
            flushIfLarge();
        }
        return;
    }
    if (cellDepth_ != 0) {
        if (depth == cellDepth_) {
            emitCell();
            cellDepth_ = 0;
            flushIfLarge();
        } else if (cellRawDepth_ != 0) {
            cell_.rest += "</"sv;
            cell_.rest += name;
            cell_.rest += '>';
            if (depth == cellRawDepth_) {
                cellRawDepth_ = 0;
            }
        } else {
            cellText_ = nullptr;
        }
        return;
    }
    if (depth == 2 && LocalName(name) == "sheetData") {
        inSheetData_ = false;
    }
    if (tagOpen_) {
        out_ += "/>"sv;
        tagOpen_ = false;
    } else {
        out_ += "</"sv;
        out_ += name;
        out_ += '>';
    }
    if (depth <= 3) {
        flushIfLarge();
    }
}

void Transplanter::characters(std::string_view text) {
    if (skipFrom_ != 0) {
        return;
    }
    if (!captureStack_.empty()) {
        auto& children = captureStack_.back()->children;
        if (!children.empty() && children.back().isText()) {
            children.back().text.append(text);
        } else {
            XmlNode node;
            node.text = std::string(text);
            children.push_back(std::move(node));
        }
        return;
    }
    if (cellDepth_ != 0) {
        if (cellRawDepth_ != 0) {
            EscapeTextInto(cell_.rest, text);
        } else if (cellText_ != nullptr) {
            cellText_->append(text);
        }
        return;
    }
    if (depth_ <= 2 || (inSheetData_ && depth_ <= 3)) {
        // Whitespace between structural elements: not needed.
        bool blank = true;
        for (char ch : text) {
            if (!std::isspace(static_cast<unsigned char>(ch))) {
                blank = false;
                break;
            }
        }
        if (blank) {
            return;
        }
    }
    closePendingTag();
    EscapeTextInto(out_, text);
}

// ---- cells ----

int Transplanter::mappedStyle(std::string_view sourceIndex) {
    const auto index = ParseInteger(sourceIndex);
    if (!index || *index < 0 || *index > INT32_MAX) {
        ThrowDamaged(ErrorCode::MalformedXml, c_.source->displayName(), c_.sheet->partName,
                     "a cell format number is not a number");
    }
    return c_.styles->cellXf(static_cast<int>(*index));
}

bool Transplanter::placeCell(const char** attributes) {
    long long column = lastColumn_ + 1;
    for (int i = 0; attributes[i] != nullptr; i += 2) {
        if (std::string_view(attributes[i]) == "r") {
            const auto position = ParseCellPosition(attributes[i + 1]);
            if (!position || position->row != lastRow_) {
                return false;
            }
            column = position->column;
        }
    }
    if (column <= lastColumn_ || column > kMaxColumns) {
        return false;
    }
    lastColumn_ = column;
    return true;
}

void Transplanter::startCell(const char* name, const char** attributes) {
    // Some writers put SpreadsheetML under a prefix ("x:c"): the cell's children share it.
    const std::string_view qualified = name;
    cellPrefix_.assign(qualified.substr(0, qualified.size() - ShortLocalName(name).size()));
    cell_.reset();
    cell_.attributes.assign(attributes);
    cellDepth_ = depth_;
    cellText_ = nullptr;
    cellRawDepth_ = 0;
}

void Transplanter::startCellChild(const char* name, const char** attributes) {
    const std::string_view local = ShortLocalName(name);
    if (cellRawDepth_ == 0 && depth_ == cellDepth_ + 1 && (local == "f" || local == "v")) {
        if (local == "f") {
            cell_.hasFormula = true;
            cell_.formulaAttributes.assign(attributes);
            cellText_ = &cell_.formula;
        } else {
            cell_.hasValue = true;
            cellText_ = &cell_.value;
        }
        return;
    }
    // <is>, <extLst>: copied as they are.
    if (cellRawDepth_ == 0) {
        cellRawDepth_ = depth_;
    }
    cell_.rest += '<';
    cell_.rest += name;
    for (int i = 0; attributes[i] != nullptr; i += 2) {
        cell_.rest += ' ';
        cell_.rest += attributes[i];
        cell_.rest += "=\""sv;
        EscapeAttributeInto(cell_.rest, attributes[i + 1]);
        cell_.rest += '"';
    }
    cell_.rest += '>';
}

std::optional<FormulaRewrite> Transplanter::rewrite(std::string_view formula) {
    return RewriteFormula(formula, *c_.formulas);
}

void Transplanter::noteFormulaAsValue(std::string_view cellRef, const std::string& reason) {
    ++notes.formulasAsValues;
    if (notes.formulaExamples.size() < kMaxReportExamples) {
        notes.formulaExamples.push_back(std::string(cellRef) +
                                        (reason.empty() ? std::string() : " (" + reason + ")"));
    }
}

void Transplanter::noteRuleDropped(std::string_view what, const std::string& reason) {
    ++notes.rulesDropped;
    if (notes.ruleExamples.size() < kMaxReportExamples) {
        notes.ruleExamples.push_back(std::string(what) +
                                     (reason.empty() ? std::string() : " (" + reason + ")"));
    }
}

std::optional<int> Transplanter::mappedMetadataNumber(std::string_view key, std::string_view value,
                                                      bool keepFormula) {
    const bool cellMetadata = key == "cm";
    if (cellMetadata && !keepFormula) {
        return std::nullopt; // the formula became its value: nothing left to spill
    }
    std::optional<int> mapped;
    if (c_.metadata != nullptr) {
        mapped =
            cellMetadata ? c_.metadata->cellMetadata(value) : c_.metadata->valueMetadata(value);
    }
    if (!mapped) {
        notes.notCarried.insert(cellMetadata ? std::string(kNoteDynamicArraysNotCarried)
                                             : std::string(kNoteCellValuesNotCarried));
    }
    return mapped;
}

void Transplanter::emitCell() {
    const auto type = cell_.attributes.find("t");
    const auto style = cell_.attributes.find("s");
    const auto ref = cell_.attributes.find("r");
    const std::string_view cellRef = ref ? *ref : std::string_view("a cell");
    const int sourceStyle = style ? static_cast<int>(ParseInteger(*style).value_or(-1)) : 0;
    if (sourceStyle < 0) {
        ThrowDamaged(ErrorCode::MalformedXml, c_.source->displayName(), c_.sheet->partName,
                     "a cell format number is not a number");
    }
    const int resultStyle = c_.styles->cellXf(sourceStyle);

    // Formula: rewritten, or dropped (keeping the cached value) when it cannot compute here.
    bool keepFormula = cell_.hasFormula;
    if (cell_.hasFormula) {
        const std::string_view kind = cell_.formulaAttributes.find("t").value_or("");
        const auto si = cell_.formulaAttributes.find("si");
        if (kind == "dataTable") {
            // Refers to cells of its own sheet only.
        } else if (!cell_.formula.empty()) {
            const auto result = rewrite(cell_.formula);
            for (const auto& warning : result->warnings) {
                notes.mayDiffer.insert(warning);
            }
            if (!result->computable) {
                keepFormula = false;
                noteFormulaAsValue(cellRef, result->reason);
                if (kind == "shared" && si) {
                    sharedAsValues_.insert(std::string(*si));
                }
            } else if (result->changed) {
                cell_.formula = result->text;
            }
        } else if (kind == "shared" && si && sharedAsValues_.count(std::string(*si)) != 0) {
            // The group's master became a value: so does every cell of the group.
            keepFormula = false;
            noteFormulaAsValue(cellRef, {});
        }
    }

    // Value.
    const std::string_view cellType = type.value_or("n");
    std::string_view resultType = cellType;
    if (cellType == "s" && cell_.hasValue) {
        const auto index = ParseInteger(cell_.value);
        if (!index || *index < 0 || c_.strings == nullptr) {
            ThrowDamaged(ErrorCode::IndexOutOfRange, c_.source->displayName(), c_.sheet->partName,
                         "the cell " + std::string(cellRef) + " of the sheet '" + c_.sheet->name +
                             "' refers to a shared string that does not exist");
        }
        cell_.value.clear();
        AppendNumber(cell_.value, c_.strings->map(static_cast<std::size_t>(*index)));
    } else if (cell_.hasFormula && !keepFormula && cellType == "str") {
        // A formula's text result without its formula: a constant string.
        if (cell_.hasValue) {
            scratch_.clear();
            scratch_ += NeedsSpacePreserve(cell_.value) ? "<t xml:space=\"preserve\">" : "<t>";
            EscapeTextInto(scratch_, cell_.value);
            scratch_ += "</t>";
            cell_.value = std::to_string(c_.resultStrings->add(scratch_));
            resultType = "s";
        } else {
            resultType = "n";
        }
    } else if (c_.dateShiftDays != 0 && cell_.hasValue && cellType == "n" &&
               c_.sourceStyles->cellXfShowsDate(sourceStyle)) {
        // A date shown by a live formula is shifted too: recomputed over shifted dates it gives
        // the shifted serial, and a reader that shows cached results sees the right date.
        char* end = nullptr;
        const double serial = std::strtod(cell_.value.c_str(), &end);
        if (end != cell_.value.c_str() && *end == '\0') {
            const double shifted = serial + c_.dateShiftDays;
            char buffer[64];
            const auto [last, ec] = std::to_chars(buffer, buffer + sizeof buffer, shifted);
            if (ec == std::errc()) {
                cell_.value.assign(buffer, last);
                ++notes.shiftedDates;
            }
        }
    }

    // Write it, into room reserved for the longest the cell can become (every character escaped
    // to its longest entity): one size check per cell instead of one per piece.
    const std::size_t prefix = cellPrefix_.size();
    std::size_t room = 8 * prefix + kCellTagBytes + kMaxEscapedBytesPerChar * cell_.formula.size() +
                       kMaxEscapedBytesPerChar * cell_.value.size() + cell_.rest.size();
    for (const AttributeList* list : {&cell_.attributes, &cell_.formulaAttributes}) {
        for (std::size_t i = 0; i < list->size(); ++i) {
            room += kAttributeBytes + list->name(i).size() +
                    kMaxEscapedBytesPerChar * std::max(list->value(i).size(), resultType.size());
        }
    }
    const std::size_t start = out_.size();
    out_.resize(start + room);
    CellWriter w{out_.data() + start};
    const std::string_view cellPrefix = cellPrefix_;
    w.put('<');
    w.put(cellPrefix);
    w.put('c');
    for (std::size_t i = 0; i < cell_.attributes.size(); ++i) {
        const std::string_view key = cell_.attributes.name(i);
        std::string_view value = cell_.attributes.value(i);
        if (key == "s") {
            continue;
        }
        if (key == "cm" || key == "vm") {
            if (const auto mapped = mappedMetadataNumber(key, value, keepFormula)) {
                w.put(' ');
                w.put(key);
                w.put("=\""sv);
                w.number(*mapped);
                w.put('"');
            }
            continue;
        }
        if (key == "t") {
            value = resultType;
            if (value == "n") {
                continue;
            }
        }
        w.put(' ');
        w.put(key);
        w.put("=\""sv);
        w.p = EscapeAttributeTo(w.p, value);
        w.put('"');
        if (key == "r" && resultStyle != 0) {
            // Keep s right after r, where writers usually put it.
            w.put(" s=\""sv);
            w.number(resultStyle);
            w.put('"');
        }
    }
    if (!ref && resultStyle != 0) {
        w.put(" s=\""sv);
        w.number(resultStyle);
        w.put('"');
    }
    if (!keepFormula && !cell_.hasValue && cell_.rest.empty()) {
        w.put("/>"sv);
        assert(w.p <= out_.data() + start + room);
        out_.resize(static_cast<std::size_t>(w.p - out_.data()));
        return;
    }
    w.put('>');
    if (keepFormula) {
        w.put('<');
        w.put(cellPrefix);
        w.put('f');
        for (std::size_t i = 0; i < cell_.formulaAttributes.size(); ++i) {
            w.put(' ');
            w.put(cell_.formulaAttributes.name(i));
            w.put("=\""sv);
            w.p = EscapeAttributeTo(w.p, cell_.formulaAttributes.value(i));
            w.put('"');
        }
        if (cell_.formula.empty()) {
            w.put("/>"sv);
        } else {
            w.put('>');
            w.p = EscapeTextTo(w.p, cell_.formula);
            w.put("</"sv);
            w.put(cellPrefix);
            w.put("f>"sv);
        }
    }
    if (cell_.hasValue) {
        w.put('<');
        w.put(cellPrefix);
        w.put("v>"sv);
        w.p = EscapeTextTo(w.p, cell_.value);
        w.put("</"sv);
        w.put(cellPrefix);
        w.put("v>"sv);
    }
    w.put(cell_.rest);
    w.put("</"sv);
    w.put(cellPrefix);
    w.put("c>"sv);
    assert(w.p <= out_.data() + start + room);
    out_.resize(static_cast<std::size_t>(w.p - out_.data()));
}

// ---- captured worksheet children ----

void Transplanter::startCapture(const char* name, const char** attributes) {
    captured_ = XmlNode{};
    captured_.name = name;
    for (int i = 0; attributes[i] != nullptr; i += 2) {
        captured_.attributes.emplace_back(attributes[i], attributes[i + 1]);
    }
    captureStack_.push_back(&captured_);
}

void Transplanter::requireWorksheetRoot(const char* name, const char** attributes) const {
    const std::string_view local = LocalName(name);
    const std::string_view prefix(name, std::strlen(name) - local.size() - (local != name));
    const auto uri = DeclaredUri(attributes, prefix);
    if (local != "worksheet" || !uri || TransitionalUri(*uri) != kSpreadsheetMainNs) {
        ThrowDamaged(ErrorCode::MalformedXml, c_.source->displayName(), c_.sheet->partName,
                     "the part of the sheet '" + c_.sheet->name + "' holds no worksheet");
    }
}

// Merged ranges that are not ranges, or overlap one kept before them in row order, are left
// out: a reader refuses a sheet whose merges overlap.
bool Transplanter::processMergeCells(XmlNode& node) {
    std::vector<std::pair<CellArea, std::size_t>> areas; // with the index of their element
    for (std::size_t i = 0; i < node.children.size(); ++i) {
        const std::string* ref = node.children[i].attribute("ref");
        if (const auto area = ref ? ParseCellArea(*ref) : std::nullopt) {
            areas.emplace_back(*area, i);
        }
    }
    std::stable_sort(areas.begin(), areas.end(), [](const auto& a, const auto& b) {
        return a.first.first.row < b.first.first.row;
    });
    std::vector<bool> keep(node.children.size(), false);
    std::vector<CellArea> open; // kept areas that reach the current row; disjoint
    for (const auto& entry : areas) {
        const CellArea& area = entry.first; // not a structured binding: lambdas capture it
        std::erase_if(open, [&](const CellArea& kept) { return kept.last.row < area.first.row; });
        if (std::none_of(open.begin(), open.end(),
                         [&](const CellArea& kept) { return kept.overlaps(area); })) {
            open.push_back(area);
            keep[entry.second] = true;
        }
    }
    std::vector<XmlNode> kept;
    for (std::size_t i = 0; i < node.children.size(); ++i) {
        if (keep[i]) {
            kept.push_back(std::move(node.children[i]));
        } else if (!node.children[i].isText()) {
            notes.notCarried.insert("merged ranges that overlap or are not ranges");
        }
    }
    node.children = std::move(kept);
    node.setAttribute("count", std::to_string(node.children.size()));
    return !node.children.empty();
}

void Transplanter::emitCaptured(XmlNode& node) {
    const std::string_view local = node.localName();
    bool keep = true;
    bool translate = false;
    if (local == "sheetPr") {
        processSheetPr(node);
        translate = true;
    } else if (local == "sheetViews") {
        processSheetViews(node);
    } else if (local == "cols") {
        processCols(node);
    } else if (local == "sheetFormatPr") {
        processSheetFormat(node);
    } else if (local == "conditionalFormatting") {
        keep = processConditionalFormatting(node);
    } else if (local == "dataValidations") {
        keep = processDataValidations(node);
    } else if (local == "hyperlinks") {
        keep = processHyperlinks(node);
    } else if (local == "mergeCells") {
        keep = processMergeCells(node);
    } else if (local == "autoFilter" || local == "sortState") {
        mapDxfIds(node);
    } else if (local == "pageSetup") {
        dropUncarriedRelationshipIds(node);
    } else if (local == "tableParts") {
        keep = processTableParts(node);
    } else if (local == "extLst") {
        keep = processExtensionList(node);
        translate = true;
    } else if (local == "oleObjects" || local == "controls" || local == "AlternateContent") {
        SheetObjectsContext objects;
        objects.carried = [this](std::string_view id) { return carried(id); };
        objects.shapeIds = c_.shapeIds;
        objects.formulas = c_.formulas;
        keep = CarrySheetObjects(node, objects, notes.notCarried);
    } else if (local == "phoneticPr") {
        if (const std::string* fontId = node.attribute("fontId")) {
            node.setAttribute("fontId", std::to_string(c_.styles->font(
                                            static_cast<int>(ParseInteger(*fontId).value_or(0)))));
        }
    }
    if (!keep) {
        return;
    }
    closePendingTag();
    if (translate) {
        out_ += c_.styles->translateColors(SerializeNode(node));
    } else {
        AppendNode(out_, node);
    }
}

void Transplanter::processSheetPr(XmlNode& node) {
    // A code name belongs to the source's macros, which a result never carries.
    node.removeAttribute("codeName");
}

void Transplanter::processSheetViews(XmlNode& node) {
    std::vector<XmlNode> views;
    for (auto& child : node.children) {
        if (!child.isText() && child.localName() == "sheetView" &&
            child.attributeOr("workbookViewId", "0") == "0") {
            views.push_back(std::move(child));
        }
    }
    if (views.empty()) {
        for (auto& child : node.children) {
            if (!child.isText() && child.localName() == "sheetView") {
                views.push_back(std::move(child));
                views.back().setAttribute("workbookViewId", "0");
                break;
            }
        }
    }
    if (views.empty()) {
        XmlNode view;
        view.name = "sheetView";
        view.attributes.emplace_back("workbookViewId", "0");
        views.push_back(std::move(view));
    }
    views.resize(1); // the result has one workbook view
    XmlNode& view = views.front();
    view.removeAttribute("tabSelected");
    if (c_.selected) {
        view.attributes.insert(view.attributes.begin(), {"tabSelected", "1"});
    }
    // Pivot selections point at pivot tables, which are not carried.
    std::erase_if(view.children, [](const XmlNode& n) {
        return !n.isText() && n.localName() == "pivotSelection";
    });
    node.children = std::move(views);
}

void Transplanter::processCols(XmlNode& node) {
    for (auto& col : node.children) {
        if (col.isText()) {
            continue;
        }
        if (const std::string* style = col.attribute("style")) {
            col.setAttribute("style", std::to_string(mappedStyle(*style)));
        }
        if (c_.sizes && c_.sizes->columns.changesWidths() && !widthsAsStored_) {
            if (const std::string* width = col.attribute("width")) {
                col.setAttribute("width", c_.sizes->columns.widthText(*width));
            }
        }
    }
}

void Transplanter::processSheetFormat(XmlNode& node) {
    if (!c_.sizes) {
        return;
    }
    int baseWidth = kImplicitBaseColumnWidth;
    if (const std::string* base = node.attribute("baseColWidth")) {
        const auto value = ParseInteger(*base);
        if (!value || *value < 1 || *value > kMaxBaseColumnWidth) {
            notes.mayDiffer.insert("Column widths were copied as stored, because the sheet's "
                                   "baseColWidth (" +
                                   *base + ") is not a width a default column can have.");
            widthsAsStored_ = true;
            return;
        }
        baseWidth = static_cast<int>(*value);
    }
    const ColumnWidthConverter& columns = c_.sizes->columns;
    if (columns.changesWidths()) {
        if (const std::string* width = node.attribute("defaultColWidth")) {
            node.setAttribute("defaultColWidth", columns.widthText(*width));
        } else {
            node.setAttribute("defaultColWidth", columns.implicitDefaultWidthText(baseWidth));
        }
        if (node.attribute("baseColWidth") != nullptr) {
            node.setAttribute("baseColWidth", columns.baseWidthText(std::to_string(baseWidth)));
        }
    }
    // Rows without a height of their own would follow the result's font: the default height
    // the sheet states (or its font's natural one) is made custom so that it holds.
    const std::string customHeight = node.attributeOr("customHeight", "0");
    if (customHeight != "1" && customHeight != "true") {
        if (node.attribute("defaultRowHeight") == nullptr) {
            node.setAttribute("defaultRowHeight", FormatNumber(c_.sizes->rowHeight));
        }
        node.setAttribute("customHeight", "1");
    }
}

void Transplanter::writeMissingSheetFormat(std::string_view elementName) {
    sheetFormatSeen_ = true;
    if (!c_.sizes) {
        return;
    }
    XmlNode node;
    const auto colon = elementName.find(':');
    node.name = colon == std::string_view::npos
                    ? std::string("sheetFormatPr")
                    : std::string(elementName.substr(0, colon + 1)) + "sheetFormatPr";
    processSheetFormat(node);
    closePendingTag();
    AppendNode(out_, node);
}

bool Transplanter::processConditionalFormatting(XmlNode& node) {
    if (!c_.pivotTables) {
        node.removeAttribute("pivot");
    }
    std::vector<XmlNode> kept;
    for (auto& rule : node.children) {
        if (rule.isText()) {
            continue;
        }
        if (rule.localName() == "cfRule") {
            mapDxfId(rule);
            bool computable = true;
            std::string reason;
            for (auto& formula : rule.children) {
                if (formula.isText() || formula.localName() != "formula") {
                    continue;
                }
                const auto result = rewrite(formula.textContent());
                if (!result->computable) {
                    computable = false;
                    reason = result->reason;
                    break;
                }
                if (result->changed) {
                    formula.setTextContent(result->text);
                }
            }
            if (!computable) {
                noteRuleDropped("a conditional format on " + node.attributeOr("sqref", "?"),
                                reason);
                continue;
            }
        }
        kept.push_back(std::move(rule));
    }
    node.children = std::move(kept);
    return node.child("cfRule") != nullptr;
}

bool Transplanter::processDataValidations(XmlNode& node) {
    std::vector<XmlNode> kept;
    for (auto& validation : node.children) {
        if (validation.isText()) {
            continue;
        }
        bool computable = true;
        std::string reason;
        for (auto& formula : validation.children) {
            if (formula.isText() ||
                (formula.localName() != "formula1" && formula.localName() != "formula2")) {
                continue;
            }
            const auto result = rewrite(formula.textContent());
            if (!result->computable) {
                computable = false;
                reason = result->reason;
                break;
            }
            if (result->changed) {
                formula.setTextContent(result->text);
            }
        }
        if (!computable) {
            noteRuleDropped("a data validation on " + validation.attributeOr("sqref", "?"), reason);
            continue;
        }
        kept.push_back(std::move(validation));
    }
    node.children = std::move(kept);
    if (node.attribute("count") != nullptr) {
        node.setAttribute("count", std::to_string(node.childrenNamed("dataValidation").size()));
    }
    return !node.childrenNamed("dataValidation").empty();
}

bool Transplanter::processHyperlinks(XmlNode& node) {
    std::vector<XmlNode> kept;
    for (auto& link : node.children) {
        if (link.isText()) {
            continue;
        }
        dropUncarriedRelationshipIds(link);
        if (const std::string* location = link.attribute("location")) {
            const auto result = rewrite(*location);
            if (!result->computable) {
                notes.mayDiffer.insert("links to places in sheets that are not in the result");
            } else if (result->changed) {
                link.setAttribute("location", result->text);
            }
        }
        bool hasTarget = link.attribute("location") != nullptr;
        for (const auto& [key, value] : link.attributes) {
            if (IsRelationshipIdAttribute(key)) {
                hasTarget = true;
            }
        }
        if (hasTarget) {
            kept.push_back(std::move(link));
        }
    }
    node.children = std::move(kept);
    return node.child("hyperlink") != nullptr;
}

void Transplanter::mapDxfId(XmlNode& node) {
    const std::string* dxfId = node.attribute("dxfId");
    if (dxfId == nullptr) {
        return;
    }
    const auto index = ParseInteger(*dxfId);
    if (!index || *index < 0 || static_cast<std::size_t>(*index) >= c_.sourceStyles->dxfCount()) {
        // A broken reference in the source: the rule or filter keeps working without a format.
        node.removeAttribute("dxfId");
        notes.mayDiffer.insert("A conditional format or filter referred to a format the source "
                               "does not define; it was left without a format.");
        return;
    }
    node.setAttribute("dxfId", std::to_string(c_.styles->dxf(static_cast<int>(*index))));
}

void Transplanter::mapDxfIds(XmlNode& node) {
    mapDxfId(node);
    for (auto& child : node.children) {
        if (!child.isText()) {
            mapDxfIds(child);
        }
    }
}

void Transplanter::dropUncarriedRelationshipIds(XmlNode& node) {
    std::erase_if(node.attributes, [&](const auto& attribute) {
        return IsRelationshipIdAttribute(attribute.first) && !carried(attribute.second);
    });
}

// The entries of a slicer or timeline list whose parts came along stay; false when none did.
bool Transplanter::keepCarriedViews(XmlNode& ext, std::string_view list) const {
    XmlNode* entries = ext.child(list);
    if (entries == nullptr) {
        return false;
    }
    std::erase_if(entries->children, [&](const XmlNode& entry) {
        return entry.isText() || refersToUncarriedRelationship(entry);
    });
    return !entries->children.empty();
}

bool Transplanter::refersToUncarriedRelationship(const XmlNode& node) const {
    for (const auto& [key, value] : node.attributes) {
        if (IsRelationshipIdAttribute(key) && !carried(value)) {
            return true;
        }
    }
    for (const auto& child : node.children) {
        if (!child.isText() && refersToUncarriedRelationship(child)) {
            return true;
        }
    }
    return false;
}

bool Transplanter::processTableParts(XmlNode& node) {
    std::erase_if(node.children, [&](const XmlNode& part) {
        return part.isText() || refersToUncarriedRelationship(part);
    });
    node.setAttribute("count", std::to_string(node.children.size()));
    return !node.children.empty();
}

bool Transplanter::rewriteExtensionFormulas(XmlNode& node, std::string& reason) {
    for (auto& child : node.children) {
        if (child.isText()) {
            continue;
        }
        if (child.localName() == "f" && child.name != "f") {
            const auto result = rewrite(child.textContent());
            if (!result->computable) {
                reason = result->reason;
                return false;
            }
            if (result->changed) {
                child.setTextContent(result->text);
            }
        } else if (!rewriteExtensionFormulas(child, reason)) {
            return false;
        }
    }
    return true;
}

void Transplanter::processExtensionTree(XmlNode& node) {
    std::vector<XmlNode> kept;
    for (auto& child : node.children) {
        if (!child.isText()) {
            const std::string_view local = child.localName();
            if (local == "cfRule" || local == "dataValidation" || local == "sparkline") {
                std::string reason;
                if (!rewriteExtensionFormulas(child, reason)) {
                    noteRuleDropped(local == "cfRule"           ? "a conditional format"
                                    : local == "dataValidation" ? "a data validation"
                                                                : "a sparkline",
                                    reason);
                    continue;
                }
            } else {
                processExtensionTree(child);
            }
        }
        kept.push_back(std::move(child));
    }
    node.children = std::move(kept);
    if (node.localName() == "dataValidations" && node.attribute("count") != nullptr) {
        node.setAttribute("count", std::to_string(node.childrenNamed("dataValidation").size()));
    }
}

bool Transplanter::processExtensionList(XmlNode& node) {
    std::vector<XmlNode> kept;
    for (auto& ext : node.children) {
        if (ext.isText()) {
            continue;
        }
        const std::string uri = ext.attributeOr("uri", "");
        // Writers differ in the letter case of these ids.
        const auto is = [&uri](std::string_view id) {
            return std::equal(uri.begin(), uri.end(), id.begin(), id.end(), [](char a, char b) {
                return std::tolower(static_cast<unsigned char>(a)) ==
                       std::tolower(static_cast<unsigned char>(b));
            });
        };
        // Slicers and timelines left out are reported, one by one, where they are planned.
        if (is(kSlicerListUri2010) || is(kSlicerListUri2013) || is(kTimelineRefsUri)) {
            if (keepCarriedViews(ext, is(kTimelineRefsUri) ? "timelineRefs" : "slicerList")) {
                kept.push_back(std::move(ext));
            }
            continue;
        }
        if (uri == kWebExtensionsUri) {
            notes.notCarried.insert("web extensions");
            continue;
        }
        if (refersToUncarriedRelationship(ext)) {
            notes.notCarried.insert("extension data that points at parts not carried");
            continue;
        }
        processExtensionTree(ext);
        kept.push_back(std::move(ext));
    }
    node.children = std::move(kept);
    return !node.children.empty();
}

} // namespace

SheetCopyNotes TransplantSheet(const SheetCopyContext& context, ZipWriter& zip,
                               const std::string& partName) {
    Transplanter transplanter(context, zip);
    XmlStreamParser parser(transplanter, context.source->displayName(), context.sheet->partName);
    zip.beginEntry(partName);
    ReadChunksAhead(context.source->zip(), context.sheet->partName, [&](std::string_view chunk) {
        parser.feed(chunk);
        if (context.progress != nullptr) {
            context.progress->advance(chunk.size());
        }
    });
    parser.finish();
    transplanter.finish();
    zip.endEntry();
    return std::move(transplanter.notes);
}

std::string BlankWorksheetXml(bool selected) {
    std::string xml(kXmlDeclaration);
    xml += "<worksheet xmlns=\"http://schemas.openxmlformats.org/spreadsheetml/2006/main\" "
           "xmlns:r=\"http://schemas.openxmlformats.org/officeDocument/2006/relationships\">"
           "<dimension ref=\"A1\"/><sheetViews><sheetView ";
    if (selected) {
        xml += "tabSelected=\"1\" ";
    }
    xml += "workbookViewId=\"0\"/></sheetViews><sheetFormatPr defaultRowHeight=\"15\"/>"
           "<sheetData/><pageMargins left=\"0.7\" right=\"0.7\" top=\"0.75\" bottom=\"0.75\" "
           "header=\"0.3\" footer=\"0.3\"/></worksheet>";
    return xml;
}

} // namespace quillory::spreadsheet::ooxml
