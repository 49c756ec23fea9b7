#pragma once
// The one failure type of the spreadsheet layer: a positive number and a description that names
// the file and says what is wrong in words a user understands.

#include <stdexcept>
#include <string>

namespace quillory::spreadsheet {

enum class ErrorCode : int {
    // Opening a workbook
    FileNotFound = 1001,
    FileUnreadable = 1002,
    NotAZip = 1003,
    TruncatedPackage = 1004,
    NotAWorkbook = 1005,
    PasswordProtected = 1006,
    LegacyBinaryWorkbook = 1007,   // .xls given to the package reader
    BinaryWorkbook = 1008,         // .xlsb
    TooLarge = 1009,               // zip bomb: entry count, size or ratio over the limits
    XmlDeclarationsRefused = 1010, // DTD or entity declarations
    MalformedXml = 1011,
    MissingPart = 1012,
    UnsupportedPackage = 1013,
    CorruptEntry = 1014, // CRC mismatch, bad compression data
    // Working with sheets
    SheetNotFound = 1101,
    CannotDeleteLastSheet = 1102,
    InvalidSheetName = 1103,
    SheetNameTaken = 1104,
    IndexOutOfRange = 1105,
    WorkbookClosed = 1106,
    NotAWorksheet = 1107,
    LimitExceeded = 1108, // a limit of the format (cell formats, number formats, ...)
    // Writing the result
    WriteFailed = 1201,
    DiskFull = 1202,
    OutputNotWritable = 1203,
    // Converting legacy formats
    ConverterMissing = 1301,
    ConversionFailed = 1302,
    ConversionTimedOut = 1303,
    LegacyVersionUnsupported = 1304, // .xls older than Excel 5 (BIFF2 to BIFF4)
    TextNotWorkbook = 1305,          // text, CSV or a web page saved with a workbook extension
    DamagedLegacyWorkbook = 1306,    // broken compound file or workbook stream
    Internal = 1900,
};

class SpreadsheetError : public std::runtime_error {
public:
    SpreadsheetError(ErrorCode code, const std::string& description)
        : std::runtime_error(description), code_(code) {}

    ErrorCode code() const { return code_; }
    // Always greater than zero.
    int number() const { return static_cast<int>(code_); }
    std::string description() const { return what(); }

private:
    ErrorCode code_;
};

} // namespace quillory::spreadsheet
