#include "merge/MergeCommand.h"

#include "browsing/BusyPointer.h"
#include "merge/MergeSheets.h"
#include "merge/ReportText.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <system_error>

namespace quillory::merge {

namespace {

using lists::MessageIcon;

constexpr const char* kRunFolderPattern = "quillory-XXXXXX";

int CheckedCount(const lists::ListModel& merge) {
    int checked = 0;
    for (int i = 1; i <= merge.count(); ++i) {
        checked += merge.checked(i) ? 1 : 0;
    }
    return checked;
}

// A new folder only this run uses, so results of two runs never meet.
std::filesystem::path MakeRunFolder(const std::filesystem::path& root) {
    std::string pattern = (root / kRunFolderPattern).string();
    if (::mkdtemp(pattern.data()) == nullptr) {
        throw std::system_error(errno, std::generic_category(),
                                "No folder for the merged workbook could be made in '" +
                                    root.string() + "'");
    }
    return pattern;
}

// Copies under a temporary name beside the target and renames it into place, so a failed copy
// leaves nothing half-written where the user asked for the file.
void CopyIntoPlace(const std::filesystem::path& from, const std::filesystem::path& to) {
    const std::filesystem::path partial =
        to.parent_path() / ("." + to.filename().string() + ".quillory-part");
    try {
        std::filesystem::copy_file(from, partial,
                                   std::filesystem::copy_options::overwrite_existing);
        std::filesystem::rename(partial, to);
    } catch (...) {
        std::error_code ignored;
        std::filesystem::remove(partial, ignored);
        throw;
    }
}

// Hands the result to the user's program; where none takes it, asks where to keep it until it
// is kept somewhere the user chose, or the user cancels and is told where it is.
std::filesystem::path PresentResult(lists::UiPort& ui, const std::filesystem::path& result) {
    if (ui.openFile(result)) {
        return result;
    }
    for (;;) {
        const auto target = ui.askSavePath(result.filename());
        if (!target) {
            ui.showMessage(MessageIcon::Information,
                           "No program opened the merged workbook. It is kept at:\n" +
                               result.string());
            return result;
        }
        try {
            CopyIntoPlace(result, *target);
            std::error_code ignored;
            std::filesystem::remove_all(result.parent_path(), ignored);
            return *target;
        } catch (const std::exception& error) {
            ui.showMessage(MessageIcon::Critical, "The merged workbook could not be saved as '" +
                                                      target->string() + "': " + error.what());
        }
    }
}

// Lets the window repaint and move its bar at every step of the progress while a merge runs;
// the bar's own observer keeps working and is put back afterwards.
class EventsOnProgress {
public:
    EventsOnProgress(lists::ProgressModel& progress, lists::UiPort& ui)
        : progress_(progress), previous_(progress.onChanged) {
        progress_.onChanged = [this, &ui] {
            if (previous_) {
                previous_();
            }
            ui.processEvents();
        };
    }
    ~EventsOnProgress() { progress_.onChanged = previous_; }
    EventsOnProgress(const EventsOnProgress&) = delete;
    EventsOnProgress& operator=(const EventsOnProgress&) = delete;

private:
    lists::ProgressModel& progress_;
    std::function<void()> previous_;
};

} // namespace

std::string ResultFileName(std::time_t when) {
    std::tm local{};
    ::localtime_r(&when, &local);
    char stamp[32];
    std::strftime(stamp, sizeof stamp, "%Y-%m-%d %H.%M.%S", &local);
    return std::string("Merged ") + stamp + ".xlsx";
}

std::optional<std::filesystem::path> Merge(lists::MainLists& lists, lists::UiPort& ui,
                                           const spreadsheet::ApplicationFactory& createApplication,
                                           const MergeCommandOptions& options) {
    const int entryCount = lists.merge.count();
    if (CheckedCount(lists.merge) == 0) {
        ui.showMessage(MessageIcon::Information, kNothingToMergeMessage);
        return std::nullopt;
    }
    lists.progress.setMax(entryCount);

    std::filesystem::path runFolder;
    std::filesystem::path result;
    MergeOutcome outcome;
    bool merged = false;
    try {
        const std::filesystem::path root = options.temporaryRoot.empty()
                                               ? std::filesystem::temp_directory_path()
                                               : options.temporaryRoot;
        runFolder = MakeRunFolder(root);
        const std::time_t now = options.clock ? options.clock() : std::time(nullptr);
        result = runFolder / ResultFileName(now);
        browsing::BusyPointer busy(ui);
        EventsOnProgress responsive(lists.progress, ui);
        merged = MergeSheets(lists, createApplication, result, outcome);
    } catch (const std::exception& error) {
        outcome.failure = error.what();
    }

    if (!merged) {
        if (!runFolder.empty()) {
            std::error_code ignored;
            std::filesystem::remove_all(runFolder, ignored);
        }
        if (!outcome.failure.empty()) {
            ui.showMessage(MessageIcon::Critical, outcome.failure);
        }
        ui.showMessage(MessageIcon::Critical, kMergeFailedMessage);
        lists.progress.setValue(0);
        return std::nullopt;
    }

    lists.progress.setValue(0);
    const std::filesystem::path kept = PresentResult(ui, result);
    // Only what differs is worth a message; adjustments that look the same are in the details.
    if (const std::string message = ReportMessage(outcome.report); !message.empty()) {
        ui.showDetailedMessage(MessageIcon::Information, message, ReportDetails(outcome.report));
    }
    return kept;
}

} // namespace quillory::merge
