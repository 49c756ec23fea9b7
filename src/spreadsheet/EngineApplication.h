#pragma once
// The native engine behind the automation interface: workbooks are read from and written to
// .xlsx packages directly. A copy is only planned when CopyBefore is called (its name and place
// are fixed at once); the sheet is transplanted when the result is saved, when every copy is
// known, so that formulas can point at copies made later in the merge.

#include "spreadsheet/Automation.h"
#include "spreadsheet/legacy/LegacyConverter.h"
#include "spreadsheet/legacy/LegacyWorkbookListing.h"
#include "spreadsheet/ooxml/SourcePackage.h"

#include <map>
#include <memory>
#include <set>
#include <string>
#include <unordered_map>
#include <vector>

namespace quillory::spreadsheet {

class EngineApplication;
class EngineWorkbook;

class EngineSheet : public Sheet {
public:
    EngineSheet(EngineWorkbook& workbook, std::string name, SheetKind kind,
                SheetVisibility visibility, std::shared_ptr<const ooxml::SourcePackage> source,
                int sourceIndex);

    std::string Name() const override;
    void SetName(const std::string& name) override;
    SheetKind Kind() const override;
    SheetVisibility Visibility() const override;
    void Delete() override;
    void Select() override;
    void CopyBefore(Sheet& before) override;

    EngineWorkbook& workbook() const { return *workbook_; }
    const std::shared_ptr<const ooxml::SourcePackage>& source() const { return source_; }
    int sourceIndex() const { return sourceIndex_; }
    // The sheet's name in its source package (what formulas there call it).
    std::string sourceName() const;
    // Where the sheet of a legacy workbook is in the package converted from it.
    void attachSource(std::shared_ptr<const ooxml::SourcePackage> source, int sourceIndex) {
        source_ = std::move(source);
        sourceIndex_ = sourceIndex;
    }

private:
    EngineWorkbook* workbook_;
    std::string name_;
    SheetKind kind_;
    SheetVisibility visibility_;
    std::shared_ptr<const ooxml::SourcePackage> source_;
    int sourceIndex_;
};

class EngineWorkbook : public Workbook {
public:
    // A workbook opened from a package, or a new one (package null) with one blank sheet.
    EngineWorkbook(EngineApplication& application, std::filesystem::path path,
                   std::shared_ptr<const ooxml::SourcePackage> package, std::string displayName);
    // A legacy .xls workbook, listed natively; it is converted to a package on its first copy,
    // so that listing it stays instant.
    EngineWorkbook(EngineApplication& application, std::filesystem::path path,
                   const legacy::LegacyWorkbookListing& listing, std::string displayName);

    const std::filesystem::path& Path() const override { return path_; }
    SheetCollection& Worksheets() override;
    SheetCollection& AllSheets() override;
    void SaveAs(const std::filesystem::path& file) override;
    void Close(bool saveChanges) override;

    const std::string& displayName() const { return displayName_; }
    EngineApplication& application() const { return *application_; }
    bool closed() const { return closed_; }
    void requireOpen() const;

    // Sheet bookkeeping used by EngineSheet.
    std::vector<std::unique_ptr<EngineSheet>>& sheets() { return sheets_; }
    int positionOf(const EngineSheet& sheet) const; // 0-based
    void insert(int position, std::unique_ptr<EngineSheet> sheet);
    void remove(const EngineSheet& sheet);
    void select(const EngineSheet& sheet);
    bool nameTaken(std::string_view name, const EngineSheet* except) const;
    // Keeps the index behind nameTaken current: +1 when a sheet takes `name`, -1 when it leaves it.
    void trackName(std::string_view name, int delta);
    // Converts a legacy workbook and points its sheets at the converted package; no-op otherwise.
    void requireSource();
    // What the conversion could not carry over of a sheet (by its source name); null for nothing.
    const std::string* conversionNote(const std::string& sheetName) const;

private:
    class Collection;

    EngineApplication* application_;
    std::filesystem::path path_;
    std::shared_ptr<const ooxml::SourcePackage> package_;
    std::string displayName_;
    std::vector<std::unique_ptr<EngineSheet>> sheets_;
    std::vector<std::unique_ptr<EngineSheet>> removed_; // kept so stale references stay valid
    // Sheets per case-folded name: a merge of hundreds of sheets checks each new name at once
    // instead of against every sheet.
    std::unordered_map<std::string, int> namesInUse_;
    const EngineSheet* active_ = nullptr;
    bool closed_ = false;
    std::unique_ptr<Collection> worksheets_;
    std::unique_ptr<Collection> allSheets_;
    bool awaitsConversion_ = false;
    std::map<std::string, std::string> conversionNotes_;
};

class EngineApplication : public Application {
public:
    EngineApplication();
    ~EngineApplication() override;

    void SetDisplayAlerts(bool on) override { displayAlerts_ = on; }
    void SetVisible(bool on) override { visible_ = on; }
    WorkbookCollection& Workbooks() override;
    void Quit() override;
    const MergeReport& Report() const override { return report_; }
    void SetSaveProgressHandler(SaveProgressHandler handler) override {
        saveProgress_ = std::move(handler);
    }
    const SaveProgressHandler& saveProgressHandler() const { return saveProgress_; }
    void PrepareWorkbooks(const std::vector<std::filesystem::path>& paths) override;
    void SetWaitHandler(std::function<void()> handler) override {
        waitHandler_ = std::move(handler);
    }

    MergeReport& report() { return report_; }
    void requireRunning() const;
    std::string nextNewWorkbookName();
    // The .xlsx converted from a legacy source, made once per application; the report names
    // every converted source.
    std::filesystem::path convertLegacy(const std::filesystem::path& path,
                                        const std::string& displayName);
    // What the conversion of a legacy source could not carry over, per sheet name.
    std::map<std::string, std::string> conversionNotes(const std::filesystem::path& path) const;

private:
    class Books;

    bool displayAlerts_ = true;
    bool visible_ = false;
    bool quit_ = false;
    int newWorkbookCount_ = 0;
    MergeReport report_;
    SaveProgressHandler saveProgress_;
    std::function<void()> waitHandler_;
    // Before the workbooks: their packages go before the converted files are removed.
    legacy::LegacyConverter& converter();
    std::unique_ptr<legacy::LegacyConverter> converter_;
    std::set<std::filesystem::path> conversionsReported_;
    std::unique_ptr<Books> workbooks_;
};

} // namespace quillory::spreadsheet
