// The structural checker must accept packages written by independent writers and name the fault
// in a package broken in exactly one way.

#include "support/PackageChecker.h"
#include "support/TempDir.h"

#include <algorithm>
#include <cstdlib>
#include <gtest/gtest.h>
#include <stdexcept>

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

// The value of the first attribute of that name in an XML text.
std::string attributeValue(const std::string& xml, const std::string& name) {
    const auto start = xml.find(" " + name + "=\"");
    if (start == std::string::npos) {
        throw std::runtime_error("no attribute " + name);
    }
    const auto value = start + name.size() + 3;
    return xml.substr(value, xml.find('"', value) - value);
}

class PackageCheckerTest : public ::testing::Test {
protected:
    // tables.xlsx: two sheets, two tables, styles with a dxf, shared strings.
    // names.xlsx: three sheets, global and sheet-scoped names.
    PackageEntries fixture(const std::string& name) {
        return PackageEntries::read(writeFixture(name, dir_.path()));
    }

    // The mutated package must be reported, with the fragment in one of its problems.
    void expectProblem(const PackageEntries& package, const std::string& fragment) {
        const auto problems = checkPackage(package);
        EXPECT_TRUE(mentions(problems, fragment))
            << "expected a problem mentioning '" << fragment << "', got:\n"
            << joined(problems);
    }

    TempDir dir_;
};

TEST_F(PackageCheckerTest, AcceptsEveryFixtureWorkbookWrittenByLibxlsxwriter) {
    for (const auto& file : writeAllFixtures(dir_.path())) {
        const auto problems = checkPackageFile(file);
        EXPECT_TRUE(problems.empty()) << file.filename() << ":\n" << joined(problems);
    }
}

TEST_F(PackageCheckerTest, AcceptsWorkbooksWrittenByLibreOffice) {
    if (std::system("command -v soffice >/dev/null 2>&1") != 0) {
        GTEST_SKIP() << "LibreOffice (soffice) is not installed";
    }
    const std::vector<std::string> names = {"formats.xlsx", "names.xlsx", "tables.xlsx",
                                            "rules.xlsx"};
    std::filesystem::create_directories(dir_.path() / "in");
    std::string inputs;
    for (const auto& name : names) {
        inputs += " '" + writeFixture(name, dir_.path() / "in").string() + "'";
    }
    // One LibreOffice run for all files, with its own profile folder.
    const auto out = dir_.path() / "out";
    const std::string command = "soffice -env:UserInstallation=file://" +
                                (dir_.path() / "profile").string() +
                                " --headless --norestore --convert-to xlsx --outdir '" +
                                out.string() + "'" + inputs + " >/dev/null 2>&1";
    ASSERT_EQ(std::system(command.c_str()), 0) << command;
    for (const auto& name : names) {
        const auto file = out / name;
        ASSERT_TRUE(std::filesystem::exists(file)) << "LibreOffice wrote no " << name;
        const auto problems = checkPackageFile(file);
        EXPECT_TRUE(problems.empty()) << "LibreOffice's " << name << ":\n" << joined(problems);
    }
}

TEST_F(PackageCheckerTest, ReportsAnUnreadableArchive) {
    const auto file = dir_.write("broken.xlsx", "PK\x03\x04 this is not a zip archive");
    EXPECT_FALSE(checkPackageFile(file).empty());
}

TEST_F(PackageCheckerTest, ContentTypes) {
    auto noOverride = fixture("tables.xlsx");
    noOverride.replaceOnce("[Content_Types].xml",
                           "<Override PartName=\"/xl/worksheets/sheet2.xml\"",
                           "<Override PartName=\"/xl/unused/gone.xml\"");
    expectProblem(noOverride,
                  "'xl/worksheets/sheet2.xml' does not have the worksheet content type");
    expectProblem(noOverride, "Override for missing part 'xl/unused/gone.xml'");

    auto noDefault = fixture("tables.xlsx");
    noDefault.set("xl/media/image1.png", "not really a picture");
    expectProblem(noDefault, "part 'xl/media/image1.png' has no content type");

    auto macroWorkbook = fixture("tables.xlsx");
    macroWorkbook.replaceOnce(
        "[Content_Types].xml",
        "application/vnd.openxmlformats-officedocument.spreadsheetml.sheet.main+xml",
        "application/vnd.ms-excel.sheet.macroEnabled.main+xml");
    expectProblem(macroWorkbook, "not the .xlsx workbook type");

    auto noTypes = fixture("tables.xlsx");
    noTypes.remove("[Content_Types].xml");
    expectProblem(noTypes, "[Content_Types].xml is missing");
}

TEST_F(PackageCheckerTest, Relationships) {
    auto missingTarget = fixture("tables.xlsx");
    missingTarget.remove("xl/tables/table2.xml");
    expectProblem(missingTarget, "targets missing part 'xl/tables/table2.xml'");

    auto unknownId = fixture("tables.xlsx");
    unknownId.replaceOnce("xl/workbook.xml", "r:id=\"rId2\"", "r:id=\"rId9\"");
    expectProblem(unknownId, "r:id=\"rId9\" that its relationships do not define");

    auto unknownTablePart = fixture("tables.xlsx");
    unknownTablePart.replaceOnce("xl/worksheets/sheet2.xml", "<tablePart r:id=\"rId1\"/>",
                                 "<tablePart r:id=\"rId7\"/>");
    expectProblem(unknownTablePart, "'xl/worksheets/sheet2.xml' uses r:id=\"rId7\"");

    auto duplicateId = fixture("tables.xlsx");
    duplicateId.replaceOnce("xl/_rels/workbook.xml.rels", "Id=\"rId3\"", "Id=\"rId2\"");
    expectProblem(duplicateId, "uses relationship id 'rId2' twice");

    auto noWorkbook = fixture("tables.xlsx");
    noWorkbook.replaceOnce("_rels/.rels", "relationships/officeDocument",
                           "relationships/somethingElse");
    expectProblem(noWorkbook, "no officeDocument relationship");
}

TEST_F(PackageCheckerTest, SheetNamesAndIds) {
    auto sameNameOtherCase = fixture("tables.xlsx");
    sameNameOtherCase.replaceOnce("xl/workbook.xml", "name=\"Stock\"", "name=\"SALES\"");
    expectProblem(sameNameOtherCase, "sheet name 'SALES' twice");

    auto forbiddenCharacter = fixture("tables.xlsx");
    forbiddenCharacter.replaceOnce("xl/workbook.xml", "name=\"Stock\"", "name=\"Stock/2\"");
    expectProblem(forbiddenCharacter, "holds one of");

    auto tooLong = fixture("tables.xlsx");
    tooLong.replaceOnce("xl/workbook.xml", "name=\"Stock\"",
                        "name=\"Stock levels per warehouse and day\"");
    expectProblem(tooLong, "is not 1 to 31 characters long");

    auto apostrophe = fixture("tables.xlsx");
    apostrophe.replaceOnce("xl/workbook.xml", "name=\"Stock\"", "name=\"'Stock\"");
    expectProblem(apostrophe, "begins or ends with an apostrophe");

    auto sameSheetId = fixture("tables.xlsx");
    sameSheetId.replaceOnce("xl/workbook.xml", "sheetId=\"2\"", "sheetId=\"1\"");
    expectProblem(sameSheetId, "uses sheetId 1 twice");
}

TEST_F(PackageCheckerTest, SelectedAndActiveTab) {
    auto twoSelected = fixture("tables.xlsx");
    twoSelected.replaceOnce("xl/worksheets/sheet2.xml", "<sheetView workbookViewId=\"0\"",
                            "<sheetView tabSelected=\"1\" workbookViewId=\"0\"");
    expectProblem(twoSelected, "2 sheets are selected tabs");

    auto noneSelected = fixture("tables.xlsx");
    noneSelected.replaceOnce("xl/worksheets/sheet1.xml", "tabSelected=\"1\" ", "");
    expectProblem(noneSelected, "0 sheets are selected tabs");

    auto hiddenActive = fixture("tables.xlsx");
    hiddenActive.replaceOnce("xl/workbook.xml", "r:id=\"rId1\"/>",
                             "r:id=\"rId1\" state=\"hidden\"/>");
    expectProblem(hiddenActive, "activeTab names hidden sheet 'Sales'");
    expectProblem(hiddenActive, "hidden sheet 'Sales' is a selected tab");

    auto activeOutside = fixture("tables.xlsx");
    activeOutside.replaceOnce("xl/workbook.xml", "<workbookView ",
                              "<workbookView activeTab=\"5\" ");
    expectProblem(activeOutside, "activeTab=5 names no sheet");
}

TEST_F(PackageCheckerTest, TablesAndDefinedNames) {
    auto sameTableId = fixture("tables.xlsx");
    sameTableId.replaceOnce("xl/tables/table2.xml", "id=\"2\"", "id=\"1\"");
    expectProblem(sameTableId, "table id 1 is used twice");

    auto sameTableName = fixture("tables.xlsx");
    sameTableName.replaceOnce("xl/tables/table2.xml",
                              "name=\"StockTable\" displayName=\"StockTable\"",
                              "name=\"salestable\" displayName=\"salestable\"");
    expectProblem(sameTableName, "table name 'salestable' is used twice");

    auto nameClash = fixture("tables.xlsx");
    nameClash.replaceOnce("xl/workbook.xml", "</sheets>",
                          "</sheets><definedNames><definedName name=\"StockTable\">"
                          "Stock!$A$1</definedName></definedNames>");
    expectProblem(nameClash, "defined name 'StockTable' clashes with table");

    auto columnCount = fixture("tables.xlsx");
    columnCount.replaceOnce("xl/tables/table2.xml", "ref=\"A1:B4\"", "ref=\"A1:C4\"");
    expectProblem(columnCount, "spans 3 columns but has 2 tableColumns");

    auto duplicateName = fixture("names.xlsx");
    duplicateName.replaceOnce("xl/workbook.xml", "<definedName name=\"Rate\">",
                              "<definedName name=\"ITEMS\">");
    expectProblem(duplicateName, "defines name 'ITEMS' twice in one scope");

    auto badScope = fixture("names.xlsx");
    badScope.replaceOnce("xl/workbook.xml", "name=\"LocalTotal\" localSheetId=\"2\"",
                         "name=\"LocalTotal\" localSheetId=\"3\"");
    expectProblem(badScope, "localSheetId 3 but there are 3 sheets");

    // The same name in two scopes is allowed.
    auto twoScopes = fixture("names.xlsx");
    twoScopes.replaceOnce("xl/workbook.xml", "name=\"Here\" localSheetId=\"1\"",
                          "name=\"LocalTotal\" localSheetId=\"1\"");
    EXPECT_TRUE(checkPackage(twoScopes).empty()) << joined(checkPackage(twoScopes));
}

TEST_F(PackageCheckerTest, IndexesIntoStylesAndSharedStrings) {
    auto cellStyle = fixture("tables.xlsx");
    cellStyle.replaceOnce("xl/worksheets/sheet1.xml", "<c r=\"C2\" s=\"1\">",
                          "<c r=\"C2\" s=\"2\">");
    expectProblem(cellStyle, "cell C2 uses cell format 2 but 2 are defined");

    auto sharedString = fixture("tables.xlsx");
    const std::string strings =
        attributeValue(*sharedString.find("xl/sharedStrings.xml"), "uniqueCount");
    sharedString.replaceOnce("xl/worksheets/sheet1.xml", "<c r=\"A2\" t=\"s\"><v>0</v>",
                             "<c r=\"A2\" t=\"s\"><v>" + strings + "</v>");
    expectProblem(sharedString,
                  "cell A2 uses shared string '" + strings + "' but there are " + strings);

    auto font = fixture("tables.xlsx");
    font.replaceOnce("xl/styles.xml", "<xf numFmtId=\"164\" fontId=\"0\"",
                     "<xf numFmtId=\"164\" fontId=\"7\"");
    expectProblem(font, "fontId=7 is out of range");

    auto numberFormat = fixture("tables.xlsx");
    numberFormat.replaceOnce("xl/styles.xml", "<xf numFmtId=\"164\" fontId=\"0\"",
                             "<xf numFmtId=\"170\" fontId=\"0\"");
    expectProblem(numberFormat, "uses number format id 170 that is neither built in nor defined");

    auto tableDxf = fixture("tables.xlsx");
    const std::string* table = tableDxf.find("xl/tables/table1.xml");
    ASSERT_NE(table, nullptr);
    ASSERT_NE(table->find("dataDxfId=\"0\""), std::string::npos);
    tableDxf.replaceOnce("xl/tables/table1.xml", "dataDxfId=\"0\"", "dataDxfId=\"4\"");
    expectProblem(tableDxf, "uses differential format 4 but 1 are defined");

    auto conditionalDxf = fixture("rules.xlsx");
    conditionalDxf.replaceOnce("xl/worksheets/sheet1.xml", "dxfId=\"0\"", "dxfId=\"9\"");
    expectProblem(conditionalDxf, "uses differential format 9");

    // A leading 9 makes each count wrong whatever the fixture holds.
    auto count = fixture("tables.xlsx");
    const std::string cells = attributeValue(*count.find("xl/sharedStrings.xml"), "count");
    count.replaceOnce("xl/sharedStrings.xml", " count=\"", " count=\"9");
    expectProblem(count, "count=9" + cells + " but " + cells + " cells use shared strings");

    auto uniqueCount = fixture("tables.xlsx");
    uniqueCount.replaceOnce("xl/sharedStrings.xml", "uniqueCount=\"", "uniqueCount=\"9");
    expectProblem(uniqueCount, "uniqueCount=9" + strings + " but it holds " + strings + " strings");
}

TEST_F(PackageCheckerTest, WorksheetElementRowAndCellOrder) {
    auto elements = fixture("tables.xlsx");
    elements.replaceOnce("xl/worksheets/sheet2.xml", "<sheetFormatPr defaultRowHeight=\"15\"/>",
                         "");
    elements.replaceOnce("xl/worksheets/sheet2.xml", "</sheetData>",
                         "</sheetData><sheetFormatPr defaultRowHeight=\"15\"/>");
    expectProblem(elements, "element <sheetFormatPr> is out of order (after <sheetData>)");

    auto twice = fixture("tables.xlsx");
    twice.replaceOnce("xl/worksheets/sheet2.xml", "<sheetData>",
                      "<sheetData></sheetData><sheetData>");
    expectProblem(twice, "element <sheetData> is out of order");

    auto unknown = fixture("tables.xlsx");
    unknown.replaceOnce("xl/worksheets/sheet2.xml", "<sheetData>", "<sheetDate/><sheetData>");
    expectProblem(unknown, "unknown element <sheetDate>");

    auto rows = fixture("tables.xlsx");
    rows.replaceOnce("xl/worksheets/sheet2.xml", "<row r=\"3\"", "<row r=\"1\"");
    expectProblem(rows, "row 1 comes after row 2");

    auto cells = fixture("formulas.xlsx");
    cells.replaceOnce("xl/worksheets/sheet1.xml", "<c r=\"B1\"", "<c r=\"A1\"");
    expectProblem(cells, "cell A1 is not after the cell before it");

    auto merges = fixture("layout.xlsx");
    merges.replaceOnce("xl/worksheets/sheet1.xml", "<mergeCell ref=\"F3:G6\"/>",
                       "<mergeCell ref=\"F3:G6\"/><mergeCell ref=\"G5:H9\"/>");
    expectProblem(merges, "overlapping merged ranges");
}

TEST_F(PackageCheckerTest, ForbiddenPartsAndXmlDeclarations) {
    auto calcChain = fixture("tables.xlsx");
    calcChain.set("xl/calcChain.xml", "<?xml version=\"1.0\"?><calcChain xmlns=\"http://"
                                      "schemas.openxmlformats.org/spreadsheetml/2006/main\"/>");
    expectProblem(calcChain, "holds a calcChain part");

    auto macros = fixture("tables.xlsx");
    macros.set("xl/vbaProject.bin", "binary");
    expectProblem(macros, "holds a macro project");

    auto doctype = fixture("tables.xlsx");
    doctype.replaceOnce("xl/tables/table2.xml", "<table ",
                        "<!DOCTYPE table [<!ENTITY a \"aaaa\">]><table ");
    expectProblem(doctype, "'xl/tables/table2.xml' is not well-formed");

    auto malformed = fixture("tables.xlsx");
    malformed.replaceOnce("xl/worksheets/sheet2.xml", "</sheetData>", "</sheetDat>");
    expectProblem(malformed, "'xl/worksheets/sheet2.xml' is not well-formed");
}

} // namespace
} // namespace quillory::testing

#endif // QUILLORY_HAVE_XLSXWRITER
