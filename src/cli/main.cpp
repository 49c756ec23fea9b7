// quillory-merge: the merge of the desktop program on the command line, over the same engine
// and the same merge procedure.

#include "Version.h"
#include "cli/CommandLine.h"
#include "cli/ReportJson.h"
#include "merge/MergeSheets.h"
#include "merge/ReportText.h"
#include "spreadsheet/Automation.h"

#include <cstdio>
#include <fstream>
#include <iostream>
#include <unistd.h>

namespace {

using namespace quillory;

int List(const std::string& path) {
    try {
        auto application = spreadsheet::CreateEngineApplication();
        spreadsheet::Workbook& workbook = application->Workbooks().Open(path);
        spreadsheet::SheetCollection& sheets = workbook.Worksheets();
        for (int i = 1; i <= sheets.Count(); ++i) {
            std::cout << sheets.Item(i).Name() << '\n';
        }
        workbook.Close();
        application->Quit();
        return cli::kExitSuccess;
    } catch (const spreadsheet::SpreadsheetError& error) {
        std::cerr << "quillory-merge: " << error.description() << '\n';
        return cli::kExitFailure;
    }
}

bool SamePath(const std::filesystem::path& a, const std::filesystem::path& b) {
    std::error_code ec;
    return std::filesystem::exists(a, ec) && std::filesystem::equivalent(a, b, ec);
}

int Merge(const cli::Options& options) {
    std::vector<cli::MergeEntry> entries;
    if (!options.entriesFile.empty()) {
        entries = cli::ReadEntriesFile(options.entriesFile);
    } else {
        for (const auto& path : options.paths) {
            for (const auto& workbook : cli::WorkbooksOf(path)) {
                try {
                    auto application = spreadsheet::CreateEngineApplication();
                    spreadsheet::Workbook& book = application->Workbooks().Open(workbook);
                    for (int i = 1; i <= book.Worksheets().Count(); ++i) {
                        entries.push_back({workbook.string(), book.Worksheets().Item(i).Name()});
                    }
                    application->Quit();
                } catch (const spreadsheet::SpreadsheetError& error) {
                    std::cerr << "quillory-merge: " << error.description() << '\n';
                    return cli::kExitFailure;
                }
            }
        }
    }
    for (const auto& entry : entries) {
        if (SamePath(entry.path, options.output)) {
            throw cli::UsageError("the result " + options.output.string() +
                                  " would replace a workbook that is merged");
        }
    }
    if (entries.empty()) {
        std::cerr << "quillory-merge: there are no worksheets to merge.\n";
        return cli::kExitFailure;
    }

    lists::MainLists lists;
    for (const auto& entry : entries) {
        const int row = lists.merge.add(entry.path);
        lists.merge.setSubItem1(row, entry.sheet);
        lists.merge.setChecked(row, true);
    }
    const bool showProgress = !options.quiet && isatty(STDERR_FILENO) != 0;
    if (showProgress) {
        lists.progress.onChanged = [&lists]() {
            const int value = static_cast<int>(lists.progress.value());
            const int max = static_cast<int>(lists.progress.max());
            if (value >= max && max > 0) {
                std::fprintf(stderr, "\rWriting the result...                    ");
            } else {
                std::fprintf(stderr, "\rCopying worksheet %d of %d...", value + 1, max);
            }
            std::fflush(stderr);
        };
    }
    merge::MergeOutcome outcome;
    const bool succeeded =
        merge::MergeSheets(lists, &spreadsheet::CreateEngineApplication, options.output, outcome);
    if (showProgress) {
        std::fprintf(stderr, "\r%-60s\r", "");
    }
    if (!options.reportFile.empty()) {
        std::ofstream report(options.reportFile, std::ios::binary | std::ios::trunc);
        report << cli::ReportJson(outcome, options.output, succeeded);
        if (!report) {
            std::cerr << "quillory-merge: the report " << options.reportFile
                      << " cannot be written.\n";
        }
    }
    if (!succeeded) {
        std::cerr << "quillory-merge: " << outcome.failure << '\n';
        return cli::kExitFailure;
    }
    if (!options.quiet) {
        std::cerr << merge::ReportDetails(outcome.report);
    }
    return cli::kExitSuccess;
}

} // namespace

int main(int argc, char** argv) {
    try {
        const cli::Options options =
            cli::ParseArguments(std::vector<std::string>(argv + 1, argv + argc));
        switch (options.mode) {
        case cli::Options::Mode::Help:
            std::cout << cli::UsageText();
            return cli::kExitSuccess;
        case cli::Options::Mode::Version:
            std::cout << "quillory-merge " << kVersion << '\n';
            return cli::kExitSuccess;
        case cli::Options::Mode::List:
            return List(options.paths.front());
        case cli::Options::Mode::Merge:
            return Merge(options);
        }
    } catch (const cli::UsageError& error) {
        std::cerr << "quillory-merge: " << error.what() << "\n\n" << cli::UsageText();
        return cli::kExitUsage;
    } catch (const std::exception& error) {
        std::cerr << "quillory-merge: " << error.what() << '\n';
        return cli::kExitFailure;
    }
    return cli::kExitFailure;
}
