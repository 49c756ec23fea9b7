#pragma once
// The names of every table of a source workbook, on any of its sheets: a formula that uses a
// table by its bare name ("=SUM(Sales)") needs to know the name was a table in its source even
// when that table's sheet is not copied, so the formula is kept as its value instead of binding
// to nothing.

#include <set>
#include <string>

namespace quillory::spreadsheet::ooxml {

class SourcePackage;

// Folded (case-insensitive) table names; a table part that cannot be read is left out.
std::set<std::string> SourceTableNames(const SourcePackage& package);

} // namespace quillory::spreadsheet::ooxml
