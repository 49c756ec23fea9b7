#pragma once
// Writes a result workbook package: the planned sheets, each either blank or a copy of a sheet of
// a source package, transplanted at the XML level when the whole list of copies is known.

#include "spreadsheet/MergeReport.h"
#include "spreadsheet/ooxml/SourcePackage.h"
#include "spreadsheet/ooxml/WriteProgress.h"
#include "spreadsheet/ooxml/package/OutputSink.h"

#include <filesystem>
#include <memory>
#include <string>
#include <vector>

namespace quillory::spreadsheet::ooxml {

struct PlannedSheet {
    std::string name;
    SheetVisibility visibility = SheetVisibility::Visible;
    std::shared_ptr<const SourcePackage> source; // null: a blank worksheet
    int sourceIndex = -1;                        // index into source->sheets()
};

struct WorkbookPlan {
    std::vector<PlannedSheet> sheets;
    int activeSheet = 0;               // 0-based
    WriteProgress* progress = nullptr; // counts the sheet data read; may be null
};

// Writes the package into `sink`. What could not be carried exactly is added to `report`.
void WriteWorkbook(const WorkbookPlan& plan, OutputSink& sink, MergeReport& report);

// Writes the package to `file` through a temporary file in the same folder, renamed into place
// on success; on a failure nothing is left behind and `file` is untouched.
void SaveWorkbookFile(const WorkbookPlan& plan, const std::filesystem::path& file,
                      MergeReport& report, const SinkDecorator& decorate = {});

} // namespace quillory::spreadsheet::ooxml
