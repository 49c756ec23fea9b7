#pragma once
// What a merge could not carry exactly, per copied sheet, in words a user understands.

#include <string>
#include <vector>

namespace quillory::spreadsheet {

enum class ReportKind {
    SheetRenamed,     // the copy got another name ("Data" -> "Data (2)")
    FormulaAsValue,   // a formula that cannot compute in the result kept its cached value
    NameChanged,      // a table or defined name was renamed
    PartNotCarried,   // something of the sheet was not copied (macros, ActiveX, ...)
    MayLookDifferent, // carried, but may look different (theme colours, ...)
    Converted,        // the source was converted from another format first
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
