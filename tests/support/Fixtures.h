#pragma once
// Deterministic source workbooks written by an independent writer (libxlsxwriter), one per
// feature a sheet copy must carry. Available when QUILLORY_HAVE_XLSXWRITER is defined.

#include <filesystem>
#include <string>
#include <vector>

namespace quillory::testing {

struct FixtureWorkbook {
    std::string fileName; // e.g. "formats.xlsx"
    std::string feature;  // what the workbook exercises, for messages
    void (*write)(const std::filesystem::path& file);
};

// Every fixture workbook, in a stable order.
const std::vector<FixtureWorkbook>& fixtureWorkbooks();

// Writes one fixture (by file name) into the folder and returns its path; throws
// std::runtime_error for an unknown name or a failed write.
std::filesystem::path writeFixture(const std::string& fileName,
                                   const std::filesystem::path& folder);

// Writes every fixture into the folder and returns their paths in fixtureWorkbooks() order.
std::vector<std::filesystem::path> writeAllFixtures(const std::filesystem::path& folder);

} // namespace quillory::testing
