#pragma once
// A look inside a zipped .xlsb or .ods source before it is converted: LibreOffice turns a damaged
// one into an empty sheet without complaint, so the damage must be found here.

#include <cstdint>
#include <filesystem>

namespace quillory::spreadsheet::legacy {

// The smallest binary workbook part that can name a sheet: the begin and end records of the book
// and of its sheet list, and one sheet record with a relationship id and a name.
inline constexpr std::uintmax_t kMinBinaryWorkbookPartBytes = 32;
// Enough of the mimetype entry for its one line.
inline constexpr std::uint64_t kMaxMimetypeBytes = 256;
// Enough for the package parts read here (content types, relationships).
inline constexpr std::uint64_t kMaxPackageListBytes = 4 * 1024 * 1024;

// For an .xlsb: a workbook part (named by the package relationships, else xl/workbook.bin) of the
// binary-workbook content type, of plausible size, starting with the begin-book record. For an
// .ods: the spreadsheet mimetype and a content part. Other extensions pass. Throws
// SpreadsheetError naming the file: DamagedLegacyWorkbook, NotAWorkbook, or the zip reader's
// descriptions of an unreadable zip.
void CheckZippedSourceBeforeConversion(const std::filesystem::path& source);

} // namespace quillory::spreadsheet::legacy
