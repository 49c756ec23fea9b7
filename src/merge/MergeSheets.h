#pragma once
// The merge: copies the worksheets of the checked merge entries, in list order, into one new
// workbook and writes it to a file.

#include "lists/MainLists.h"
#include "spreadsheet/Automation.h"

#include <filesystem>
#include <string>

namespace quillory::merge {

// The name of the one sheet a new result workbook is reduced to before the copies go in front of
// it; chosen so that no real worksheet bears it. It never survives a merge.
inline constexpr const char* kPlaceholderSheetName = "FREV767442FLKFRMLO45";

struct MergeOutcome {
    // What the copies could not carry exactly, by workbook in merge-list order.
    spreadsheet::MergeReport report;
    std::string failure; // the failure description when the merge failed
    int failureNumber = 0;
};

// Runs one merge with a new application from `createApplication`. Sets the progress bar's Max to
// the number of entries and steps its Value through every entry, checked or not (putting it back
// to 0 is the caller's); while the result is written, Value runs from 0 to Max again with the
// share of sheet data written. A source workbook is opened once per run of adjacent entries with
// the same path; unchecked entries and entries whose file no longer exists are skipped. On success
// the result is at `output` (written under a temporary name and renamed into place), the
// application has quit and true is returned; on a failure nothing is left at `output`, the
// application is quit, `outcome` holds the failure and false is returned. Throws nothing.
bool MergeSheets(lists::MainLists& lists, const spreadsheet::ApplicationFactory& createApplication,
                 const std::filesystem::path& output, MergeOutcome& outcome);

} // namespace quillory::merge
