#pragma once
// The Merge command (Command18 and the Merge menu entry): merges the checked entries into a new
// workbook in a folder of its own under the user's temporary location, hands it to the user's
// spreadsheet program, and tells the user what the merge could not carry exactly.

#include "lists/MainLists.h"
#include "lists/UiPort.h"
#include "spreadsheet/Automation.h"

#include <ctime>
#include <filesystem>
#include <functional>
#include <optional>

namespace quillory::merge {

inline constexpr const char* kNothingToMergeMessage = "Please select some excel files to Merge!";
inline constexpr const char* kMergeFailedMessage = "Merge Failed!";

struct MergeCommandOptions {
    // Where the per-run folder is made; empty: the user's temporary location ($TMPDIR, /tmp).
    std::filesystem::path temporaryRoot;
    // The time the result is named after; empty: now.
    std::function<std::time_t()> clock;
};

// "Merged 2026-12-06 14.03.21.xlsx" for that local time.
std::string ResultFileName(std::time_t when);

// Runs the command. Returns where the result is kept (the file handed to the user's program, or
// where the user saved it), or nullopt when nothing was merged. A failed merge shows its reason
// and "Merge Failed!" and leaves no file behind.
std::optional<std::filesystem::path> Merge(lists::MainLists& lists, lists::UiPort& ui,
                                           const spreadsheet::ApplicationFactory& createApplication,
                                           const MergeCommandOptions& options = {});

} // namespace quillory::merge
