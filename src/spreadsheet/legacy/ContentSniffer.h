#pragma once
// What a file holds, judged from its first bytes, so that a file saved with a workbook extension
// but holding something else gets a description that says what it really is.

#include <string_view>

namespace quillory::spreadsheet::legacy {

enum class ContentKind {
    Empty,
    CompoundFile,   // legacy workbook, encrypted package, or another compound document
    ZipPackage,     // .xlsx and its kin, .xlsb, .ods
    WorkbookStream, // a bare BIFF5/BIFF8 workbook stream outside a compound file
    OldBiff,        // Excel 2.x to 4.0 (BIFF2 to BIFF4)
    WebPage,        // HTML, which several programs save as ".xls"
    XmlSpreadsheet, // the XML spreadsheet format of 2002-2003
    Xml,
    Text, // CSV, tab-separated or other plain text
    Unknown,
};

// How many leading bytes SniffContent looks at.
inline constexpr std::size_t kSniffLength = 2048;

ContentKind SniffContent(std::string_view firstBytes);

} // namespace quillory::spreadsheet::legacy
