#pragma once
// An in-memory stand-in for the spreadsheet application, for call-order checks and failure
// paths. Every call is written to one log shared by all application instances of a
// FakeSpreadsheet, and any call can be made to fail.
//
// Log entries:
//   Create  DisplayAlerts(0|1)  Visible(0|1)  Add  Open(<path>)  Count(<book>) Name(<book>!<sheet>)
//   Item(<book>,<position>)  Item(<book>,"<name>")  SetName(<book>!<old>,<new>)
//   Delete(<book>!<sheet>) Select(<book>!<sheet>)  Copy(<book>!<sheet>,before <book>!<sheet>)
//   Close(<book>,0|1) SaveAs(<path>)  Quit
// where <book> is the file name of an opened workbook and "Result" for a new one.

#include "spreadsheet/Automation.h"

#include <filesystem>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace quillory::testing {

class FakeSpreadsheet {
public:
    struct SheetSpec {
        std::string name;
        spreadsheet::SheetKind kind = spreadsheet::SheetKind::Worksheet;
    };
    // A sheet of a saved result: its name and where it was copied from ("book!sheet"; empty for
    // a sheet the result workbook was created with).
    struct SavedSheet {
        std::string name;
        std::string origin;
        bool operator==(const SavedSheet&) const = default;
    };

    // A workbook that Open finds under this exact path, with worksheets of these names.
    void addWorkbook(const std::filesystem::path& path,
                     const std::vector<std::string>& worksheets) {
        auto& sheets = workbooks_[path] = {};
        for (const auto& name : worksheets) {
            sheets.push_back(SheetSpec{name, spreadsheet::SheetKind::Worksheet});
        }
    }
    void addWorkbook(const std::filesystem::path& path, std::vector<SheetSpec> sheets) {
        workbooks_[path] = std::move(sheets);
    }
    // Open fails for this path with the error given (a damaged or encrypted file).
    void addUnreadable(const std::filesystem::path& path, spreadsheet::ErrorCode code,
                       std::string description) {
        unreadable_[path] = Unreadable{code, std::move(description)};
    }
    // How many sheets Add gives a new workbook ("Sheet1", "Sheet2", ...).
    void setNewWorkbookSheetCount(int count) { newWorkbookSheets_ = count; }

    // The call with this 1-based number in the log fails instead of doing its work.
    void failAtCall(int callNumber) { failAtCall_ = callNumber; }
    // Every call whose log entry starts with this text fails.
    void failOn(std::string logPrefix) { failPrefixes_.push_back(std::move(logPrefix)); }
    static constexpr const char* kInjectedFailure = "Injected failure";

    // The report every application returns.
    void setReport(spreadsheet::MergeReport report) { report_ = std::move(report); }

    spreadsheet::ApplicationFactory factory();

    const std::vector<std::string>& calls() const { return calls_; }
    // Entries of the log that start with `prefix`, in order.
    std::vector<std::string> callsStartingWith(const std::string& prefix) const;
    int applicationsCreated() const { return created_; }
    int applicationsQuit() const { return quit_; }
    // Applications created and neither quit nor destroyed: instances left running.
    int applicationsAlive() const { return alive_; }
    // The sheets of the workbook saved at `path`, in tab order; nullopt if none was.
    std::optional<std::vector<SavedSheet>> saved(const std::filesystem::path& path) const {
        const auto found = saved_.find(path);
        return found == saved_.end() ? std::nullopt : std::optional(found->second);
    }

    // What each PrepareWorkbooks call was given, and how long the log was at the time. With
    // waitWhilePreparing it calls the wait handler once, as a conversion would while it runs.
    std::vector<std::vector<std::filesystem::path>> prepared;
    std::size_t callsBeforePrepare = 0;
    bool waitWhilePreparing = false;

    // Used by the fake's objects: logs a call and throws when it is meant to fail.
    void call(const std::string& entry);

private:
    friend class FakeApplication;
    friend class FakeWorkbook;
    struct Unreadable {
        spreadsheet::ErrorCode code;
        std::string description;
    };

    std::map<std::filesystem::path, std::vector<SheetSpec>> workbooks_;
    std::map<std::filesystem::path, Unreadable> unreadable_;
    std::map<std::filesystem::path, std::vector<SavedSheet>> saved_;
    std::vector<std::string> calls_;
    std::vector<std::string> failPrefixes_;
    spreadsheet::MergeReport report_;
    int failAtCall_ = 0;
    int newWorkbookSheets_ = 1;
    int created_ = 0;
    int quit_ = 0;
    int alive_ = 0;
};

} // namespace quillory::testing
