#pragma once
// The workbook list: the workbook files of the selected source, and the way back from the two
// selections (source, workbook) to the full path of one workbook file.

#include "lists/MainLists.h"
#include "lists/UiPort.h"
#include "spreadsheet/Automation.h"

#include <filesystem>
#include <string>
#include <vector>

namespace quillory::browsing {

// Extensions of the files a folder listing shows, compared without regard to case.
inline constexpr const char* kWorkbookExtensions[] = {".xls", ".xlsx", ".xlsm", ".xltx", ".xltm"};

// Whether a bare file name is one a folder listing shows: a workbook extension, and neither a
// hidden file nor an office lock file.
bool IsListedWorkbookName(const std::string& name);

// The workbook files directly in `folder` (plain files only, hidden and lock files left out), as
// bare names in name order. Throws std::filesystem::filesystem_error when the folder cannot be
// read.
std::vector<std::string> WorkbookFilesIn(const std::filesystem::path& folder);

// Refills the workbook list from a source path: the file's bare name for a file, the folder's
// workbook files otherwise; every row checked. Never shows a message: a folder that cannot be
// read lists nothing.
void ListWorkbooks(lists::MainLists& lists, const std::string& path);

// The full path of the workbook chosen by the selected source and the selected workbook row, or
// "" when there is none or it names no existing file. A file source is itself the choice.
std::string ChosenWorkbookPath(const lists::MainLists& lists);

// The same for the workbook row at a 1-based position of the workbook list.
std::string WorkbookPathAt(const lists::MainLists& lists, int position);

// ListView1 ItemClick: shows the workbooks of the selected source and the worksheets of its
// first workbook, under the busy pointer.
void SourceListItemClick(lists::MainLists& lists, lists::UiPort& ui,
                         const spreadsheet::ApplicationFactory& createApplication);

} // namespace quillory::browsing
