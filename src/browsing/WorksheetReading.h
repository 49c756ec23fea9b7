#pragma once
// Reading the worksheet names of one workbook in an instance of its own, the way both the
// worksheet list and "Add All Excel Files" do it, and reporting a failure to the user.

#include "lists/UiPort.h"
#include "spreadsheet/Automation.h"

#include <functional>
#include <optional>
#include <string>

namespace quillory::browsing {

inline constexpr const char* kOpenFailedMessage = "Open excel file failed!";

struct ReadFailure {
    int number = 0;
    std::string description;
};

// Starts a new application, opens `path`, calls `onWorksheet` with each worksheet name in tab
// order (chart sheets and other non-worksheets left out), then closes the workbook and quits.
// On a failure (also one thrown by `onWorksheet`) it closes what it opened, quits what it
// started and returns the failure; names handed out before stay handed out.
std::optional<ReadFailure>
ReadWorksheetNames(const spreadsheet::ApplicationFactory& createApplication,
                   const std::string& path,
                   const std::function<void(const std::string&)>& onWorksheet);

// The failure's own description, then "Open excel file failed!", both with the critical icon.
void ReportOpenFailure(lists::UiPort& ui, const ReadFailure& failure);

} // namespace quillory::browsing
