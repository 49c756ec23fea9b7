#include "merge/MergeSheets.h"

#include "sources/PathKind.h"

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
        spreadsheet::Workbook& result = application->Workbooks().Add();
        result.AllSheets().Item(1).SetName(kPlaceholderSheetName);
        for (int k = result.AllSheets().Count(); k >= 2; --k) {
            result.AllSheets().Item(k).Delete();
        }

        int nextPosition = 1;
        spreadsheet::Workbook* source = nullptr;
        std::string previousPath;
        for (int i = 1; i <= entryCount; ++i) {
            const Entry& entry = entries[static_cast<std::size_t>(i - 1)];
            if (entry.checked && sources::GetPathKind(entry.path) == sources::PathKind::File) {
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
                                   "workbook files no longer exist.");
        }
        result.AllSheets().Item(nextPosition).Delete();
        result.AllSheets().Item(1).Select();
        if (source != nullptr) {
            source->Close(true);
        }
        result.SaveAs(output);
        outputWritten = true;
        outcome.report = application->Report();
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
