#include "browsing/WorksheetReading.h"

#include <exception>

namespace quillory::browsing {

namespace {

using spreadsheet::ErrorCode;
using spreadsheet::SpreadsheetError;

// Cleaning up after a failure must not replace the failure being reported.
template <typename F> void Quietly(F&& step) {
    try {
        step();
    } catch (...) {
        // The first failure is the one the user sees.
    }
}

} // namespace

std::optional<ReadFailure>
ReadWorksheetNames(const spreadsheet::ApplicationFactory& createApplication,
                   const std::string& path,
                   const std::function<void(const std::string&)>& onWorksheet) {
    std::unique_ptr<spreadsheet::Application> application;
    spreadsheet::Workbook* workbook = nullptr;
    ReadFailure failure;
    try {
        if (createApplication) {
            application = createApplication();
        }
        if (!application) {
            throw SpreadsheetError(ErrorCode::Internal,
                                   "The workbook engine could not be started.");
        }
        workbook = &application->Workbooks().Open(path);
        application->SetDisplayAlerts(false);
        const int count = workbook->Worksheets().Count();
        for (int i = 1; i <= count; ++i) {
            onWorksheet(workbook->Worksheets().Item(i).Name());
        }
        spreadsheet::Workbook* closing = workbook;
        workbook = nullptr;
        closing->Close();
        application->Quit();
        return std::nullopt;
    } catch (const SpreadsheetError& error) {
        failure = ReadFailure{error.number(), error.description()};
    } catch (const std::exception& error) {
        failure = ReadFailure{static_cast<int>(ErrorCode::Internal),
                              "'" + path + "' could not be read: " + error.what()};
    }
    if (workbook != nullptr) {
        Quietly([workbook] { workbook->Close(); });
    }
    if (application) {
        Quietly([&application] { application->Quit(); });
    }
    return failure;
}

void ReportOpenFailure(lists::UiPort& ui, const ReadFailure& failure) {
    ui.showMessage(lists::MessageIcon::Critical, failure.description);
    ui.showMessage(lists::MessageIcon::Critical, kOpenFailedMessage);
}

} // namespace quillory::browsing
