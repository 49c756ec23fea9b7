#pragma once
// What a merge could not carry exactly, per copied sheet, in words a user understands.

#include <string>
#include <vector>

namespace quillory::spreadsheet {

enum class ReportKind {
    SheetRenamed, // the copy got another name ("Data" -> "Data (2)")
    // Kept as values: a formula, pivot table or query that cannot compute or refresh in the
    // result keeps what it last showed.
    FormulaAsValue,
    NameChanged,      // a table or defined name was renamed
    PartNotCarried,   // something of the sheet was not copied (macros, ActiveX, ...)
    MayLookDifferent, // carried, but the result can look different (dates off by four years, ...)
    Converted,        // the source was converted from another format first
    // Changed so that it looks as in the source: colours resolved for another colour theme,
    // widths converted for another standard font. Nothing the user sees differs.
    Adjusted,
};

struct ReportItem {
    ReportKind kind;
    std::string sourceFile;  // the source workbook's file name
    std::string sourceSheet; // the sheet in the source
    std::string resultSheet; // the copy's name in the result
    std::string message;     // one sentence for the user
};

struct MergeReport {
    std::vector<ReportItem> items;
    bool empty() const { return items.empty(); }
    void add(ReportItem item) { items.push_back(std::move(item)); }
};

} // namespace quillory::spreadsheet
