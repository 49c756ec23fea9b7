#pragma once
// The program's state: the four lists of the main window and its progress bar. The procedures
// work on these models; the window shows them.

#include "lists/ListModel.h"
#include "lists/ProgressModel.h"

namespace quillory::lists {

// Small-icon indexes of the source list.
inline constexpr int kIconFile = 1;
inline constexpr int kIconFolder = 2;
inline constexpr int kIconMissing = 3;

struct MainLists {
    ListModel sources;      // ListView1: workbook files and folders
    ListModel workbooks;    // ListView2: bare workbook file names of the selected source
    ListModel worksheets;   // ListView3: worksheet names of the chosen workbook
    ListModel merge;        // ListView4: text = workbook path, sub-item 1 = worksheet name
    ProgressModel progress; // ProgressBar1
};

} // namespace quillory::lists
