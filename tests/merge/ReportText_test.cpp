// The merge report as the user reads it: grouped by workbook and kind, one line per reason with
// its sheets, and a short message that stays short and is empty when nothing differs.

#include "merge/ReportText.h"

#include <algorithm>
#include <gtest/gtest.h>

namespace quillory::merge {
namespace {

using spreadsheet::MergeReport;
using spreadsheet::ReportKind;

const char* kTheme = "Colours were fixed for another theme.";

TEST(ReportText, GroupsByWorkbookThenKindWithOneLinePerReason) {
    MergeReport report;
    // Items arrive per sheet, kinds and workbooks interleaved.
    for (const char* sheet : {"Sales", "Costs", "Summary"}) {
        report.add({ReportKind::Adjusted, "b.xlsx", sheet, sheet, kTheme});
        report.add({ReportKind::SheetRenamed, "b.xlsx", sheet, std::string(sheet) + " (2)", "x"});
        report.add({ReportKind::PartNotCarried, "b.xlsx", sheet, sheet, "Macros were left out."});
    }
    report.add({ReportKind::FormulaAsValue, "a.xlsx", "Pivot", "Pivot", "Pivot kept as values."});
    report.add({ReportKind::MayLookDifferent, "b.xlsx", "Costs", "Costs (2)", "Dates shifted."});
    report.add({ReportKind::Converted, "b.xlsx", "", "", "b.xlsx was converted."});
    report.add({ReportKind::NameChanged, "b.xlsx", "Sales", "Sales (2)", "Table T renamed."});
    report.add({ReportKind::Adjusted, "b.xlsx", "Sales", "Sales (2)", "Widths converted."});
    report.add({ReportKind::PartNotCarried, "", "", "", "A chart sheet was not written."});

    EXPECT_EQ(ReportDetails(report),
              "b.xlsx\n"
              "  Not carried over:\n"
              "  - Sales, Costs, Summary: Macros were left out.\n"
              "  May look different:\n"
              "  - Costs: Dates shifted.\n"
              "  - b.xlsx was converted.\n"
              "  Renamed:\n"
              "  - Sales, Costs, Summary renamed to Sales (2), Costs (2), Summary (2), as the "
              "result already had sheets of those names.\n"
              "  - Sales: Table T renamed.\n"
              "  Adjusted to look the same (Sales, Costs, Summary): Colours were fixed for another "
              "theme. Widths converted.\n"
              "\n"
              "a.xlsx\n"
              "  Kept as values:\n"
              "  - Pivot: Pivot kept as values.\n"
              "\n"
              "The merged workbook\n"
              "  Not carried over:\n"
              "  - A chart sheet was not written.\n");
    EXPECT_EQ(ReportMessage(report), "The merged workbook differs from its sources:\n"
                                     "- Not carried over: 2 notes, in 2 workbooks\n"
                                     "- Kept as values: 1 note, in 1 workbook\n"
                                     "- May look different: 2 notes, in 1 workbook\n"
                                     "- Renamed: 3 sheets and 1 table or name, in 1 workbook\n"
                                     "Show Details... lists every note, by workbook.");
}

TEST(ReportText, NoDetailsWhenNothingDiffersAndAShortMessageHoweverLongTheReport) {
    EXPECT_EQ(ReportDetails({}), "");
    MergeReport large;
    for (int book = 0; book < 40; ++book) {
        const std::string file = "book" + std::to_string(book) + ".xlsx";
        for (int kind = 0; kind <= static_cast<int>(ReportKind::Adjusted); ++kind) {
            large.add({static_cast<ReportKind>(kind), file, "S", "S (2)",
                       "Reason " + std::to_string(kind) + " of " + file});
        }
    }
    const std::string message = ReportMessage(large);
    EXPECT_LE(static_cast<std::size_t>(std::count(message.begin(), message.end(), '\n') + 1),
              kMaxReportMessageLines)
        << message;
    EXPECT_NE(message.find("May look different: 80 notes, in 40 workbooks"), std::string::npos)
        << message;
}

} // namespace
} // namespace quillory::merge
