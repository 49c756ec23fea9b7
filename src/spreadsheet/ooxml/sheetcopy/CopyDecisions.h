#pragma once
// What the merge decided about the parts of a source that a result cannot carry as they were
// (query tables, connections, macros), in the words the merge
// report gives a user: what they will see in the result, and what no longer works.

#include "spreadsheet/MergeReport.h"

#include <filesystem>
#include <string>
#include <string_view>

namespace quillory::spreadsheet::ooxml {

class SourcePackage;

// One report sentence for a kind of content left out of a copied sheet ("data connections",
// ...): a plain explanation for the kinds with a decision of their own, "Not copied: <what>."
// for the rest.
std::string NotCarriedSentence(std::string_view what);
// The report kind of that sentence: kept as values where the cells keep what they showed (pivot
// tables, queries), not carried over otherwise.
ReportKind NotCarriedKind(std::string_view what);

// Whether the workbook holds macros (a VBA project), which an .xlsx result never carries.
bool HasMacros(const SourcePackage& package);

// Said once per source workbook that has macros.
inline constexpr std::string_view kMacrosNotCarried =
    "The workbook's macros (VBA code) were not copied: the merged workbook is an .xlsx file, "
    "which cannot hold macros. Buttons or shapes that ran a macro do nothing in the result.";

// The result is always an .xlsx workbook: a name with the extension of another workbook kind
// (.xlsm, .xltx, .xls, ...) would give a file spreadsheet programs refuse to open. Throws
// SpreadsheetError naming the file for such a name.
void RequireWorkbookResultName(const std::filesystem::path& file);

} // namespace quillory::spreadsheet::ooxml
