#include "spreadsheet/ooxml/sheetcopy/CopyDecisions.h"

#include "spreadsheet/SpreadsheetError.h"
#include "spreadsheet/ooxml/SourcePackage.h"

#include <algorithm>
#include <utility>

namespace quillory::spreadsheet::ooxml {

namespace {

constexpr std::string_view kVbaProjectRelationshipKind = "vbaProject";
// Extensions of workbook kinds other than the one the result is.
constexpr std::string_view kOtherWorkbookExtensions[] = {".xlsm", ".xltx", ".xltm", ".xlam",
                                                         ".xlsb", ".xls",  ".ods"};

// Kinds of content with their own decision, as the copy names them, the sentence a user reads for
// each, and whether what the sheet showed is kept as values.
struct Decision {
    std::string_view what;
    std::string_view sentence;
    bool keptAsValues;
};

constexpr Decision kDecisions[] = {
    {"data connections",
     "Data imported through a query or connection is kept as values: it no longer refreshes "
     "from its source.",
     true},
    {"data connections (the table keeps its data)",
     "A table filled by a query or connection is kept as a plain table with its data: it no "
     "longer refreshes from its source.",
     true},
    {"the spilling of dynamic-array formulas (they compute as ordinary array formulas)",
     "Spilling (dynamic-array) formulas could not keep their spill settings and compute as "
     "ordinary array formulas.",
     false},
    {"pictures and data types inside cells (the cells keep the values they showed)",
     "Pictures and data types inside cells were not copied; those cells keep the value they "
     "showed as text or an error value.",
     true},
};

const Decision* DecisionFor(std::string_view what) {
    for (const Decision& decision : kDecisions) {
        if (decision.what == what) {
            return &decision;
        }
    }
    return nullptr;
}

} // namespace

std::string NotCarriedSentence(std::string_view what) {
    if (const Decision* decision = DecisionFor(what)) {
        return std::string(decision->sentence);
    }
    return "Not copied: " + std::string(what) + ".";
}

ReportKind NotCarriedKind(std::string_view what) {
    const Decision* decision = DecisionFor(what);
    return decision != nullptr && decision->keptAsValues ? ReportKind::FormulaAsValue
                                                         : ReportKind::PartNotCarried;
}

void RequireWorkbookResultName(const std::filesystem::path& file) {
    std::string extension = file.extension().string();
    std::transform(extension.begin(), extension.end(), extension.begin(), [](unsigned char c) {
        return static_cast<char>(c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c);
    });
    if (std::find(std::begin(kOtherWorkbookExtensions), std::end(kOtherWorkbookExtensions),
                  extension) != std::end(kOtherWorkbookExtensions)) {
        throw SpreadsheetError(ErrorCode::OutputNotWritable,
                               "'" + file.filename().string() +
                                   "' cannot be written: the merged workbook is an .xlsx "
                                   "workbook (macros are never carried), and spreadsheet "
                                   "programs refuse one named " +
                                   extension + ". Choose a name ending in .xlsx.");
    }
}

bool HasMacros(const SourcePackage& package) {
    return package.workbookRelationships().firstOfKind(kVbaProjectRelationshipKind) != nullptr;
}

} // namespace quillory::spreadsheet::ooxml
