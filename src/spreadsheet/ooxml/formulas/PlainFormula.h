#pragma once
// Most formulas of a sheet are arithmetic on cells of their own sheet ("E3*F3",
// "IF(H3=0,0,(H3-G3)/H3)"): nothing in them names a sheet, table, defined name or other
// workbook, so no copy can change them. Recognising them with a small strict grammar lets the
// sheet copy skip the full tokenizer for them; anything outside that grammar takes the full path.

#include <string_view>

namespace quillory::spreadsheet::ooxml {

// True only for a formula built from numbers, quoted text, A1 cell references and ranges
// (upper case, within the sheet's limits), + - * / ^ & = <> < > <= >=, parentheses and calls
// of upper-case function names with at least one argument (INDIRECT and HYPERLINK excluded:
// their text may name sheets). No spaces, no sheet prefixes, no names.
bool IsSelfContainedFormula(std::string_view formula);

} // namespace quillory::spreadsheet::ooxml
