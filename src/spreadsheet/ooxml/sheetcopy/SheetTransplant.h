#pragma once
// The streaming copy of one worksheet part into the result: every index that only means
// something inside the source package (cell formats, differential formats, shared strings,
// relationship ids, sheet and table names in formulas) is remapped on the way through, the rest
// of the XML passes unchanged. No cell model is built: memory stays flat however large the sheet.

#include "spreadsheet/MergeReport.h"
#include "spreadsheet/ooxml/SourcePackage.h"
#include "spreadsheet/ooxml/WriteProgress.h"
#include "spreadsheet/ooxml/formulas/Formula.h"
#include "spreadsheet/ooxml/package/ZipWriter.h"
#include "spreadsheet/ooxml/sheetcopy/Metadata.h"
#include "spreadsheet/ooxml/sheetcopy/SharedStrings.h"
#include "spreadsheet/ooxml/styles/ColumnWidths.h"
#include "spreadsheet/ooxml/styles/Styles.h"

#include <set>
#include <string>

namespace quillory::spreadsheet::ooxml {

struct SheetCopyContext {
    const SourcePackage* source = nullptr;
    const SourceSheet* sheet = nullptr;
    std::string resultName;
    bool selected = false; // the result's one selected tab
    ResultStyles::Importer* styles = nullptr;
    SharedStringImporter* strings = nullptr; // null: the source has no shared strings
    ResultSharedStrings* resultStrings = nullptr;
    const SourceStyles* sourceStyles = nullptr;
    const FormulaContext* formulas = nullptr;
    // Cell and value metadata (spilling formulas); null: every cm / vm is left out, reported.
    ResultMetadata::Importer* metadata = nullptr;
    // Set when the source's standard font differs from the result's and both are known: column
    // widths (stated or default) are converted to keep their pixels, and rows that state no
    // height keep the source's default height.
    std::optional<DefaultSizes> sizes;
    // Relationship ids of the sheet whose relationships are carried into the result (with the
    // same ids); an element that refers to any other id is dropped.
    std::set<std::string> carriedRelationships;
    // Serial-number shift for constant date cells (1904 vs 1900 date system): 0, +1462 or -1462.
    int dateShiftDays = 0;
    // Source shape id -> result shape id of the copy's legacy drawing (controls, OLE objects);
    // unset: ids are kept.
    std::function<std::optional<long>(long)> shapeIds;
    WriteProgress* progress = nullptr; // told how much of the sheet part was read; may be null
};

// What one copy could not carry exactly, gathered while streaming.
struct SheetCopyNotes {
    std::size_t formulasAsValues = 0;
    std::vector<std::string> formulaExamples; // "B4: refers to 'Other' ..." (a few)
    std::size_t shiftedDates = 0;
    std::set<std::string> notCarried; // element kinds dropped ("drawings", ...)
    std::set<std::string> mayDiffer;  // things carried that may look different
    std::size_t rulesDropped = 0;     // conditional formats / validations that cannot compute
    std::vector<std::string> ruleExamples;
};

// Streams `context.sheet` into the zip entry `partName`.
SheetCopyNotes TransplantSheet(const SheetCopyContext& context, ZipWriter& zip,
                               const std::string& partName);

// The worksheet part of a blank sheet.
std::string BlankWorksheetXml(bool selected);

} // namespace quillory::spreadsheet::ooxml
