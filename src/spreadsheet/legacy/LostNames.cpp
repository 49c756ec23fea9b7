#include "spreadsheet/legacy/LostNames.h"

#include "spreadsheet/SpreadsheetError.h"
#include "spreadsheet/legacy/DigitText.h"
#include "spreadsheet/ooxml/Limits.h"
#include "spreadsheet/ooxml/formulas/SheetNames.h"
#include "spreadsheet/ooxml/sheetcopy/CellPosition.h"
#include "spreadsheet/ooxml/xml/Xml.h"

#include <algorithm>
#include <iterator>
#include <set>
#include <utility>

namespace quillory::spreadsheet::legacy {

namespace {

using ooxml::XmlNode;

// Workbook children that come after <definedNames>, in the order the schema gives them.
constexpr std::string_view kAfterDefinedNames[] = {
    "calcPr",        "oleSize",       "customWorkbookViews", "pivotCaches",       "smartTagPr",
    "smartTagTypes", "webPublishing", "fileRecoveryPr",      "webPublishObjects", "extLst"};
// Names a workbook keeps for functions newer than its format: no formula of its own uses them.
constexpr std::string_view kFutureFunctionPrefix = "_xlfn.";

std::vector<std::string> sheetNames(const XmlNode& workbook) {
    std::vector<std::string> names;
    if (const XmlNode* sheets = workbook.child("sheets")) {
        for (const XmlNode* sheet : sheets->childrenNamed("sheet")) {
            names.push_back(sheet->attributeOr("name", ""));
        }
    }
    return names;
}

using NameKey = std::pair<std::string, std::string>; // folded name, scope sheet name

// The name and scope of a <definedName>; nothing for a scope no sheet has.
std::optional<NameKey> keyOf(const XmlNode& name, const std::vector<std::string>& sheets) {
    std::string scope;
    if (const std::string* local = name.attribute("localSheetId")) {
        const auto index = ParseDigits(*local);
        if (!index || *index >= sheets.size()) {
            return std::nullopt;
        }
        scope = sheets[*index];
    }
    return NameKey{ooxml::SheetNameKey(name.attributeOr("name", "")), scope};
}

// The defined names of a package's workbook part that say what they stand for: their text by
// name and scope (the first, where a name is defined twice); the names defined with no text
// in `empty`.
std::map<NameKey, std::string> definedNames(const XmlNode& workbook,
                                            std::set<NameKey>* empty = nullptr) {
    std::map<NameKey, std::string> names;
    const std::vector<std::string> sheets = sheetNames(workbook);
    const XmlNode* list = workbook.child("definedNames");
    if (list == nullptr) {
        return names;
    }
    for (const XmlNode* name : list->childrenNamed("definedName")) {
        if (const auto key = keyOf(*name, sheets)) {
            const std::string text = name->textContent();
            if (!text.empty()) {
                names.emplace(*key, text);
            } else if (empty != nullptr) {
                empty->insert(*key);
            }
        }
    }
    return names;
}

// The cells of a worksheet part that hold a formula of their own (neither shared nor an array),
// of those asked for.
class FormulaCells final : public ooxml::XmlHandler {
public:
    FormulaCells(const std::unordered_map<std::uint32_t, bool>& wanted,
                 std::unordered_map<std::uint32_t, TakenFormula>& found)
        : wanted_(wanted), found_(found) {}

    void startElement(const char* name, const char** attributes) override {
        const std::string_view local = ooxml::LocalName(name);
        if (local == "c") {
            cell_.reset();
            current_ = TakenFormula();
            plain_ = false;
            for (const char** a = attributes; *a != nullptr; a += 2) {
                if (std::string_view(a[0]) == "r") {
                    if (const auto at = ooxml::ParseCellPosition(a[1])) {
                        const auto key =
                            LegacySheetFormats::CellKey(static_cast<std::uint32_t>(at->row - 1),
                                                        static_cast<std::uint32_t>(at->column - 1));
                        if (wanted_.count(key) != 0 && at->column <= 0x100) {
                            cell_ = key;
                        }
                    }
                } else if (std::string_view(a[0]) == "t") {
                    current_.type = a[1];
                }
            }
        } else if (cell_ && local == "f") {
            plain_ = *attributes == nullptr;
            text_ = &current_.formula;
        } else if (cell_ && local == "v") {
            text_ = &current_.value;
        }
    }
    void endElement(const char* name) override {
        text_ = nullptr;
        if (ooxml::LocalName(name) == "c" && cell_ && plain_ && !current_.formula.empty()) {
            found_[*cell_] = std::move(current_);
        }
    }
    void characters(std::string_view text) override {
        if (text_ != nullptr) {
            *text_ += text;
        }
    }

private:
    const std::unordered_map<std::uint32_t, bool>& wanted_;
    std::unordered_map<std::uint32_t, TakenFormula>& found_;
    std::optional<std::uint32_t> cell_;
    TakenFormula current_;
    bool plain_ = false;
    std::string* text_ = nullptr;
};

} // namespace

LostNames::LostNames(const ConvertedWorkbook& converted, const LegacyWorkbookFormats& formats,
                     std::string fileName)
    : formats_(formats), fileName_(std::move(fileName)), part_(converted.part),
      workbookTree_(converted.tree) {
    // Lost: missing, or (besides or instead of the name with its text) defined with no text, which
    // the formulas using it may have taken.
    std::set<NameKey> empty;
    const std::map<NameKey, std::string> present = definedNames(workbookTree_, &empty);
    for (const LegacyName& name : formats.names) {
        const NameKey key{ooxml::SheetNameKey(name.name), name.scope};
        if (name.name.rfind(kFutureFunctionPrefix, 0) != 0 &&
            (present.count(key) == 0 || empty.count(key) != 0)) {
            lost_.push_back(name);
        }
    }
}

void LostNames::mend(const ooxml::ZipReader* donor, const OtherWorkbook& donorWorkbook,
                     const std::map<std::string, std::string>& convertedSheets,
                     const std::string& failure) {
    const auto unreadable = [](const std::string& why) {
        return "Gnumeric's conversion, which keeps them, could not be read (" + why + ")";
    };
    reason_ = donor == nullptr ? failure : std::string();
    std::map<NameKey, std::string> kept;
    if (donor != nullptr) {
        if (donorWorkbook.tree) {
            kept = definedNames(*donorWorkbook.tree);
        } else {
            reason_ = unreadable(donorWorkbook.present ? donorWorkbook.failure.value_or("")
                                                       : "it has no workbook part");
            donor = nullptr;
        }
    }
    try {
        rewriteWorkbook(kept);
    } catch (const SpreadsheetError&) {
        workbook_.clear(); // the names stay as converted
    }
    if (donor == nullptr) {
        return;
    }
    if (donorWorkbook.failure) {
        reason_ = unreadable(*donorWorkbook.failure);
        return;
    }
    try {
        std::map<std::string, std::unordered_map<std::uint32_t, TakenFormula>> formulas;
        const std::map<std::string, std::string>& donorSheets = donorWorkbook.worksheets;
        for (const LegacySheetFormats& sheet : formats_.worksheets) {
            const auto donorSheet = donorSheets.find(sheet.name);
            if (sheet.formulas.empty() || donorSheet == donorSheets.end() ||
                convertedSheets.count(sheet.name) == 0) {
                continue;
            }
            FormulaCells cells(sheet.formulas, formulas[sheet.name]);
            ooxml::XmlStreamParser parser(cells, fileName_, donorSheet->second);
            donor->readChunks(donorSheet->second,
                              [&parser](std::string_view chunk) { parser.feed(chunk); });
            parser.finish();
        }
        formulas_ = std::move(formulas);
    } catch (const SpreadsheetError& error) {
        reason_ = unreadable(error.description());
    }
}

// The converted workbook part without the lost names' empty twins, and with each lost name that
// is still missing as `kept` defines it.
void LostNames::rewriteWorkbook(const std::map<NameKey, std::string>& kept) {
    XmlNode workbook = workbookTree_;
    const std::vector<std::string> sheets = sheetNames(workbook);
    const std::map<NameKey, std::string> present = definedNames(workbook);
    std::set<NameKey> lost;
    for (const LegacyName& name : lost_) {
        lost.insert({ooxml::SheetNameKey(name.name), name.scope});
    }
    bool changed = false;
    if (XmlNode* list = workbook.child("definedNames")) {
        auto& items = list->children;
        const auto before = items.size();
        items.erase(std::remove_if(items.begin(), items.end(),
                                   [&](const XmlNode& item) {
                                       const auto key = keyOf(item, sheets);
                                       return item.localName() == "definedName" && key &&
                                              lost.count(*key) != 0 && item.textContent().empty();
                                   }),
                    items.end());
        changed = items.size() != before;
    }
    XmlNode* list = workbook.child("definedNames");
    if (list == nullptr) {
        const auto after = std::find_if(
            workbook.children.begin(), workbook.children.end(), [](const XmlNode& child) {
                return std::find(std::begin(kAfterDefinedNames), std::end(kAfterDefinedNames),
                                 child.localName()) != std::end(kAfterDefinedNames);
            });
        XmlNode names;
        names.name =
            std::string(workbook.name, 0, workbook.name.size() - workbook.localName().size()) +
            "definedNames";
        list = &*workbook.children.insert(after, std::move(names));
    }
    const std::string prefix =
        std::string(list->name, 0, list->name.size() - list->localName().size());
    for (const LegacyName& name : lost_) {
        const NameKey key{ooxml::SheetNameKey(name.name), name.scope};
        const auto text = kept.find(key);
        const auto sheet = std::find(sheets.begin(), sheets.end(), name.scope);
        if (present.count(key) != 0 || text == kept.end() ||
            (!name.scope.empty() && sheet == sheets.end())) {
            continue;
        }
        XmlNode item;
        item.name = prefix + "definedName";
        item.setAttribute("name", name.name);
        if (!name.scope.empty()) {
            item.setAttribute("localSheetId", std::to_string(sheet - sheets.begin()));
        }
        item.setTextContent(text->second);
        list->children.push_back(std::move(item));
        changed = true;
    }
    if (changed) {
        workbook_ = std::string(ooxml::kXmlDeclaration) + ooxml::SerializeNode(workbook);
    }
}

const std::unordered_map<std::uint32_t, TakenFormula>*
LostNames::formulasOf(const std::string& sheet) const {
    const auto found = formulas_.find(sheet);
    return found != formulas_.end() ? &found->second : nullptr;
}

std::string LostNames::note(std::size_t broken) const {
    return std::to_string(broken) + (broken == 1 ? " formula" : " formulas") +
           " of the sheet came out of LibreOffice's conversion of the workbook without " +
           (broken == 1 ? "its" : "their") +
           " text or with #NAME? in it (the conversion lost names the workbook defines) and " +
           (broken == 1 ? "keeps" : "keep") + " the result the conversion gave" +
           (reason_.empty() ? "" : ", as " + reason_) + ".";
}

void LostNames::write(ooxml::ZipWriter& out) const {
    if (!workbook_.empty()) {
        out.addEntry(part_, workbook_);
    }
}

} // namespace quillory::spreadsheet::legacy
