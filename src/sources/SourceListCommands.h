#pragma once
// The commands of the source list: add a workbook file or a folder, remove the selected source or
// all of them, move the selected source up or down, and add paths dropped on the list.
//
// After an add or a removal the workbook list shows the new current source and the worksheet list
// its chosen workbook; the commands that use a dialog end silently at any failure and always put
// the mouse pointer back.

#include "lists/MainLists.h"
#include "lists/UiPort.h"

#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace quillory::sources {

inline constexpr const char* kAddExcelTitle = "Select Excel File";
inline constexpr const char* kAddFolderTitle = "Add all excel files in folder";
// Names listed in the message about dropped files that were not added; the rest are counted.
inline constexpr std::size_t kMaxRefusedNamesListed = 10;

// The dialogs the add commands ask. Each returns nullopt when the user cancels and may throw;
// the command then ends without a message.
class SourceDialogs {
public:
    virtual ~SourceDialogs() = default;
    // The full path of one existing workbook file.
    virtual std::optional<std::string> ChooseWorkbookFile(const std::string& title) = 0;
    // The path of an existing folder; an empty path is ignored by the caller.
    virtual std::optional<std::string> ChooseFolder(const std::string& title) = 0;
};

struct SourceListContext {
    lists::MainLists& lists;
    lists::UiPort& ui;
    SourceDialogs& dialogs;
    // Refills the workbook list from a source path (ListWorkbooks).
    std::function<void(const std::string& sourcePath)> listWorkbooks;
    // Lists the worksheets of the chosen workbook (ListWorksheets).
    std::function<void()> listWorksheets;
};

// Add Excel (Command8): a chosen workbook file becomes the last row, icon 1, selected.
void AddExcel(const SourceListContext& context);
// Add Folder (Command6): a chosen folder becomes the last row, icon 2, selected.
void AddFolder(const SourceListContext& context);
// Remove File (Command7): removes the selected row and selects the one before it.
void RemoveFile(const SourceListContext& context);
// Remove All List Items: empties the source, workbook and worksheet lists; the merge list stays.
void RemoveAllListItems(lists::MainLists& lists);
// Command5 and Command4: the selected row changes place with its neighbour, keeping its icon.
void MoveSourceUp(lists::ListModel& sources);
void MoveSourceDown(lists::ListModel& sources);

// True for names the open dialog offers: "*.xl*" without regard to case.
bool MatchesExcelFilePattern(const std::string& fileName);

struct DropOutcome {
    int added = 0;
    std::vector<std::string> refused; // files that are not workbooks, as dropped
};

// Paths dropped on the source list: folders are added as Add Folder adds them, workbook files as
// Add Excel does, paths that cannot be looked at (gone, unreadable, too long) with the missing
// icon so that nothing dropped is lost; other files are left out and named in one message. The
// last row added becomes the current source.
DropOutcome AddDroppedPaths(const SourceListContext& context,
                            const std::vector<std::string>& paths);

} // namespace quillory::sources
