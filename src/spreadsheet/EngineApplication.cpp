#include "spreadsheet/EngineApplication.h"

#include "spreadsheet/legacy/ConvertiblePackageCheck.h"
#include "spreadsheet/ooxml/InputDetection.h"
#include "spreadsheet/ooxml/PackageError.h"
#include "spreadsheet/ooxml/WorkbookWriter.h"
#include "spreadsheet/ooxml/formulas/SheetNames.h"

#include <algorithm>
#include <cctype>

namespace quillory::spreadsheet {

using ooxml::QuotedFile;
using ooxml::ThrowError;

namespace {

constexpr std::string_view kFirstSheetName = "Sheet1";

std::string Quoted(std::string_view name) {
    return "'" + std::string(name) + "'";
}

// A source that needs converting and passes the checks made before a conversion; one that
// fails them is left to fail at its own entry, so that it cannot spoil the others' shared run.
bool ConvertibleAhead(const std::filesystem::path& path) {
    if (!legacy::LegacyConverter::NeedsConversion(path)) {
        return false;
    }
    std::string extension = path.extension().string();
    std::transform(extension.begin(), extension.end(), extension.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    try {
        if (extension != ".xls") {
            legacy::CheckZippedSourceBeforeConversion(path);
            return true;
        }
        // A package merely named .xls is opened as it is, never converted.
        if (ooxml::DetectFileFormat(path, path.filename().string()) !=
            ooxml::FileFormat::LegacyBinary) {
            return false;
        }
        legacy::ListLegacyWorkbook(path);
        return true;
    } catch (const SpreadsheetError&) {
        return false;
    }
}

// The sheet data a save reads, as the packages' directories give it; a missing part counts
// nothing here and fails the save where it is read.
std::uint64_t SheetDataBytes(const ooxml::WorkbookPlan& plan) {
    std::uint64_t total = 0;
    for (const auto& planned : plan.sheets) {
        if (!planned.source) {
            continue;
        }
        const auto& sheet = planned.source->sheets()[static_cast<std::size_t>(planned.sourceIndex)];
        if (const auto stored = planned.source->zip().find(sheet.partName)) {
            total += planned.source->zip().info(*stored).size;
        }
    }
    return total;
}

} // namespace

// ---- sheets ----

EngineSheet::EngineSheet(EngineWorkbook& workbook, std::string name, SheetKind kind,
                         SheetVisibility visibility,
                         std::shared_ptr<const ooxml::SourcePackage> source, int sourceIndex)
    : workbook_(&workbook), name_(std::move(name)), kind_(kind), visibility_(visibility),
      source_(std::move(source)), sourceIndex_(sourceIndex) {}

std::string EngineSheet::Name() const {
    workbook_->requireOpen();
    return name_;
}

SheetKind EngineSheet::Kind() const {
    return kind_;
}
SheetVisibility EngineSheet::Visibility() const {
    return visibility_;
}

std::string EngineSheet::sourceName() const {
    return source_ ? source_->sheets()[static_cast<std::size_t>(sourceIndex_)].name : name_;
}

void EngineSheet::SetName(const std::string& name) {
    workbook_->requireOpen();
    if (const auto problem = ooxml::SheetNameProblem(name)) {
        ThrowError(ErrorCode::InvalidSheetName,
                   Quoted(name) + " cannot be a sheet name: " + *problem + ".");
    }
    if (workbook_->nameTaken(name, this)) {
        ThrowError(ErrorCode::SheetNameTaken, QuotedFile(workbook_->displayName()) +
                                                  " already has a sheet named " + Quoted(name) +
                                                  ".");
    }
    workbook_->trackName(name_, -1);
    name_ = name;
    workbook_->trackName(name_, +1);
}

void EngineSheet::Delete() {
    workbook_->requireOpen();
    workbook_->remove(*this);
}

void EngineSheet::Select() {
    workbook_->requireOpen();
    workbook_->select(*this);
}

void EngineSheet::CopyBefore(Sheet& before) {
    workbook_->requireOpen();
    auto* target = dynamic_cast<EngineSheet*>(&before);
    if (target == nullptr) {
        ThrowError(ErrorCode::Internal, "A sheet can only be copied within the same engine.");
    }
    EngineWorkbook& destination = target->workbook();
    destination.requireOpen();
    if (kind_ != SheetKind::Worksheet) {
        ThrowError(ErrorCode::NotAWorksheet,
                   Quoted(name_) + " of " + QuotedFile(workbook_->displayName()) +
                       " is not a worksheet; only worksheets can be copied.");
    }
    workbook_->requireSource();
    const std::string copyName = ooxml::UniqueSheetName(name_, [&](std::string_view candidate) {
        return destination.nameTaken(candidate, nullptr);
    });
    const int position = destination.positionOf(*target);
    destination.insert(position, std::make_unique<EngineSheet>(destination, copyName, kind_,
                                                               visibility_, source_, sourceIndex_));
    if (const std::string* note = workbook_->conversionNote(sourceName())) {
        workbook_->application().report().add(
            {ReportKind::PartNotCarried, workbook_->displayName(), name_, copyName, *note});
    }
    if (copyName != name_) {
        workbook_->application().report().add(
            {ReportKind::SheetRenamed, workbook_->displayName(), name_, copyName,
             "The sheet " + Quoted(name_) + " was named " + Quoted(copyName) +
                 " because the result already had a sheet of that name."});
    }
}

// ---- workbooks ----

class EngineWorkbook::Collection : public SheetCollection {
public:
    Collection(EngineWorkbook& workbook, bool worksheetsOnly)
        : workbook_(workbook), worksheetsOnly_(worksheetsOnly) {}

    int Count() const override {
        workbook_.requireOpen();
        return static_cast<int>(members().size());
    }
    Sheet& Item(int position) override {
        workbook_.requireOpen();
        const auto list = members();
        if (position < 1 || position > static_cast<int>(list.size())) {
            ThrowError(ErrorCode::IndexOutOfRange, QuotedFile(workbook_.displayName()) +
                                                       " has no " + what() + " at position " +
                                                       std::to_string(position) + ".");
        }
        return *list[static_cast<std::size_t>(position - 1)];
    }
    Sheet& Item(std::string_view name) override {
        workbook_.requireOpen();
        for (EngineSheet* sheet : members()) {
            if (ooxml::SheetNamesEqual(sheet->Name(), name)) {
                return *sheet;
            }
        }
        ThrowError(ErrorCode::SheetNotFound, QuotedFile(workbook_.displayName()) + " has no " +
                                                 what() + " named " + Quoted(name) + ".");
    }

private:
    std::string what() const { return worksheetsOnly_ ? "worksheet" : "sheet"; }
    std::vector<EngineSheet*> members() const {
        std::vector<EngineSheet*> list;
        for (const auto& sheet : workbook_.sheets()) {
            if (!worksheetsOnly_ || sheet->Kind() == SheetKind::Worksheet) {
                list.push_back(sheet.get());
            }
        }
        return list;
    }

    EngineWorkbook& workbook_;
    bool worksheetsOnly_;
};

EngineWorkbook::EngineWorkbook(EngineApplication& application, std::filesystem::path path,
                               std::shared_ptr<const ooxml::SourcePackage> package,
                               std::string displayName)
    : application_(&application), path_(std::move(path)), package_(std::move(package)),
      displayName_(std::move(displayName)), worksheets_(std::make_unique<Collection>(*this, true)),
      allSheets_(std::make_unique<Collection>(*this, false)) {
    if (package_) {
        const auto& sourceSheets = package_->sheets();
        for (std::size_t i = 0; i < sourceSheets.size(); ++i) {
            const auto& s = sourceSheets[i];
            sheets_.push_back(std::make_unique<EngineSheet>(*this, s.name, s.kind, s.visibility,
                                                            package_, static_cast<int>(i)));
            trackName(s.name, +1);
        }
        const int active = package_->activeTab();
        if (active >= 0 && active < static_cast<int>(sheets_.size())) {
            active_ = sheets_[static_cast<std::size_t>(active)].get();
        }
    } else {
        sheets_.push_back(std::make_unique<EngineSheet>(*this, std::string(kFirstSheetName),
                                                        SheetKind::Worksheet,
                                                        SheetVisibility::Visible, nullptr, -1));
        trackName(kFirstSheetName, +1);
        active_ = sheets_.front().get();
    }
}

EngineWorkbook::EngineWorkbook(EngineApplication& application, std::filesystem::path path,
                               const legacy::LegacyWorkbookListing& listing,
                               std::string displayName)
    : application_(&application), path_(std::move(path)), displayName_(std::move(displayName)),
      worksheets_(std::make_unique<Collection>(*this, true)),
      allSheets_(std::make_unique<Collection>(*this, false)), awaitsConversion_(true) {
    for (const auto& sheet : listing.sheets) {
        if (const auto kind = legacy::ToSheetKind(sheet.kind)) {
            sheets_.push_back(std::make_unique<EngineSheet>(*this, sheet.name, *kind,
                                                            sheet.visibility, nullptr, -1));
            trackName(sheet.name, +1);
        }
    }
    if (!sheets_.empty()) {
        active_ = sheets_.front().get();
    }
}

void EngineWorkbook::requireSource() {
    if (!awaitsConversion_) {
        return;
    }
    package_ = ooxml::SourcePackage::OpenFile(application_->convertLegacy(path_, displayName_),
                                              displayName_);
    const auto& converted = package_->sheets();
    for (const auto& sheet : sheets_) {
        const std::string name = sheet->sourceName();
        const auto found = std::find_if(converted.begin(), converted.end(),
                                        [&](const auto& s) { return s.name == name; });
        if (found == converted.end() && sheet->Kind() != SheetKind::Worksheet) {
            continue; // never copied, so a chart or dialog sheet the converter dropped is no loss
        }
        if (found == converted.end()) {
            ThrowError(ErrorCode::ConversionFailed,
                       "The sheet " + Quoted(name) + " of " + QuotedFile(displayName_) +
                           " was lost when the workbook was converted for copying.");
        }
        sheet->attachSource(package_, static_cast<int>(found - converted.begin()));
    }
    conversionNotes_ = application_->conversionNotes(path_);
    awaitsConversion_ = false;
}

const std::string* EngineWorkbook::conversionNote(const std::string& sheetName) const {
    const auto found = conversionNotes_.find(sheetName);
    return found != conversionNotes_.end() ? &found->second : nullptr;
}

SheetCollection& EngineWorkbook::Worksheets() {
    requireOpen();
    return *worksheets_;
}

SheetCollection& EngineWorkbook::AllSheets() {
    requireOpen();
    return *allSheets_;
}

void EngineWorkbook::requireOpen() const {
    application_->requireRunning();
    if (closed_) {
        ThrowError(ErrorCode::WorkbookClosed,
                   QuotedFile(displayName_) + " has been closed and can no longer be used.");
    }
}

int EngineWorkbook::positionOf(const EngineSheet& sheet) const {
    for (std::size_t i = 0; i < sheets_.size(); ++i) {
        if (sheets_[i].get() == &sheet) {
            return static_cast<int>(i);
        }
    }
    ThrowError(ErrorCode::Internal, "The sheet is no longer part of its workbook.");
}

void EngineWorkbook::insert(int position, std::unique_ptr<EngineSheet> sheet) {
    trackName(sheet->Name(), +1);
    sheets_.insert(sheets_.begin() + position, std::move(sheet));
}

void EngineWorkbook::remove(const EngineSheet& sheet) {
    const int position = positionOf(sheet);
    if (sheets_.size() == 1) {
        ThrowError(ErrorCode::CannotDeleteLastSheet, "The sheet " + Quoted(sheet.Name()) +
                                                         " cannot be deleted: a workbook must "
                                                         "keep at least one sheet.");
    }
    trackName(sheet.Name(), -1);
    removed_.push_back(std::move(sheets_[static_cast<std::size_t>(position)]));
    sheets_.erase(sheets_.begin() + position);
    if (active_ == &sheet) {
        const auto next =
            std::min<std::size_t>(static_cast<std::size_t>(position), sheets_.size() - 1);
        active_ = sheets_[next].get();
    }
}

void EngineWorkbook::select(const EngineSheet& sheet) {
    active_ = &sheet;
}

bool EngineWorkbook::nameTaken(std::string_view name, const EngineSheet* except) const {
    const auto found = namesInUse_.find(ooxml::SheetNameKey(name));
    int count = found == namesInUse_.end() ? 0 : found->second;
    if (except != nullptr && ooxml::SheetNamesEqual(except->Name(), name)) {
        --count; // renaming a sheet to (a case variant of) its own name
    }
    return count > 0;
}

void EngineWorkbook::trackName(std::string_view name, int delta) {
    const std::string key = ooxml::SheetNameKey(name);
    if ((namesInUse_[key] += delta) <= 0) {
        namesInUse_.erase(key);
    }
}

void EngineWorkbook::SaveAs(const std::filesystem::path& file) {
    requireOpen();
    ooxml::WorkbookPlan plan;
    for (const auto& sheet : sheets_) {
        if (sheet.get() == active_) {
            plan.activeSheet = static_cast<int>(plan.sheets.size());
        }
        if (sheet->Kind() != SheetKind::Worksheet) {
            application_->report().add({ReportKind::PartNotCarried,
                                        displayName_,
                                        sheet->Name(),
                                        {},
                                        "The sheet " + Quoted(sheet->Name()) +
                                            " is not a worksheet and was not written."});
            continue;
        }
        plan.sheets.push_back(
            {sheet->Name(), sheet->Visibility(), sheet->source(), sheet->sourceIndex()});
    }
    if (plan.sheets.empty()) {
        ThrowError(ErrorCode::NotAWorksheet,
                   QuotedFile(file.filename().string()) +
                       " cannot be written: the workbook holds no worksheet.");
    }
    plan.activeSheet = std::min(plan.activeSheet, static_cast<int>(plan.sheets.size()) - 1);
    ooxml::WriteProgress progress(application_->saveProgressHandler(), SheetDataBytes(plan));
    plan.progress = &progress;
    ooxml::SaveWorkbookFile(plan, file, application_->report());
}

void EngineWorkbook::Close(bool /*saveChanges*/) {
    // Never written, whatever saveChanges says: sources stay byte-for-byte as they were, and a
    // new workbook is only ever written by SaveAs.
    requireOpen();
    closed_ = true;
}

// ---- application ----

class EngineApplication::Books : public WorkbookCollection {
public:
    explicit Books(EngineApplication& application) : application_(application) {}

    Workbook& Open(const std::filesystem::path& path) override {
        application_.requireRunning();
        if (legacy::LegacyConverter::NeedsConversion(path)) {
            return openLegacy(path);
        }
        auto package = ooxml::SourcePackage::OpenFile(path);
        const std::string displayName = package->displayName();
        workbooks_.push_back(
            std::make_unique<EngineWorkbook>(application_, path, std::move(package), displayName));
        return *workbooks_.back();
    }
    Workbook& Add() override {
        application_.requireRunning();
        workbooks_.push_back(std::make_unique<EngineWorkbook>(
            application_, std::filesystem::path(), nullptr, application_.nextNewWorkbookName()));
        return *workbooks_.back();
    }
    void clear() { workbooks_.clear(); }

private:
    // .xls is listed natively and converted on its first copy (a package merely named .xls is
    // opened as it is); .xlsb and .ods are converted at once.
    Workbook& openLegacy(const std::filesystem::path& path) {
        const std::string displayName = path.filename().string();
        std::string extension = path.extension().string();
        std::transform(extension.begin(), extension.end(), extension.begin(),
                       [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
        std::shared_ptr<const ooxml::SourcePackage> package;
        if (extension != ".xls") {
            package = ooxml::SourcePackage::OpenFile(application_.convertLegacy(path, displayName),
                                                     displayName);
        } else if (ooxml::DetectFileFormat(path, displayName) == ooxml::FileFormat::ZipPackage) {
            package = ooxml::SourcePackage::OpenFile(path);
        } else {
            workbooks_.push_back(std::make_unique<EngineWorkbook>(
                application_, path, legacy::ListLegacyWorkbook(path), displayName));
            return *workbooks_.back();
        }
        workbooks_.push_back(
            std::make_unique<EngineWorkbook>(application_, path, std::move(package), displayName));
        return *workbooks_.back();
    }

    EngineApplication& application_;
    // Closed workbooks stay here until Quit so that stale references fail cleanly.
    std::vector<std::unique_ptr<EngineWorkbook>> workbooks_;
};

EngineApplication::EngineApplication() : workbooks_(std::make_unique<Books>(*this)) {}
EngineApplication::~EngineApplication() = default;

WorkbookCollection& EngineApplication::Workbooks() {
    requireRunning();
    return *workbooks_;
}

void EngineApplication::Quit() {
    quit_ = true;
    workbooks_->clear();
    converter_.reset();
}

std::filesystem::path EngineApplication::convertLegacy(const std::filesystem::path& path,
                                                       const std::string& displayName) {
    std::filesystem::path converted = converter().Convert(path);
    // Said once per source, also when it was converted ahead with others.
    if (conversionsReported_.insert(std::filesystem::absolute(path).lexically_normal()).second) {
        report_.add({ReportKind::Converted,
                     displayName,
                     {},
                     {},
                     QuotedFile(displayName) +
                         " was converted with LibreOffice before its sheets were copied; what "
                         "LibreOffice does not carry over may look different."});
    }
    return converted;
}

std::map<std::string, std::string>
EngineApplication::conversionNotes(const std::filesystem::path& path) const {
    return converter_ ? converter_->SheetNotes(path) : std::map<std::string, std::string>();
}

legacy::LegacyConverter& EngineApplication::converter() {
    if (!converter_) {
        converter_ = std::make_unique<legacy::LegacyConverter>();
        converter_->SetWhileWaiting([this] {
            if (waitHandler_) {
                waitHandler_();
            }
        });
    }
    return *converter_;
}

void EngineApplication::PrepareWorkbooks(const std::vector<std::filesystem::path>& paths) {
    if (quit_) {
        return;
    }
    std::vector<std::filesystem::path> toConvert;
    for (const auto& path : paths) {
        if (ConvertibleAhead(path)) {
            toConvert.push_back(path);
        }
    }
    if (toConvert.size() < 2) {
        return; // one source gains nothing from going first
    }
    try {
        converter().ConvertAll(toConvert);
    } catch (const SpreadsheetError&) {
        // The shared run failed (time limit, converter missing): each source is converted on
        // its own when it is used, and a failure comes at its own entry as before.
    }
}

void EngineApplication::requireRunning() const {
    if (quit_) {
        ThrowError(ErrorCode::WorkbookClosed, "The workbook engine has been shut down.");
    }
}

std::string EngineApplication::nextNewWorkbookName() {
    return "Book" + std::to_string(++newWorkbookCount_);
}

std::unique_ptr<Application> CreateEngineApplication() {
    return std::make_unique<EngineApplication>();
}

} // namespace quillory::spreadsheet
