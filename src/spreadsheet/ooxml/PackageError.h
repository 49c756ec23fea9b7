#pragma once
// Helpers that build SpreadsheetError descriptions naming the file the way users see it.

#include "spreadsheet/SpreadsheetError.h"

#include <string>
#include <string_view>

namespace quillory::spreadsheet::ooxml {

// "'Q3.xlsx'" for descriptions that start with the file.
inline std::string QuotedFile(std::string_view fileName) {
    return "'" + std::string(fileName) + "'";
}

[[noreturn]] inline void ThrowError(ErrorCode code, const std::string& description) {
    throw SpreadsheetError(code, description);
}

// A part of the package that is broken: "'Q3.xlsx' is damaged: <what> (part xl/workbook.xml)."
[[noreturn]] inline void ThrowDamaged(ErrorCode code, std::string_view fileName,
                                      std::string_view partName, std::string_view what) {
    throw SpreadsheetError(code, QuotedFile(fileName) + " is damaged: " + std::string(what) +
                                     " (part " + std::string(partName) + ").");
}

} // namespace quillory::spreadsheet::ooxml
