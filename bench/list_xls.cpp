// How long listing the sheets of a legacy .xls workbook takes, read natively.
// Usage: list_xls [FILE-OR-FOLDER...]   (default: the .xls files of the shared corpus)

#include "spreadsheet/legacy/LegacyWorkbookListing.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <vector>

namespace {

constexpr int kRuns = 25;

std::vector<std::filesystem::path> collect(int argc, char** argv) {
    std::vector<std::filesystem::path> roots;
    for (int i = 1; i < argc; ++i) {
        roots.emplace_back(argv[i]);
    }
    if (roots.empty()) {
        roots.emplace_back(std::filesystem::path(QUILLORY_SHARED_DIR) / "corpus");
    }
    std::vector<std::filesystem::path> files;
    for (const auto& root : roots) {
        if (std::filesystem::is_directory(root)) {
            for (const auto& entry : std::filesystem::directory_iterator(root)) {
                if (entry.path().extension() == ".xls") {
                    files.push_back(entry.path());
                }
            }
        } else {
            files.push_back(root);
        }
    }
    std::sort(files.begin(), files.end());
    return files;
}

} // namespace

int main(int argc, char** argv) {
    using Clock = std::chrono::steady_clock;
    const auto files = collect(argc, argv);
    if (files.empty()) {
        std::fprintf(stderr, "no .xls files found\n");
        return 1;
    }
    std::printf("%10s %10s %7s  %s\n", "median ms", "size KiB", "sheets", "file");
    for (const auto& file : files) {
        std::vector<double> times;
        std::size_t sheets = 0;
        std::string failure;
        for (int run = 0; run < kRuns; ++run) {
            const auto start = Clock::now();
            try {
                sheets = quillory::spreadsheet::legacy::ListLegacyWorkbook(file).sheets.size();
            } catch (const quillory::spreadsheet::SpreadsheetError& error) {
                failure = error.description();
            }
            times.push_back(
                std::chrono::duration<double, std::milli>(Clock::now() - start).count());
        }
        std::sort(times.begin(), times.end());
        std::printf("%10.3f %10.1f %7zu  %s%s%s\n", times[times.size() / 2],
                    static_cast<double>(std::filesystem::file_size(file)) / 1024.0, sheets,
                    file.filename().c_str(), failure.empty() ? "" : "\n           -> ",
                    failure.c_str());
    }
    return 0;
}
