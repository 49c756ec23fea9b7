#pragma once
// The workbook part of a conversion of a legacy workbook, read once and handed to each correction
// that needs it: LibreOffice's conversion, which is corrected, and Gnumeric's, which the lost
// charts and names come from.

#include "spreadsheet/ooxml/package/ZipReader.h"
#include "spreadsheet/ooxml/xml/Xml.h"

#include <map>
#include <optional>
#include <string>

namespace quillory::spreadsheet::legacy {

// The conversion being corrected. Throws SpreadsheetError when its workbook part or the
// relationships of that part cannot be read.
struct ConvertedWorkbook {
    std::string part; // as stored
    ooxml::XmlNode tree;
    std::map<std::string, std::string> sheets; // sheet parts by sheet name
    std::optional<std::string> sharedStrings;
};
ConvertedWorkbook ReadConvertedWorkbook(const ooxml::ZipReader& zip, const std::string& fileName);

// The other conversion, whose failures are kept for the notes rather than thrown.
struct OtherWorkbook {
    bool present = false;                          // it has a workbook part
    std::optional<ooxml::XmlNode> tree;            // that part, when it could be read
    std::map<std::string, std::string> worksheets; // worksheet parts by sheet name
    // Why the part, or else its relationships, could not be read.
    std::optional<std::string> failure;
};
OtherWorkbook ReadOtherWorkbook(const ooxml::ZipReader& zip, const std::string& fileName);

} // namespace quillory::spreadsheet::legacy
