#pragma once
// What kind of file a path holds, judged from its first bytes, so that a file the package
// reader cannot take gets a description that says what it is instead of "not a zip".

#include <filesystem>
#include <string>
#include <string_view>

namespace quillory::spreadsheet::ooxml {

enum class FileFormat {
    ZipPackage,       // a zip: may be a workbook package
    EncryptedPackage, // OLE compound file holding an encrypted (password-protected) package
    LegacyBinary,     // OLE compound file of another kind: a legacy .xls workbook
    Text,             // text, CSV, HTML or XML saved under a workbook name
    Empty,
    Unknown,
};

// Judges bytes already in memory (the whole file or at least its start; an encrypted package is
// only recognised when the bytes include the compound file's directory).
FileFormat DetectFormat(std::string_view bytes);
// Judges a file on disk; throws SpreadsheetError when it cannot be read.
FileFormat DetectFileFormat(const std::filesystem::path& path, const std::string& displayName);

// Throws the SpreadsheetError that describes a file of this format given to the package reader;
// returns for ZipPackage.
void RequireZipPackage(FileFormat format, const std::string& displayName);

} // namespace quillory::spreadsheet::ooxml
