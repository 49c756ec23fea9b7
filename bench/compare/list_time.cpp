// How long the engine takes to list the worksheets of each workbook, in-process: Open, the
// worksheet names, Close. Prints one line per workbook: its median time in milliseconds over
// several listings, the number of worksheets and the path.
// Usage: list_time [--runs N] PACKAGE...

#include "spreadsheet/Automation.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace {

constexpr int kDefaultRuns = 5;

double Median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    const std::size_t middle = values.size() / 2;
    return values.size() % 2 == 1 ? values[middle] : (values[middle - 1] + values[middle]) / 2;
}

} // namespace

int main(int argc, char** argv) {
    using Clock = std::chrono::steady_clock;
    namespace spreadsheet = quillory::spreadsheet;
    int runs = kDefaultRuns;
    std::vector<std::string> files;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--runs") == 0 && i + 1 < argc) {
            runs = std::max(1, std::atoi(argv[++i]));
        } else {
            files.emplace_back(argv[i]);
        }
    }
    if (files.empty()) {
        std::fprintf(stderr, "usage: list_time [--runs N] PACKAGE...\n");
        return 2;
    }
    int failures = 0;
    for (const auto& file : files) {
        std::vector<double> times;
        int sheets = 0;
        try {
            for (int run = 0; run < runs; ++run) {
                auto application = spreadsheet::CreateEngineApplication();
                const auto start = Clock::now();
                spreadsheet::Workbook& workbook = application->Workbooks().Open(file);
                spreadsheet::SheetCollection& worksheets = workbook.Worksheets();
                sheets = worksheets.Count();
                std::vector<std::string> names;
                for (int i = 1; i <= sheets; ++i) {
                    names.push_back(worksheets.Item(i).Name());
                }
                workbook.Close();
                times.push_back(
                    std::chrono::duration<double, std::milli>(Clock::now() - start).count());
                application->Quit();
            }
        } catch (const spreadsheet::SpreadsheetError& error) {
            std::fprintf(stderr, "list_time: %s\n", error.description().c_str());
            ++failures;
            continue;
        }
        std::printf("%.3f %d %s\n", Median(times), sheets, file.c_str());
    }
    return failures == 0 ? 0 : 1;
}
