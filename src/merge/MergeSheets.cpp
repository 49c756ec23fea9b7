#include "merge/MergeSheets.h"

#include "sources/PathKind.h"

#include <algorithm>
#include <exception>
#include <system_error>
#include <vector>

namespace quillory::merge {

namespace {

using spreadsheet::ErrorCode;
using spreadsheet::SpreadsheetError;

struct Entry {
    std::string path;
    std::string sheet;
    bool checked = false;
};

// The entries as they were when the merge started: repainting the progress bar may let the
// window handle events, and a click there must not change what this run merges.
std::vector<Entry> SnapshotEntries(const lists::ListModel& merge) {
    std::vector<Entry> entries;
    entries.reserve(static_cast<std::size_t>(merge.count()));
    for (int i = 1; i <= merge.count(); ++i) {
        const lists::Row& row = merge.item(i);
        entries.push_back(Entry{row.text, row.subItem1, row.checked});
    }
    return entries;
}

void RecordFailure(MergeOutcome& outcome, int number, std::string description) {
    // A failure always counts, whatever number it carries.
    outcome.failureNumber = number > 0 ? number : static_cast<int>(ErrorCode::Internal);
    outcome.failure = std::move(description);
}

// A failing Quit must not turn a finished merge into a failure, nor hide the first failure.
void QuitQuietly(spreadsheet::Application& application) {
    try {
        application.Quit();
    } catch (...) {
        // Nothing more can be done with this instance.
    }
}

// The files of the checked entries that still exist, each once, in list order.
std::vector<std::filesystem::path> CheckedFiles(const std::vector<Entry>& entries) {
    std::vector<std::filesystem::path> files;
    for (const Entry& entry : entries) {
        if (entry.checked && std::find(files.begin(), files.end(), entry.path) == files.end() &&
            sources::GetPathKind(entry.path) == sources::PathKind::File) {
            files.emplace_back(entry.path);
        }
    }
    return files;
}

// The file names of skipped entries, each once, for a message.
std::string VanishedFileNames(const std::vector<const Entry*>& vanished) {
    std::vector<std::string> names;
    for (const Entry* entry : vanished) {
        std::string name = "'" + std::filesystem::path(entry->path).filename().string() + "'";
        if (std::find(names.begin(), names.end(), name) == names.end()) {
            names.push_back(std::move(name));
        }
    }
    std::string text;
    for (const std::string& name : names) {
        text += (text.empty() ? "" : ", ") + name;
    }
    return text;
}

// Puts the report's items in the order of their workbooks in the merge list, keeping the order of
// each workbook's own items: the engine says some things while copying and others while writing.
void OrderByMergeList(spreadsheet::MergeReport& report, const std::vector<Entry>& entries) {
    std::vector<std::string> order;
    for (const Entry& entry : entries) {
        std::string name = std::filesystem::path(entry.path).filename().string();
        if (std::find(order.begin(), order.end(), name) == order.end()) {
            order.push_back(std::move(name));
        }
    }
    const auto rank = [&order](const spreadsheet::ReportItem& item) {
        return std::find(order.begin(), order.end(), item.sourceFile) - order.begin();
    };
    std::stable_sort(report.items.begin(), report.items.end(),
                     [&rank](const auto& a, const auto& b) { return rank(a) < rank(b); });
}

} // namespace

bool MergeSheets(lists::MainLists& lists, const spreadsheet::ApplicationFactory& createApplication,
                 const std::filesystem::path& output, MergeOutcome& outcome) {
    outcome = MergeOutcome{};
    const std::vector<Entry> entries = SnapshotEntries(lists.merge);
    const int entryCount = static_cast<int>(entries.size());
    lists.progress.setMax(entryCount);

    std::unique_ptr<spreadsheet::Application> application;
    bool outputWritten = false;
    try {
        if (createApplication) {
            application = createApplication();
        }
        if (!application) {
            throw SpreadsheetError(ErrorCode::Internal,
                                   "The workbook engine could not be started.");
        }
        application->SetDisplayAlerts(false);
        // Writing the result is most of the work: the bar runs through the entries once more
        // while it is written.
        application->SetSaveProgressHandler(
            [&lists, entryCount](const spreadsheet::SaveProgress& progress) {
                const double share = progress.total == 0 ? 1.0
                                                         : static_cast<double>(progress.done) /
                                                               static_cast<double>(progress.total);
                lists.progress.setValue(share * entryCount);
            });
        // Converting legacy sources takes seconds: the bar's observers repaint the window (and
        // let it process events) whenever the bar is told its value, also an unchanged one.
        application->SetWaitHandler([&lists] { lists.progress.setValue(lists.progress.value()); });
        application->PrepareWorkbooks(CheckedFiles(entries));
        spreadsheet::Workbook& result = application->Workbooks().Add();
        result.AllSheets().Item(1).SetName(kPlaceholderSheetName);
        for (int k = result.AllSheets().Count(); k >= 2; --k) {
            result.AllSheets().Item(k).Delete();
        }

        int nextPosition = 1;
        spreadsheet::Workbook* source = nullptr;
        std::string previousPath;
        std::vector<const Entry*> vanished; // checked entries whose file is gone: skipped
        for (int i = 1; i <= entryCount; ++i) {
            const Entry& entry = entries[static_cast<std::size_t>(i - 1)];
            const bool exists =
                entry.checked && sources::GetPathKind(entry.path) == sources::PathKind::File;
            if (entry.checked && !exists) {
                vanished.push_back(&entry);
            }
            if (exists) {
                if (entry.path != previousPath) {
                    if (source != nullptr) {
                        source->Close(true);
                        source = nullptr;
                    }
                    source = &application->Workbooks().Open(entry.path);
                }
                source->Worksheets()
                    .Item(entry.sheet)
                    .CopyBefore(result.AllSheets().Item(nextPosition));
                ++nextPosition;
                previousPath = entry.path;
            }
            lists.progress.setValue(i);
        }

        if (nextPosition == 1) {
            // Deleting the placeholder would fail anyway (it is the last sheet); say why instead.
            throw SpreadsheetError(ErrorCode::FileNotFound,
                                   "None of the checked worksheets could be merged: their "
                                   "workbook files no longer exist (" +
                                       VanishedFileNames(vanished) + ").");
        }
        result.AllSheets().Item(nextPosition).Delete();
        result.AllSheets().Item(1).Select();
        if (source != nullptr) {
            source->Close(true);
        }
        result.SaveAs(output);
        outputWritten = true;
        outcome.report = application->Report();
        for (const Entry* entry : vanished) {
            const std::string file = std::filesystem::path(entry->path).filename().string();
            outcome.report.add({spreadsheet::ReportKind::PartNotCarried, file, entry->sheet, "",
                                "'" + file + "' no longer exists, so its worksheet '" +
                                    entry->sheet + "' was left out."});
        }
        OrderByMergeList(outcome.report, entries);
        application->SetDisplayAlerts(true);
    } catch (const SpreadsheetError& error) {
        RecordFailure(outcome, error.number(), error.description());
    } catch (const std::exception& error) {
        RecordFailure(outcome, static_cast<int>(ErrorCode::Internal), error.what());
    }
    if (outcome.failureNumber == 0) {
        // The result lives in its file now; the instance only holds temporary files.
        QuitQuietly(*application);
        return true;
    }
    if (application) {
        QuitQuietly(*application);
    }
    if (outputWritten) {
        std::error_code ignored;
        std::filesystem::remove(output, ignored);
    }
    return false;
}

} // namespace quillory::merge
