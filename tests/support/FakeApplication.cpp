#include "support/FakeApplication.h"

#include <algorithm>
#include <cctype>
#include <fstream>

namespace quillory::testing {

using spreadsheet::ErrorCode;
using spreadsheet::SheetKind;
using spreadsheet::SpreadsheetError;

namespace {

std::string Lower(std::string text) {
    std::transform(text.begin(), text.end(), text.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return text;
}

} // namespace

class FakeSheet;

// The part of a workbook its sheets and collections work on.
struct FakeBookState {
    FakeBookState(FakeSpreadsheet& world, std::string label)
        : world(world), label(std::move(label)) {}

    void call(const std::string& entry) {
        world.call(entry);
        checkOpen();
    }
    void checkOpen() const {
        if (closed) {
            throw SpreadsheetError(ErrorCode::WorkbookClosed, label + " is closed");
        }
    }

    FakeSpreadsheet& world;
    std::string label;
    bool closed = false;
    std::vector<std::unique_ptr<FakeSheet>> sheets;
    std::vector<std::unique_ptr<FakeSheet>> deleted; // kept so stale references stay readable
};

class FakeSheet : public spreadsheet::Sheet {
public:
    FakeSheet(FakeBookState& book, std::string name, SheetKind kind, std::string origin)
        : book(book), name(std::move(name)), kind(kind), origin(std::move(origin)) {}

    std::string Name() const override {
        book.call("Name(" + label() + ")");
        return name;
    }
    void SetName(const std::string& newName) override {
        book.call("SetName(" + label() + "," + newName + ")");
        name = newName;
    }
    SheetKind Kind() const override { return kind; }
    spreadsheet::SheetVisibility Visibility() const override {
        return spreadsheet::SheetVisibility::Visible;
    }
    void Delete() override {
        book.call("Delete(" + label() + ")");
        if (book.sheets.size() <= 1) {
            throw SpreadsheetError(ErrorCode::CannotDeleteLastSheet,
                                   "cannot delete the last sheet of " + book.label);
        }
        const auto it = std::find_if(book.sheets.begin(), book.sheets.end(),
                                     [this](const auto& sheet) { return sheet.get() == this; });
        book.deleted.push_back(std::move(*it));
        book.sheets.erase(it);
    }
    void Select() override { book.call("Select(" + label() + ")"); }
    void CopyBefore(spreadsheet::Sheet& before) override {
        auto& target = dynamic_cast<FakeSheet&>(before);
        book.call("Copy(" + label() + ",before " + target.label() + ")");
        target.book.checkOpen();
        auto& sheets = target.book.sheets;
        const auto taken = [&sheets](const std::string& candidate) {
            return std::any_of(sheets.begin(), sheets.end(), [&candidate](const auto& sheet) {
                return Lower(sheet->name) == Lower(candidate);
            });
        };
        std::string copyName = name;
        for (int n = 2; taken(copyName); ++n) {
            copyName = name + " (" + std::to_string(n) + ")";
        }
        const auto at = std::find_if(sheets.begin(), sheets.end(), [&target](const auto& sheet) {
            return sheet.get() == &target;
        });
        sheets.insert(at, std::make_unique<FakeSheet>(target.book, copyName, kind, label()));
    }

    std::string label() const { return book.label + "!" + name; }

    FakeBookState& book;
    std::string name;
    SheetKind kind;
    std::string origin;
};

class FakeSheetCollection : public spreadsheet::SheetCollection {
public:
    FakeSheetCollection(FakeBookState& book, bool worksheetsOnly)
        : book_(book), worksheetsOnly_(worksheetsOnly) {}

    int Count() const override {
        book_.call("Count(" + book_.label + ")");
        return static_cast<int>(members().size());
    }
    spreadsheet::Sheet& Item(int position) override {
        book_.call("Item(" + book_.label + "," + std::to_string(position) + ")");
        const auto sheets = members();
        if (position < 1 || position > static_cast<int>(sheets.size())) {
            throw SpreadsheetError(ErrorCode::IndexOutOfRange,
                                   "no sheet at " + std::to_string(position));
        }
        return *sheets[static_cast<std::size_t>(position - 1)];
    }
    spreadsheet::Sheet& Item(std::string_view name) override {
        book_.call("Item(" + book_.label + ",\"" + std::string(name) + "\")");
        for (FakeSheet* sheet : members()) {
            if (Lower(sheet->name) == Lower(std::string(name))) {
                return *sheet;
            }
        }
        throw SpreadsheetError(ErrorCode::SheetNotFound,
                               book_.label + " has no worksheet named '" + std::string(name) + "'");
    }

private:
    std::vector<FakeSheet*> members() const {
        std::vector<FakeSheet*> result;
        for (const auto& sheet : book_.sheets) {
            if (!worksheetsOnly_ || sheet->kind == SheetKind::Worksheet) {
                result.push_back(sheet.get());
            }
        }
        return result;
    }

    FakeBookState& book_;
    bool worksheetsOnly_;
};

class FakeWorkbook : public spreadsheet::Workbook, public FakeBookState {
public:
    FakeWorkbook(FakeSpreadsheet& world, std::filesystem::path path, std::string label)
        : FakeBookState(world, std::move(label)), path_(std::move(path)), worksheets_(*this, true),
          allSheets_(*this, false) {}

    const std::filesystem::path& Path() const override { return path_; }
    spreadsheet::SheetCollection& Worksheets() override { return worksheets_; }
    spreadsheet::SheetCollection& AllSheets() override { return allSheets_; }
    void SaveAs(const std::filesystem::path& file) override {
        call("SaveAs(" + file.string() + ")");
        std::vector<FakeSpreadsheet::SavedSheet> saved;
        std::ofstream out(file, std::ios::trunc);
        for (const auto& sheet : sheets) {
            saved.push_back({sheet->name, sheet->origin});
            out << sheet->name << '\n';
        }
        if (!out) {
            throw SpreadsheetError(ErrorCode::WriteFailed, "cannot write " + file.string());
        }
        world.saved_[file] = std::move(saved);
    }
    void Close(bool saveChanges) override {
        call("Close(" + label + "," + (saveChanges ? "1" : "0") + ")");
        closed = true;
    }

private:
    std::filesystem::path path_;
    FakeSheetCollection worksheets_;
    FakeSheetCollection allSheets_;
};

// The application is its own workbook collection.
class FakeApplication : public spreadsheet::Application, public spreadsheet::WorkbookCollection {
public:
    explicit FakeApplication(FakeSpreadsheet& world) : world_(world) {
        ++world_.created_;
        ++world_.alive_;
    }
    ~FakeApplication() override {
        if (!quit_) {
            --world_.alive_;
        }
    }

    void SetDisplayAlerts(bool on) override {
        world_.call(std::string("DisplayAlerts(") + (on ? "1" : "0") + ")");
        checkRunning();
    }
    void SetVisible(bool on) override {
        world_.call(std::string("Visible(") + (on ? "1" : "0") + ")");
        checkRunning();
    }
    spreadsheet::WorkbookCollection& Workbooks() override {
        checkRunning();
        return *this;
    }
    void Quit() override {
        world_.call("Quit");
        if (!quit_) {
            quit_ = true;
            ++world_.quit_;
            --world_.alive_;
            for (auto& book : books_) {
                book->closed = true;
            }
        }
    }
    const spreadsheet::MergeReport& Report() const override { return world_.report_; }
    void PrepareWorkbooks(const std::vector<std::filesystem::path>& paths) override {
        world_.prepared.push_back(paths);
        world_.callsBeforePrepare = world_.calls_.size();
        if (world_.waitWhilePreparing && waitHandler_) {
            waitHandler_();
        }
    }
    void SetWaitHandler(std::function<void()> handler) override {
        waitHandler_ = std::move(handler);
    }

    spreadsheet::Workbook& Open(const std::filesystem::path& path) override {
        world_.call("Open(" + path.string() + ")");
        checkRunning();
        if (const auto bad = world_.unreadable_.find(path); bad != world_.unreadable_.end()) {
            throw SpreadsheetError(bad->second.code, bad->second.description);
        }
        const auto found = world_.workbooks_.find(path);
        if (found == world_.workbooks_.end()) {
            throw SpreadsheetError(ErrorCode::FileNotFound, "'" + path.string() + "' not found");
        }
        auto book = std::make_unique<FakeWorkbook>(world_, path, path.filename().string());
        for (const auto& sheet : found->second) {
            book->sheets.push_back(std::make_unique<FakeSheet>(*book, sheet.name, sheet.kind, ""));
        }
        books_.push_back(std::move(book));
        return *books_.back();
    }

    spreadsheet::Workbook& Add() override {
        world_.call("Add");
        checkRunning();
        auto book = std::make_unique<FakeWorkbook>(world_, std::filesystem::path(), "Result");
        for (int i = 1; i <= world_.newWorkbookSheets_; ++i) {
            book->sheets.push_back(std::make_unique<FakeSheet>(*book, "Sheet" + std::to_string(i),
                                                               SheetKind::Worksheet, ""));
        }
        books_.push_back(std::move(book));
        return *books_.back();
    }

private:
    void checkRunning() const {
        if (quit_) {
            throw SpreadsheetError(ErrorCode::Internal, "the application has quit");
        }
    }
    FakeSpreadsheet& world_;
    std::vector<std::unique_ptr<FakeWorkbook>> books_;
    bool quit_ = false;
    std::function<void()> waitHandler_;
};

spreadsheet::ApplicationFactory FakeSpreadsheet::factory() {
    return [this]() -> std::unique_ptr<spreadsheet::Application> {
        call("Create");
        return std::make_unique<FakeApplication>(*this);
    };
}

void FakeSpreadsheet::call(const std::string& entry) {
    calls_.push_back(entry);
    const bool failHere =
        static_cast<int>(calls_.size()) == failAtCall_ ||
        std::any_of(failPrefixes_.begin(), failPrefixes_.end(),
                    [&entry](const std::string& prefix) { return entry.rfind(prefix, 0) == 0; });
    if (failHere) {
        throw SpreadsheetError(ErrorCode::Internal, std::string(kInjectedFailure) + " at " + entry);
    }
}

std::vector<std::string> FakeSpreadsheet::callsStartingWith(const std::string& prefix) const {
    std::vector<std::string> matching;
    std::copy_if(calls_.begin(), calls_.end(), std::back_inserter(matching),
                 [&prefix](const std::string& entry) { return entry.rfind(prefix, 0) == 0; });
    return matching;
}

} // namespace quillory::testing
