// What a sheet copy carries and how it remaps what only means something inside its source.

#include "EngineTestSupport.h"

#include <set>

namespace quillory::testing {
namespace {

using spreadsheet::ReportKind;
using spreadsheet::ooxml::XmlNode;

std::string Cell(const std::string& ref, const std::string& inner, const std::string& attrs = "") {
    return "<c r=\"" + ref + "\"" + attrs + ">" + inner + "</c>";
}

std::string Rows(const std::vector<std::string>& rows) {
    std::string xml = "<sheetData>";
    for (std::size_t i = 0; i < rows.size(); ++i) {
        xml += "<row r=\"" + std::to_string(i + 1) + "\">" + rows[i] + "</row>";
    }
    return xml + "</sheetData>";
}

// A second source in the other date system has its date cells shifted, the cached dates of live
// formulas too (a reader that shows cached results would show them four years off) and those of
// formulas kept as values (they would stay four years off for good).
TEST(SheetCopyFormulas, AbsentSheetKeepsCachedValuesSharedGroupsFollowAndDatesShift) {
    TempDir dir;
    MiniWorkbook book;
    book.sheets = {
        {"Calc", Rows({Cell("A1", "<f>Other!B1*2</f><v>42</v>"),
                       Cell("A2", "<f t=\"shared\" ref=\"A2:A3\" si=\"0\">Other!B2</f><v>7</v>") +
                           Cell("B2", "<f>A1+1</f><v>43</v>"),
                       Cell("A3", "<f t=\"shared\" si=\"0\"/><v>8</v>"),
                       Cell("A4", "<f>Other!C1&amp;\"x\"</f><v>tx</v>", " t=\"str\"")})},
        {"Other"}};
    MiniWorkbook old;
    old.date1904 = true;
    old.sheets = {
        {"Dates", Rows({Cell("A1", "<v>1000</v>", " s=\"2\"") + Cell("B1", "<v>1000</v>") +
                        Cell("C1", "<f>A1+1</f><v>1001</v>", " s=\"2\"") +
                        Cell("D1", "<f>Other!A1</f><v>1000</v>", " s=\"2\"")})},
        {"Other"}};
    const MergedPackage result = MergeAndRead(dir, {{WriteBook(dir, "Book.xlsx", book), "Calc"},
                                                    {WriteBook(dir, "old.xlsx", old), "Dates"}});
    const XmlNode sheet = result.sheet(1);
    for (const auto& [ref, value] : {std::pair{"A1", "42"}, {"A2", "7"}, {"A3", "8"}}) {
        EXPECT_EQ(CellText(sheet, ref, "f"), "-") << ref << " still has a formula";
        EXPECT_EQ(CellText(sheet, ref), value);
    }
    EXPECT_EQ(CellText(sheet, "B2", "f"), "A1+1") << "a formula on its own sheet stays";
    // A text result without its formula becomes a constant string.
    EXPECT_EQ(CellText(sheet, "A4", "f"), "-");
    EXPECT_EQ(CellOf(sheet, "A4").attributeOr("t", ""), "s");
    const std::string* sst = result.package.find("xl/sharedStrings.xml");
    ASSERT_NE(sst, nullptr);
    EXPECT_NE(sst->find("<t>tx</t>"), std::string::npos);
    EXPECT_TRUE(ReportHas(result.report, ReportKind::FormulaAsValue, "4 formulas"));

    const XmlNode dates = result.sheet(2);
    EXPECT_EQ(CellText(dates, "A1"), "2462");
    EXPECT_EQ(CellText(dates, "B1"), "1000") << "a plain number is not a date";
    EXPECT_EQ(CellText(dates, "C1"), "2463") << "the cached date of a live formula";
    EXPECT_EQ(CellText(dates, "C1", "f"), "A1+1");
    EXPECT_EQ(CellText(dates, "D1", "f"), "-") << "the formula cannot compute in the result";
    EXPECT_EQ(CellText(dates, "D1"), "2462");
    EXPECT_TRUE(ReportHas(result.report, ReportKind::MayLookDifferent, "3 date cell(s)"));
}

// Three sheets that each say they are the selected tab, the first of them hidden, then the sheets
// of two sources that both define "Rates".
TEST(SheetCopyViews, OneSelectedTabAVisibleActiveSheetAndNamesThatFollowTheirSheet) {
    TempDir dir;
    MiniWorkbook views;
    views.sheets = {{"Hidden", "<sheetData/>", "worksheet", "hidden"}, {"One"}, {"Two"}};
    PackageEntries package = BuildPackage(views);
    for (int n = 1; n <= 3; ++n) {
        package.replaceOnce("xl/worksheets/sheet" + std::to_string(n) + ".xml",
                            "<sheetView workbookViewId=\"0\"/>",
                            "<sheetView tabSelected=\"1\" workbookViewId=\"0\"/><sheetView "
                            "workbookViewId=\"1\"/>");
    }
    package.write(dir / "Views.xlsx");
    MiniWorkbook book;
    book.sheets = {{"Skip"}, {"Report", Rows({Cell("A1", "<f>SUM(Rates)</f><v>3</v>")})}};
    book.definedNames =
        "<definedName name=\"_xlnm.Print_Area\" localSheetId=\"1\">Report!$A$1:$C$9</definedName>"
        "<definedName name=\"Rates\">Report!$B$1:$B$3</definedName>"
        "<definedName name=\"Unused\">Skip!$A$1</definedName>";
    MiniWorkbook other;
    other.sheets = {{"Front", Rows({Cell("A1", "<f>Rates</f><v>0</v>")})}};
    other.definedNames = "<definedName name=\"Rates\">Front!$Z$1</definedName>";
    const MergedPackage result = MergeAndRead(dir, {{dir / "Views.xlsx", "Hidden"},
                                                    {dir / "Views.xlsx", "One"},
                                                    {dir / "Views.xlsx", "Two"},
                                                    {WriteBook(dir, "Other.xlsx", other), "Front"},
                                                    {WriteBook(dir, "Book.xlsx", book), "Report"}});
    int selected = 0;
    for (int n = 1; n <= 5; ++n) {
        const XmlNode sheet = result.sheet(n);
        EXPECT_EQ(CountElements(sheet, "sheetView"), 1);
        if (FindElement(sheet, "sheetView", "tabSelected", "1") != nullptr) {
            ++selected;
            EXPECT_EQ(n, 2) << "the first sheet is hidden: the first visible one is active";
        }
    }
    EXPECT_EQ(selected, 1);
    const XmlNode workbook = PartTree(result.package, "xl/workbook.xml");
    EXPECT_EQ(FindElement(workbook, "workbookView")->attributeOr("activeTab", ""), "1");
    EXPECT_NE(FindElement(workbook, "sheet", "state", "hidden"), nullptr);
    EXPECT_EQ(result.package.find("xl/calcChain.xml"), nullptr);
    EXPECT_NE(FindElement(workbook, "calcPr", "fullCalcOnLoad", "1"), nullptr);

    const XmlNode* printArea = FindElement(workbook, "definedName", "name", "_xlnm.Print_Area");
    ASSERT_NE(printArea, nullptr);
    EXPECT_EQ(printArea->attributeOr("localSheetId", ""), "4");
    EXPECT_EQ(printArea->textContent(), "Report!$A$1:$C$9");
    EXPECT_EQ(FindElement(workbook, "definedName", "name", "Unused"), nullptr);
    // "Rates" of the first source is the workbook name; the second source's becomes local to
    // its copy, so its formula still sums its own range.
    std::multiset<std::string> rates;
    for (const XmlNode* name : workbook.child("definedNames")->childrenNamed("definedName")) {
        if (name->attributeOr("name", "") == "Rates") {
            rates.insert(name->attributeOr("localSheetId", "-") + " " + name->textContent());
        }
    }
    EXPECT_EQ(rates, (std::multiset<std::string>{"- Front!$Z$1", "4 Report!$B$1:$B$3"}));
    EXPECT_TRUE(ReportHas(result.report, ReportKind::NameChanged, "Rates"));
}

// A workbook whose sheet "Feed" holds a table filled by a query over connection 4, with
// `connections` as its connections part; the sheet "Other" stays behind in the merges below.
std::filesystem::path QueryBook(const TempDir& dir, const std::string& file,
                                const std::string& connections) {
    const std::string main = "xmlns=\"" + kMainNs + "\"";
    MiniWorkbook book;
    MiniSheet sheet{
        "Feed", Rows({Cell("A1", "<v>0</v>", " t=\"s\""),
                      Cell("A2", "<v>5</v>") + Cell("B2", "<f>SUM(Feed[Amount])</f><v>5</v>")}) +
                    "<tableParts count=\"1\"><tablePart r:id=\"rId1\"/></tableParts>"};
    sheet.rels = RelationshipTo("rId1", "table", "../tables/table1.xml");
    sheet.parts = {
        {"xl/tables/table1.xml",
         "<table " + main +
             " id=\"1\" name=\"Feed\" displayName=\"Feed\" ref=\"A1:A2\" tableType=\"queryTable\">"
             "<tableColumns count=\"1\"><tableColumn id=\"1\" name=\"Amount\" "
             "queryTableFieldId=\"1\"/></tableColumns></table>"},
        {"xl/tables/_rels/table1.xml.rels",
         RelationshipsXml(RelationshipTo("rId1", "queryTable", "../queryTables/queryTable1.xml"))},
        {"xl/queryTables/queryTable1.xml",
         "<queryTable " + main +
             " name=\"Feed\" connectionId=\"4\" autoFormatId=\"16\"><queryTableRefresh "
             "nextId=\"2\"><queryTableFields count=\"1\"><queryTableField id=\"1\" "
             "name=\"Amount\" tableColumnId=\"1\"/></queryTableFields></queryTableRefresh>"
             "</queryTable>"}};
    book.sheets = {sheet, {"Other"}};
    book.sharedStrings = {"<t>Amount</t>"};
    PackageEntries package = BuildPackage(book);
    const std::string type = "application/vnd.openxmlformats-officedocument.spreadsheetml.";
    AddWorkbookPart(package, "xl/connections.xml", "connections", type + "connections+xml",
                    "<connections " + main + ">" + connections + "</connections>", "rIdC");
    AddOverride(package, "xl/tables/table1.xml", kTableType);
    AddOverride(package, "xl/queryTables/queryTable1.xml", type + "queryTable+xml");
    package.write(dir / file);
    return dir / file;
}

std::string OdbcConnection(const std::string& name, const std::string& dsn,
                           const std::string& extra = {}) {
    return "<connection id=\"4\" name=\"" + name + "\" type=\"1\" refreshedVersion=\"6\" " +
           "saveData=\"1\" odcFile=\"queries\\" + dsn + ".odc\"><dbPr connection=\"DSN=" + dsn +
           ";\" command=\"SELECT amount FROM sales\"/>" + extra + "</connection>";
}

// Two sources whose connections share an id and a name but not what they read: each query table
// keeps refreshing from its own connection, under ids and names of its own in the result; the
// second copy's table is renamed, and its formulas follow.
TEST(SheetCopyQueries, QueryTablesBringTheirConnectionsRenumberedAndRenamed) {
    TempDir dir;
    const std::string parameter = "<parameters count=\"1\"><parameter name=\"p\" sqlType=\"12\" "
                                  "parameterType=\"cell\" cell=\"Feed!$A$2\"/></parameters>";
    const MergedPackage result = MergeAndRead(
        dir, {{QueryBook(dir, "a.xlsx", OdbcConnection("Sales", "North")), "Feed"},
              {QueryBook(dir, "b.xlsx", OdbcConnection("Sales", "South", parameter)), "Feed"}});
    const XmlNode connections = PartTree(result.package, "xl/connections.xml");
    const auto carried = connections.childrenNamed("connection");
    ASSERT_EQ(carried.size(), 2u);
    EXPECT_EQ(carried[0]->attributeOr("id", ""), "1");
    EXPECT_EQ(carried[0]->attributeOr("name", ""), "Sales");
    EXPECT_EQ(carried[0]->child("dbPr")->attributeOr("connection", ""), "DSN=North;");
    EXPECT_EQ(carried[0]->attributeOr("odcFile", ""), (dir / "queries/North.odc").string())
        << "a relative file is anchored at the source's folder";
    EXPECT_EQ(carried[1]->attributeOr("id", ""), "2");
    EXPECT_EQ(carried[1]->attributeOr("name", ""), "Sales 2");
    EXPECT_EQ(carried[1]->child("dbPr")->attributeOr("connection", ""), "DSN=South;");
    EXPECT_EQ(carried[1]->child("parameters")->child("parameter")->attributeOr("cell", ""),
              "'Feed (2)'!$A$2")
        << "a parameter cell follows its renamed sheet";
    EXPECT_EQ(CellText(result.sheet(2), "B2", "f"), "SUM(Feed_2[Amount])");
    EXPECT_TRUE(ReportHas(result.report, ReportKind::NameChanged, "Feed_2"));
    for (const std::string n : {"1", "2"}) {
        const XmlNode table = PartTree(result.package, "xl/tables/table" + n + ".xml");
        EXPECT_EQ(table.attributeOr("name", ""), n == "1" ? "Feed" : "Feed_2");
        EXPECT_EQ(table.attributeOr("tableType", ""), "queryTable");
        EXPECT_EQ(
            table.child("tableColumns")->child("tableColumn")->attributeOr("queryTableFieldId", ""),
            "1");
        const std::string* rels = result.package.find("xl/tables/_rels/table" + n + ".xml.rels");
        ASSERT_NE(rels, nullptr);
        EXPECT_NE(rels->find("../queryTables/queryTable" + n + ".xml"), std::string::npos);
        EXPECT_EQ(PartTree(result.package, "xl/queryTables/queryTable" + n + ".xml")
                      .attributeOr("connectionId", ""),
                  n);
    }
    EXPECT_NE(result.package.find("xl/_rels/workbook.xml.rels")->find("/connections\""),
              std::string::npos);
    EXPECT_TRUE(ReportHas(result.report, ReportKind::NameChanged, "'Sales 2'"));
    EXPECT_FALSE(ReportHas(result.report, ReportKind::FormulaAsValue, "no longer refreshes"));
}

// What cannot come along safely leaves the table a plain table with its data, and says why.
TEST(SheetCopyQueries, ConnectionsThatCannotComeAlongLeaveAPlainTable) {
    const std::string other = "<parameters count=\"1\"><parameter name=\"p\" "
                              "parameterType=\"cell\" cell=\"Other!$A$1\"/></parameters>";
    const struct {
        std::string name;
        std::string connections;
        std::string reason;
    } cases[] = {
        {"damaged", "<connection id=\"4\" name=\"Sales\"><dbPr></connection>", "damaged"},
        {"two with one id", OdbcConnection("A", "A") + OdbcConnection("B", "B"), "damaged"},
        {"missing", "", "missing"},
        {"cube", OdbcConnection("Cube", "C", "<olapPr/>"), "cube"},
        {"parameter left behind", OdbcConnection("Sales", "S", other), "not in the result"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        TempDir dir;
        const MergedPackage result =
            MergeAndRead(dir, {{QueryBook(dir, "q.xlsx", c.connections), "Feed"}});
        const XmlNode table = PartTree(result.package, "xl/tables/table1.xml");
        EXPECT_EQ(table.attribute("tableType"), nullptr);
        EXPECT_EQ(table.child("tableColumns")->child("tableColumn")->attribute("queryTableFieldId"),
                  nullptr);
        EXPECT_EQ(result.package.find("xl/connections.xml"), nullptr);
        EXPECT_EQ(result.package.find("xl/queryTables/queryTable1.xml"), nullptr);
        EXPECT_TRUE(ReportHas(result.report, ReportKind::FormulaAsValue, c.reason));
    }
}

// Parts not carried are dropped and reported. Readers hold a worksheet's children to their order:
// one out of its place is left out, as is a row with an impossible number, but never the cells.
// The copy is written without a namespace-aware parser: a prefix is kept where it is declared
// (also on an inner element, for that element only); an attribute under a prefix nothing declares
// is left out.
TEST(SheetCopyParts, PartsNotCarriedChildrenOutOfPlaceAndUndeclaredPrefixesAreLeftOut) {
    TempDir dir;
    MiniWorkbook book;
    MiniSheet pictures{"Pictures",
                       "<sheetData/><drawing r:id=\"rId1\"/><legacyDrawing r:id=\"rId2\"/>"};
    pictures.rels = RelationshipTo("rId1", "drawing", "../drawings/drawing1.xml") +
                    RelationshipTo("rId2", "vmlDrawing", "../drawings/v.vml") +
                    RelationshipTo("rId3", "comments", "../comments1.xml");
    book.sheets = {pictures,
                   {"Order", "<pageSetup orientation=\"landscape\"/><sheetFormatPr "
                             "defaultRowHeight=\"15\"/><sheetData><row r=\"0\"><c r=\"A0\"><v>1</v>"
                             "</c></row><row r=\"1\"><c r=\"A1\"><v>2</v></c></row></sheetData>"
                             "<cols><col min=\"1\" max=\"1\" width=\"30\"/></cols>"},
                   {"Ns", "<sheetData><row r=\"1\" xmlns:p=\"urn:p\" p:mark=\"1\" zz:x=\"1\">" +
                              Cell("A1", "<v>1</v>", " p:mark=\"2\"") + "</row><row r=\"2\">" +
                              Cell("A2", "<v>2</v>", " p:mark=\"3\"") + "</row></sheetData>"}};
    const auto file = WriteBook(dir, "p.xlsx", book);
    const MergedPackage result =
        MergeAndRead(dir, {{file, "Pictures"}, {file, "Order"}, {file, "Ns"}});
    const XmlNode out = result.sheet(1);
    EXPECT_EQ(FindElement(out, "drawing"), nullptr);
    EXPECT_EQ(FindElement(out, "legacyDrawing"), nullptr);
    EXPECT_EQ(result.package.find("xl/worksheets/_rels/sheet1.xml.rels"), nullptr);
    EXPECT_TRUE(ReportHas(result.report, ReportKind::PartNotCarried, "drawings"));
    EXPECT_TRUE(ReportHas(result.report, ReportKind::PartNotCarried, "comments"));

    const XmlNode order = result.sheet(2);
    EXPECT_EQ(CountElements(order, "row"), 1);
    EXPECT_EQ(FindElement(order, "c", "r", "A0"), nullptr);
    EXPECT_EQ(CellText(order, "A1"), "2");
    EXPECT_EQ(FindElement(order, "pageSetup"), nullptr);
    EXPECT_EQ(FindElement(order, "cols"), nullptr);
    EXPECT_TRUE(ReportHas(result.report, ReportKind::PartNotCarried, "out of its place"));
    EXPECT_TRUE(ReportHas(result.report, ReportKind::PartNotCarried, "invalid row numbers"));

    const XmlNode ns = result.sheet(3);
    const XmlNode* first = FindElement(ns, "row", "r", "1");
    ASSERT_NE(first, nullptr);
    EXPECT_EQ(first->attributeOr("p:mark", ""), "1");
    EXPECT_EQ(first->attribute("zz:x"), nullptr);
    EXPECT_EQ(CellOf(ns, "A1").attributeOr("p:mark", ""), "2");
    EXPECT_EQ(CellOf(ns, "A2").attribute("p:mark"), nullptr);
}

// Cells given twice, an element under an undeclared prefix and a shared string the source does
// not hold make the sheet a clear error, and nothing is written.
TEST(SheetCopyBadIndexes, SheetsThatCannotBeCopiedFailClearlyAndWriteNothing) {
    const struct {
        std::string body;
        spreadsheet::ErrorCode code;
        const char* reason;
    } cases[] = {
        {Rows({Cell("A1", "<v>1</v>")}) + Rows({Cell("A2", "<v>2</v>")}),
         spreadsheet::ErrorCode::MalformedXml, "holds its cells twice"},
        {Rows({Cell("A1", "<v>1</v><q:extra/>")}), spreadsheet::ErrorCode::MalformedXml,
         "prefix 'q'"},
        {Rows({Cell("A1", "<v>5</v>", " t=\"s\"")}), spreadsheet::ErrorCode::IndexOutOfRange,
         "Bad.xlsx"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.reason);
        TempDir dir;
        MiniWorkbook book;
        book.sheets = {{"Data", c.body}};
        book.sharedStrings = {"<t>only one</t>"};
        const auto file = WriteBook(dir, "Bad.xlsx", book);
        ExpectFailure(
            [&] {
                MergeInto(dir / "out.xlsx", {{file, "Data"}});
            },
            c.code, {"Bad.xlsx", c.reason});
        EXPECT_FALSE(std::filesystem::exists(dir / "out.xlsx"));
    }
}

} // namespace
} // namespace quillory::testing
