// The structural checker must accept packages written by independent writers and name the fault
// in a package broken in exactly one way.

#include "support/PackageChecker.h"
#include "support/TempDir.h"

#include <algorithm>
#include <gtest/gtest.h>

#if QUILLORY_HAVE_XLSXWRITER
#include "support/Fixtures.h"

namespace quillory::testing {
namespace {

std::string joined(const std::vector<std::string>& problems) {
    std::string text;
    for (const auto& problem : problems) {
        text += "  " + problem + "\n";
    }
    return text;
}

bool mentions(const std::vector<std::string>& problems, const std::string& fragment) {
    return std::any_of(problems.begin(), problems.end(), [&](const std::string& problem) {
        return problem.find(fragment) != std::string::npos;
    });
}

class PackageCheckerTest : public ::testing::Test {
protected:
    TempDir dir_;
};

TEST_F(PackageCheckerTest, AcceptsEveryFixtureWorkbookWrittenByLibxlsxwriterNotABrokenArchive) {
    for (const auto& file : writeAllFixtures(dir_.path())) {
        const auto problems = checkPackageFile(file);
        EXPECT_TRUE(problems.empty()) << file.filename() << ":\n" << joined(problems);
    }
    const auto file = dir_.write("broken.xlsx", "PK\x03\x04 this is not a zip archive");
    EXPECT_FALSE(checkPackageFile(file).empty());
}

// A fixture broken one way (tables.xlsx: two sheets, two tables, styles with a dxf, shared
// strings; names.xlsx: three sheets, global and sheet-scoped names): `from` replaced by `to` in
// `part` (without `from`, the part's bytes set to `to`; without either, the part removed), and what
// the report must say about it.
struct Breakage {
    const char* fixture;
    const char* part;
    const char* from;
    const char* to;
    const char* expected;
    const char* alsoExpected = nullptr;
};

constexpr const char* kTables = "tables.xlsx";
constexpr const char* kWorkbook = "xl/workbook.xml";
constexpr const char* kSheet1 = "xl/worksheets/sheet1.xml";
constexpr const char* kSheet2 = "xl/worksheets/sheet2.xml";

const Breakage kBreakages[] = {
    // Content types.
    {kTables, "[Content_Types].xml", "<Override PartName=\"/xl/worksheets/sheet2.xml\"",
     "<Override PartName=\"/xl/unused/gone.xml\"",
     "'xl/worksheets/sheet2.xml' does not have the worksheet content type",
     "Override for missing part 'xl/unused/gone.xml'"},
    {kTables, "[Content_Types].xml",
     "application/vnd.openxmlformats-officedocument.spreadsheetml.sheet.main+xml",
     "application/vnd.ms-excel.sheet.macroEnabled.main+xml", "not the .xlsx workbook type"},
    {kTables, "xl/tables/table2.xml", nullptr, nullptr,
     "targets missing part 'xl/tables/table2.xml'"},
    {kTables, kWorkbook, "r:id=\"rId2\"", "r:id=\"rId9\"",
     "r:id=\"rId9\" that its relationships do not define"},
    {kTables, "xl/_rels/workbook.xml.rels", "Id=\"rId3\"", "Id=\"rId2\"",
     "uses relationship id 'rId2' twice"},
    {kTables, kWorkbook, "name=\"Stock\"", "name=\"SALES\"", "sheet name 'SALES' twice"},
    {kTables, kWorkbook, "name=\"Stock\"", "name=\"Stock/2\"", "holds one of"},
    {kTables, kWorkbook, "name=\"Stock\"", "name=\"Stock levels per warehouse and day\"",
     "is not 1 to 31 characters long"},
    {kTables, kWorkbook, "sheetId=\"2\"", "sheetId=\"1\"", "uses sheetId 1 twice"},
    // Selected and active tab.
    {kTables, kSheet2, "<sheetView workbookViewId=\"0\"",
     "<sheetView tabSelected=\"1\" workbookViewId=\"0\"", "2 sheets are selected tabs"},
    {kTables, kWorkbook, "r:id=\"rId1\"/>", "r:id=\"rId1\" state=\"hidden\"/>",
     "activeTab names hidden sheet 'Sales'", "hidden sheet 'Sales' is a selected tab"},
    {kTables, "xl/tables/table2.xml", "id=\"2\"", "id=\"1\"", "table id 1 is used twice"},
    {kTables, "xl/tables/table2.xml", "name=\"StockTable\" displayName=\"StockTable\"",
     "name=\"salestable\" displayName=\"salestable\"", "table name 'salestable' is used twice"},
    {kTables, kWorkbook, "</sheets>",
     "</sheets><definedNames><definedName name=\"StockTable\">Stock!$A$1</definedName>"
     "</definedNames>",
     "defined name 'StockTable' clashes with table"},
    {"names.xlsx", kWorkbook, "<definedName name=\"Rate\">", "<definedName name=\"ITEMS\">",
     "defines name 'ITEMS' twice in one scope"},
    {"names.xlsx", kWorkbook, "name=\"LocalTotal\" localSheetId=\"2\"",
     "name=\"LocalTotal\" localSheetId=\"3\"", "localSheetId 3 but there are 3 sheets"},
    // Indexes into shared strings (11 of them, used by 14 cells) and styles.
    {kTables, kSheet1, "<c r=\"A2\" t=\"s\"><v>0</v>", "<c r=\"A2\" t=\"s\"><v>11</v>",
     "cell A2 uses shared string '11' but there are 11"},
    {kTables, "xl/sharedStrings.xml", " count=\"14\"", " count=\"914\"",
     "count=914 but 14 cells use shared strings"},
    {kTables, "xl/sharedStrings.xml", "uniqueCount=\"11\"", "uniqueCount=\"911\"",
     "uniqueCount=911 but it holds 11 strings"},
    {kTables, kSheet1, "<c r=\"C2\" s=\"1\">", "<c r=\"C2\" s=\"2\">",
     "cell C2 uses cell format 2 but 2 are defined"},
    {kTables, "xl/styles.xml", "<xf numFmtId=\"164\" fontId=\"0\"",
     "<xf numFmtId=\"164\" fontId=\"7\"", "fontId=7 is out of range"},
    {kTables, "xl/styles.xml", "<xf numFmtId=\"164\" fontId=\"0\"",
     "<xf numFmtId=\"170\" fontId=\"0\"",
     "uses number format id 170 that is neither built in nor defined"},
    {kTables, "xl/tables/table1.xml", "dataDxfId=\"0\"", "dataDxfId=\"4\"",
     "uses differential format 4 but 1 are defined"},
    // Worksheet element, row and cell order.
    {kTables, kSheet2, "</sheetData>", "</sheetData><sheetFormatPr defaultRowHeight=\"15\"/>",
     "element <sheetFormatPr> is out of order (after <sheetData>)"},
    {kTables, kSheet2, "<sheetData>", "<sheetDate/><sheetData>", "unknown element <sheetDate>"},
    {kTables, kSheet2, "<row r=\"3\"", "<row r=\"1\"", "row 1 comes after row 2"},
    {"formulas.xlsx", kSheet1, "<c r=\"B1\"", "<c r=\"A1\"",
     "cell A1 is not after the cell before it"},
    {"layout.xlsx", kSheet1, "<mergeCell ref=\"F3:G6\"/>",
     "<mergeCell ref=\"F3:G6\"/><mergeCell ref=\"G5:H9\"/>", "overlapping merged ranges"},
    // Forbidden parts and unsafe or broken XML.
    {kTables, "xl/calcChain.xml", nullptr,
     "<?xml version=\"1.0\"?><calcChain "
     "xmlns=\"http://schemas.openxmlformats.org/spreadsheetml/2006/main\"/>",
     "holds a calcChain part"},
    {kTables, "xl/vbaProject.bin", nullptr, "binary", "holds a macro project"},
    {kTables, "xl/tables/table2.xml", "<table ", "<!DOCTYPE table [<!ENTITY a \"aaaa\">]><table ",
     "'xl/tables/table2.xml' is not well-formed"},
};

TEST_F(PackageCheckerTest, NamesTheFaultOfAPackageBrokenOneWay) {
    for (const Breakage& breakage : kBreakages) {
        SCOPED_TRACE(breakage.expected);
        auto package = PackageEntries::read(writeFixture(breakage.fixture, dir_.path()));
        if (breakage.from != nullptr) {
            package.replaceOnce(breakage.part, breakage.from, breakage.to);
        } else if (breakage.to != nullptr) {
            package.set(breakage.part, breakage.to);
        } else {
            ASSERT_TRUE(package.remove(breakage.part)) << breakage.part;
        }
        // Each expected fragment in one of the problems reported.
        const auto problems = checkPackage(package);
        for (const char* expected : {breakage.expected, breakage.alsoExpected}) {
            EXPECT_TRUE(expected == nullptr || mentions(problems, expected)) << joined(problems);
        }
    }
}

} // namespace
} // namespace quillory::testing

#endif // QUILLORY_HAVE_XLSXWRITER
