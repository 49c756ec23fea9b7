#pragma once
// Puts back into a LibreOffice conversion of a legacy .xls workbook what the conversion loses,
// from the workbook's own records (LegacyFormats): row heights (explicit and default), the font
// names and underline kinds of cells (a font the converting machine lacks comes out as its
// substitute; accounting underlines as plain ones), and "centred across the selection", which
// the conversion turns into merged cells.

#include <filesystem>

namespace quillory::spreadsheet::legacy {

// Rewrites `converted` (the .xlsx made from `source`) in place. Throws SpreadsheetError when the
// source's records cannot be read; `converted` then stays as the conversion wrote it.
void CorrectConvertedPackage(const std::filesystem::path& source,
                             const std::filesystem::path& converted);

} // namespace quillory::spreadsheet::legacy
