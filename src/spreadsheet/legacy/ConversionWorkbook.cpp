#include "spreadsheet/legacy/ConversionWorkbook.h"

#include "spreadsheet/SpreadsheetError.h"
#include "spreadsheet/ooxml/Limits.h"
#include "spreadsheet/ooxml/package/Relationships.h"

namespace quillory::spreadsheet::legacy {

namespace {

using ooxml::XmlNode;

constexpr const char* kWorkbookPart = "xl/workbook.xml";

// The parts of the workbook's sheets that are present, by sheet name; only its worksheets when
// `worksheetsOnly`.
std::map<std::string, std::string> sheetParts(const ooxml::ZipReader& zip, const XmlNode& workbook,
                                              const ooxml::Relationships& rels,
                                              bool worksheetsOnly) {
    std::map<std::string, std::string> parts;
    const XmlNode* sheets = workbook.child("sheets");
    if (sheets == nullptr) {
        return parts;
    }
    for (const XmlNode* sheet : sheets->childrenNamed("sheet")) {
        const std::string* id = sheet->attribute("r:id");
        const ooxml::Relationship* rel = id != nullptr ? rels.byId(*id) : nullptr;
        if (rel != nullptr && !rel->external &&
            (!worksheetsOnly || ooxml::RelationshipKind(rel->type) == "worksheet") &&
            zip.contains(rel->partName)) {
            parts[sheet->attributeOr("name", "")] = *zip.find(rel->partName);
        }
    }
    return parts;
}

} // namespace

ConvertedWorkbook ReadConvertedWorkbook(const ooxml::ZipReader& zip, const std::string& fileName) {
    ConvertedWorkbook workbook;
    workbook.tree = ooxml::ParseXmlTree(zip.readWhole(kWorkbookPart, ooxml::kMaxWholePartBytes),
                                        fileName, kWorkbookPart);
    workbook.part = *zip.find(kWorkbookPart);
    const std::string relsPart = ooxml::RelationshipsPartFor(kWorkbookPart);
    const ooxml::Relationships rels = ooxml::Relationships::Parse(
        zip.readWhole(relsPart, ooxml::kMaxWholePartBytes), kWorkbookPart, fileName);
    if (const ooxml::Relationship* strings = rels.firstOfKind("sharedStrings");
        strings != nullptr && !strings->external && zip.contains(strings->partName)) {
        workbook.sharedStrings = *zip.find(strings->partName);
    }
    workbook.sheets = sheetParts(zip, workbook.tree, rels, false);
    return workbook;
}

OtherWorkbook ReadOtherWorkbook(const ooxml::ZipReader& zip, const std::string& fileName) {
    OtherWorkbook workbook;
    const auto part = zip.find(kWorkbookPart);
    if (!part) {
        return workbook;
    }
    workbook.present = true;
    try {
        workbook.tree = ooxml::ParseXmlTree(zip.readWhole(*part, ooxml::kMaxWholePartBytes),
                                            fileName, kWorkbookPart);
        if (const auto relsPart = zip.find(ooxml::RelationshipsPartFor(kWorkbookPart))) {
            workbook.worksheets = sheetParts(
                zip, *workbook.tree,
                ooxml::Relationships::Parse(zip.readWhole(*relsPart, ooxml::kMaxWholePartBytes),
                                            kWorkbookPart, fileName),
                true);
        }
    } catch (const SpreadsheetError& error) {
        workbook.failure = error.description();
    }
    return workbook;
}

} // namespace quillory::spreadsheet::legacy
