#pragma once
// A structural checker for .xlsx packages, independent of the engine: it asserts the invariants
// a spreadsheet program relies on to open a workbook without a repair prompt, which the common
// independent readers (openpyxl, LibreOffice) accept silently when broken:
// content types, relationships and r:ids, sheet names and ids, the selected tab, table and
// defined names, style / differential format / number format / shared-string indexes, worksheet
// element order, row and cell order, overlapping merges, calcChain and macro parts, shared-string
// counts, the workbook content type.

#include "support/PackageEntries.h"

#include <filesystem>
#include <string>
#include <vector>

namespace quillory::testing {

// Every problem found, one sentence each naming the part; empty when the package is sound.
std::vector<std::string> checkPackage(const PackageEntries& package);

// Reads the file first; an unreadable archive is reported as a problem.
std::vector<std::string> checkPackageFile(const std::filesystem::path& file);

} // namespace quillory::testing
