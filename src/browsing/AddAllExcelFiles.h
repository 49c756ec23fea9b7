#pragma once
// "Add All Excel Files": every worksheet of every workbook of the chosen source into the merge
// list.

#include "lists/MainLists.h"
#include "lists/UiPort.h"
#include "spreadsheet/Automation.h"

#include <string>

namespace quillory::browsing {

// Appends one checked merge entry (path, worksheet name) per worksheet of the workbook at `path`,
// in tab order, and scrolls the last one into view; the merge list's selection is not changed.
// A workbook that cannot be read shows its failure description and "Open excel file failed!";
// the entries appended before the failure stay.
void AddWorkbookSheets(lists::MainLists& lists, lists::UiPort& ui,
                       const spreadsheet::ApplicationFactory& createApplication,
                       const std::string& path);

// Command20: for a file source, that workbook; for a folder source, every checked row of the
// workbook list whose file still exists, in list order; each failing workbook reports itself and
// the others are still added. Runs under the busy pointer.
void AddAllExcelFiles(lists::MainLists& lists, lists::UiPort& ui,
                      const spreadsheet::ApplicationFactory& createApplication);

} // namespace quillory::browsing
