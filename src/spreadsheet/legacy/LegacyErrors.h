#pragma once
// The descriptions of what can be wrong with a legacy workbook, worded for the user and naming the
// file; the part in parentheses helps whoever looks into the file.

#include "spreadsheet/SpreadsheetError.h"

#include <filesystem>
#include <string>

namespace quillory::spreadsheet::legacy {

// The file's name in quotes, as every description shows it.
std::string QuotedFileName(const std::filesystem::path& file);

[[noreturn]] void ThrowDamaged(const std::string& quotedName, const std::string& detail);
[[noreturn]] void ThrowTruncated(const std::string& quotedName, const std::string& detail);

} // namespace quillory::spreadsheet::legacy
