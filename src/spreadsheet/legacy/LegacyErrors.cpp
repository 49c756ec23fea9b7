#include "spreadsheet/legacy/LegacyErrors.h"

namespace quillory::spreadsheet::legacy {

std::string QuotedFileName(const std::filesystem::path& file) {
    return "\"" + file.filename().string() + "\"";
}

void ThrowDamaged(const std::string& quotedName, const std::string& detail) {
    throw SpreadsheetError(ErrorCode::DamagedLegacyWorkbook,
                           "The workbook " + quotedName + " is damaged and cannot be read (" +
                               detail + ").");
}

void ThrowTruncated(const std::string& quotedName, const std::string& detail) {
    throw SpreadsheetError(ErrorCode::TruncatedPackage,
                           "The workbook " + quotedName +
                               " is incomplete: the file was cut short, perhaps by an "
                               "interrupted download or copy (" +
                               detail + ").");
}

} // namespace quillory::spreadsheet::legacy
