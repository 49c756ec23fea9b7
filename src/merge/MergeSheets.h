#pragma once
// The merge: copies the worksheets of the checked merge entries, in list order, into one new
// workbook and writes it to a file.

#include "lists/MainLists.h"
#include "spreadsheet/Automation.h"

#include <filesystem>
#include <string>

namespace quillory::merge {

struct MergeOutcome {
    spreadsheet::MergeReport report; // what the copies could not carry exactly
    std::string failure;             // the failure description when the merge failed
    int failureNumber = 0;
};

// Runs one merge with a new application from `createApplication`. Steps the progress bar of
// `lists` through every entry. On success the result is at `output` and true is returned; on a
// failure nothing is left at `output`, the application is quit and false is returned.
bool MergeSheets(lists::MainLists& lists, const spreadsheet::ApplicationFactory& createApplication,
                 const std::filesystem::path& output, MergeOutcome& outcome);

} // namespace quillory::merge
