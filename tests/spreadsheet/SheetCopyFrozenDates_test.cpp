// A formula of a source with the other date system that is kept as its value (it refers to a
// sheet not in the result) becomes a constant date: it is shifted like any other, or it would
// show a date four years off for good.

#include "EngineTestSupport.h"

#include <gtest/gtest.h>

namespace quillory::testing {
namespace {

TEST(SheetCopyFrozenDates, FormulaKeptAsValueIsShiftedLikeAConstantDate) {
    TempDir dir;
    MiniWorkbook base;
    base.sheets = {MiniSheet("Base")};
    MiniWorkbook old;
    old.date1904 = true;
    const std::string cells = "<sheetData><row r=\"1\">"
                              "<c r=\"A1\" s=\"2\"><f>Other!A1</f><v>1000</v></c>"
                              "<c r=\"B1\" s=\"2\"><f>C1+1</f><v>1001</v></c>"
                              "<c r=\"C1\" s=\"2\"><v>1000</v></c>"
                              "</row></sheetData>";
    old.sheets = {MiniSheet("Dates", cells), MiniSheet("Other")};
    const auto output = dir / "merged.xlsx";
    const auto report = MergeInto(output, {{WriteBook(dir, "base.xlsx", base), "Base"},
                                           {WriteBook(dir, "old.xlsx", old), "Dates"}});

    const PackageEntries package = PackageEntries::read(output);
    const auto sheet = PartTree(package, "xl/worksheets/sheet2.xml");
    const auto* frozen = FindElement(sheet, "c", "r", "A1");
    ASSERT_NE(frozen, nullptr);
    EXPECT_EQ(frozen->child("f"), nullptr) << "the formula cannot compute in the result";
    EXPECT_EQ(frozen->child("v")->textContent(), "2462");
    EXPECT_EQ(FindElement(sheet, "c", "r", "C1")->child("v")->textContent(), "2462");
    EXPECT_EQ(FindElement(sheet, "c", "r", "B1")->child("v")->textContent(), "1001")
        << "a live formula computes its own result";
    EXPECT_TRUE(ReportHas(report, spreadsheet::ReportKind::MayLookDifferent, "2 date cell(s)"));
}

} // namespace
} // namespace quillory::testing
