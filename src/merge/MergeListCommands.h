#pragma once
// The commands of the merge list: add the chosen worksheet or all of them, remove, move, clear.

#include "lists/MainLists.h"
#include "lists/UiPort.h"

namespace quillory::merge {

inline constexpr const char* kFileDoesNotExistMessage = "File does not exist!";

// Command10 and ListView3 DblClick: appends (ChosenWorkbookPath, selected worksheet), checked,
// and scrolls it into view. No chosen workbook: "File does not exist!" and nothing added.
void AddChosenSheet(lists::MainLists& lists, lists::UiPort& ui);

// Command16 "Add All Sheets": one entry per row of the worksheet list, in its order, whatever
// the rows' check boxes say; stops with "File does not exist!" once the workbook is gone.
void AddAllSheets(lists::MainLists& lists, lists::UiPort& ui);

// Command11 and ListView4 DblClick: removes the selected entry and selects the one above it, or
// the new first entry.
void RemoveMergeEntry(lists::MainLists& lists);

// Command14 / Command15: the selected entry changes places with the one above / below it, keeps
// its checked state and stays selected.
void MoveMergeEntryUp(lists::MainLists& lists);
void MoveMergeEntryDown(lists::MainLists& lists);

// Command17 "Remove All": empties the merge list, and no other.
void RemoveAllMergeEntries(lists::MainLists& lists);

} // namespace quillory::merge
