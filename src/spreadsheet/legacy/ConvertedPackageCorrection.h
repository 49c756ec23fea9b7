#pragma once
// Puts back into a LibreOffice conversion of a legacy .xls workbook what the conversion loses,
// from the workbook's own records (LegacyFormats): row heights (explicit and default), the font
// names and underline kinds of cells (a font the converting machine lacks comes out as its
// substitute; accounting underlines as plain ones), and "centred across the selection", which
// the conversion turns into merged cells; and the charts embedded in worksheets and the defined
// names that the conversion leaves out, with the formulas that use those names, taken from
// another conversion (EmbeddedCharts, LostNames).

#include <filesystem>
#include <functional>
#include <map>
#include <string>

namespace quillory::spreadsheet::legacy {

// Another conversion of the source, that keeps the charts embedded in its worksheets and the
// names it defines, asked for only when `converted` lacks some. Throws SpreadsheetError whose
// description says why none could be made ("Gnumeric, which keeps them, is not installed").
using OtherConversion = std::function<std::filesystem::path()>;

// Rewrites `converted` (the .xlsx made from `source`) in place, and returns a sentence for each
// sheet (by name) whose embedded charts or formulas did not all come over. Throws
// SpreadsheetError when the source's records cannot be read; `converted` then stays as the
// conversion wrote it.
std::map<std::string, std::string> CorrectConvertedPackage(const std::filesystem::path& source,
                                                           const std::filesystem::path& converted,
                                                           const OtherConversion& other);

} // namespace quillory::spreadsheet::legacy
