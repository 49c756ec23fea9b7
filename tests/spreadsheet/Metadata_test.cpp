// What the copy does with the workbook-level parts a sheet's cells point into (cell metadata,
// links to other workbooks, tables by bare name, macros), and column widths under another font.

#include "EngineTestSupport.h"
#include "spreadsheet/ooxml/formulas/ExternalLinks.h"
#include "spreadsheet/ooxml/sheetcopy/Metadata.h"
#include "spreadsheet/ooxml/styles/ColumnWidths.h"
#include "support/Fixtures.h"

#include <cmath>

namespace quillory::testing {
namespace {

using spreadsheet::ReportKind;
using spreadsheet::ooxml::ParseXmlTree;
using spreadsheet::ooxml::ResultMetadata;
using spreadsheet::ooxml::SourceMetadata;
using spreadsheet::ooxml::XmlNode;

const std::string& kMain = kMainNs;
const std::string kDynamicArrayUri = "http://schemas.microsoft.com/office/spreadsheetml/2017/"
                                     "dynamicarray";

// A dynamic-array block as current spreadsheet programs write it, under a chosen prefix.
std::string DynamicBlock(const std::string& prefix = "xda") {
    return "<bk><extLst><ext uri=\"{bdbb8cdc-fa1e-496e-a857-3c3f30c029c3}\" xmlns:" + prefix +
           "=\"" + kDynamicArrayUri + "\"><" + prefix +
           ":dynamicArrayProperties fDynamic=\"1\" fCollapsed=\"0\"/></ext></extLst></bk>";
}

// Metadata with a rich-value type first and the dynamic-array type second, so the source's
// numbers differ from the result's: cell block 1 is a rich value, cell block 2 spills.
std::string RichThenDynamicMetadata() {
    return "<metadata xmlns=\"" + kMain +
           "\" xmlns:xlrd=\"http://schemas.microsoft.com/office/spreadsheetml/2017/richdata\">"
           "<metadataTypes count=\"2\"><metadataType name=\"XLRICHVALUE\" minSupportedVersion="
           "\"120000\"/><metadataType name=\"XLDAPR\" minSupportedVersion=\"120000\" copy=\"1\" "
           "cellMeta=\"1\"/></metadataTypes><futureMetadata name=\"XLRICHVALUE\" count=\"1\">"
           "<bk><extLst><ext uri=\"{3e2802c4-a4d2-4d8b-9148-e3be6c30e623}\"><xlrd:rvb i=\"0\"/>"
           "</ext></extLst></bk></futureMetadata><futureMetadata name=\"XLDAPR\" count=\"1\">" +
           DynamicBlock("d") +
           "</futureMetadata><cellMetadata count=\"2\"><bk><rc t=\"1\" v=\"0\"/></bk><bk><rc "
           "t=\"2\" v=\"0\"/></bk></cellMetadata><valueMetadata count=\"1\"><bk><rc t=\"1\" "
           "v=\"0\"/></bk></valueMetadata></metadata>";
}

std::string DynamicOnlyMetadata() {
    return "<metadata xmlns=\"" + kMain + "\" xmlns:xda=\"" + kDynamicArrayUri +
           "\"><metadataTypes count=\"1\"><metadataType name=\"XLDAPR\" minSupportedVersion="
           "\"120000\" copy=\"1\" cellMeta=\"1\"/></metadataTypes><futureMetadata name=\"XLDAPR\" "
           "count=\"1\">" +
           DynamicBlock() +
           "</futureMetadata><cellMetadata count=\"1\"><bk><rc t=\"1\" v=\"0\"/></bk>"
           "</cellMetadata></metadata>";
}

std::filesystem::path WriteWithMetadata(const TempDir& dir, const std::string& name,
                                        const MiniWorkbook& book, const std::string& metadata) {
    PackageEntries package = BuildPackage(book);
    AddWorkbookPart(package, "xl/metadata.xml", "sheetMetadata",
                    std::string(spreadsheet::ooxml::kMetadataContentType), metadata, "rIdMeta");
    const auto file = dir / name;
    package.write(file);
    return file;
}

// The metadata type a result cell's cm points at, through the result's metadata part.
std::string SpillTypeOf(const PackageEntries& package, const XmlNode& cell) {
    const std::string* cm = cell.attribute("cm");
    if (cm == nullptr) {
        return "";
    }
    const XmlNode metadata = PartTree(package, "xl/metadata.xml");
    const auto blocks = metadata.child("cellMetadata")->childrenNamed("bk");
    const auto block = static_cast<std::size_t>(std::stoi(*cm));
    if (block < 1 || block > blocks.size()) {
        return "out of range";
    }
    const XmlNode* record = blocks[block - 1]->child("rc");
    const auto type = static_cast<std::size_t>(std::stoi(record->attributeOr("t", "0")));
    const auto types = metadata.child("metadataTypes")->childrenNamed("metadataType");
    return type >= 1 && type <= types.size() ? types[type - 1]->attributeOr("name", "") : "?";
}

TEST(MetadataPart, BlocksOfSeveralSourcesAreRenumberedAndSharedBrokenOnesLeftOut) {
    const SourceMetadata first = SourceMetadata::parse(DynamicOnlyMetadata(), "a.xlsx", "m");
    const SourceMetadata second = SourceMetadata::parse(RichThenDynamicMetadata(), "b.xlsx", "m");
    // A third source's blocks name a type or an entry it does not have, or nothing at all.
    const SourceMetadata third = SourceMetadata::parse(
        "<metadata xmlns=\"" + kMain +
            "\"><metadataTypes count=\"1\"><metadataType name=\"XLDAPR\"/></metadataTypes>"
            "<futureMetadata name=\"XLDAPR\" count=\"1\">" +
            DynamicBlock() +
            "</futureMetadata><cellMetadata count=\"3\"><bk><rc t=\"2\" v=\"0\"/></bk><bk><rc "
            "t=\"1\" v=\"5\"/></bk><bk/></cellMetadata></metadata>",
        "c.xlsx", "m");
    ResultMetadata result;
    auto fromFirst = result.importerFor(first);
    auto fromSecond = result.importerFor(second);
    auto fromThird = result.importerFor(third);

    EXPECT_EQ(fromThird->cellMetadata("1"), std::nullopt) << "type 2 does not exist";
    EXPECT_EQ(fromThird->cellMetadata("2"), std::nullopt) << "entry 5 does not exist";
    EXPECT_EQ(fromThird->cellMetadata("3"), std::nullopt) << "an empty block says nothing";
    EXPECT_TRUE(result.empty()) << "nothing is added before a cell uses it";
    EXPECT_EQ(fromSecond->cellMetadata("2"), 1) << "the second source's spill block comes first";
    EXPECT_EQ(fromFirst->cellMetadata("1"), 1) << "the same spill settings share one block";
    EXPECT_EQ(fromSecond->cellMetadata("1"), std::nullopt) << "a rich value needs its parts";
    EXPECT_EQ(fromSecond->valueMetadata("1"), std::nullopt);
    for (const char* bad : {"0", "3", "-1", "", "x", "1.5"}) {
        EXPECT_EQ(fromFirst->cellMetadata(bad), std::nullopt) << bad;
    }

    const XmlNode xml = ParseXmlTree(result.toXml(), "result", "xl/metadata.xml");
    ASSERT_EQ(CountElements(xml, "metadataType"), 1);
    EXPECT_EQ(xml.child("metadataTypes")->child("metadataType")->attributeOr("name", ""), "XLDAPR");
    EXPECT_EQ(xml.child("metadataTypes")->attributeOr("count", ""), "1");
    EXPECT_EQ(CountElements(*xml.child("futureMetadata"), "bk"), 1)
        << "blocks alike under other prefixes are still one block";
    EXPECT_EQ(CountElements(*xml.child("cellMetadata"), "bk"), 1);
    EXPECT_EQ(xml.child("valueMetadata"), nullptr);
    // The block written under the source's own prefix keeps a declaration of it.
    EXPECT_NE(result.toXml().find("fDynamic=\"1\""), std::string::npos);
}

#if QUILLORY_HAVE_XLSXWRITER
TEST(DynamicArrays, AFormulaKeptAsItsValueLosesItsSpillSilentlyTheRestKeepIt) {
    TempDir dir;
    const auto source = writeFixture("dynamic-arrays.xlsx", dir.path());
    const auto merged = MergeAndRead(dir, {{source, "Spill"}});

    const XmlNode spill = merged.sheet(1);
    EXPECT_EQ(CellText(spill, "A1", "f"), "-") << "Data is not in the result";
    EXPECT_EQ(CellOf(spill, "A1").attribute("cm"), nullptr);
    EXPECT_EQ(CellText(spill, "A1"), "1");
    EXPECT_EQ(SpillTypeOf(merged.package, CellOf(spill, "E1")), "XLDAPR")
        << "SEQUENCE uses nothing outside its sheet";
    EXPECT_TRUE(ReportHas(merged.report, ReportKind::FormulaAsValue));
    EXPECT_FALSE(ReportHas(merged.report, ReportKind::PartNotCarried, "pill"));
}
#endif

TEST(DynamicArrays, NumbersFollowEachSourceAndRichValuesStayBehindWithTheirValues) {
    TempDir dir;
    MiniWorkbook first;
    first.sheets.push_back(
        {"One", "<sheetData><row r=\"1\"><c r=\"A1\" cm=\"1\"><f t=\"array\" ref=\"A1:A2\">"
                "_xlfn.SEQUENCE(2)</f><v>1</v></c></row></sheetData>"});
    MiniWorkbook second;
    second.sheets.push_back(
        {"Two", "<sheetData><row r=\"1\"><c r=\"A1\" cm=\"2\"><f t=\"array\" ref=\"A1:B1\">"
                "_xlfn.SEQUENCE(1,2)</f><v>1</v></c><c r=\"B1\" t=\"e\" vm=\"1\"><v>#VALUE!</v>"
                "</c><c r=\"C1\" cm=\"1\"><f>1+1</f><v>2</v></c></row></sheetData>"});
    const auto a = WriteWithMetadata(dir, "a.xlsx", first, DynamicOnlyMetadata());
    const auto b = WriteWithMetadata(dir, "b.xlsx", second, RichThenDynamicMetadata());

    const auto merged = MergeAndRead(dir, {{a, "One"}, {b, "Two"}});

    EXPECT_EQ(SpillTypeOf(merged.package, CellOf(merged.sheet(1), "A1")), "XLDAPR");
    const XmlNode two = merged.sheet(2);
    EXPECT_EQ(CellOf(two, "A1").attributeOr("cm", ""), "1") << "source block 2 is result block 1";
    EXPECT_EQ(CellOf(two, "B1").attribute("vm"), nullptr);
    EXPECT_EQ(CellOf(two, "B1").attributeOr("t", ""), "e");
    EXPECT_EQ(CellText(two, "B1"), "#VALUE!");
    EXPECT_EQ(CellOf(two, "C1").attribute("cm"), nullptr) << "its block was a rich value";
    EXPECT_EQ(CountElements(PartTree(merged.package, "xl/metadata.xml"), "rc"), 1);
    EXPECT_TRUE(ReportHas(merged.report, ReportKind::FormulaAsValue, "inside cells"));
}

TEST(DynamicArrays, ADamagedOrMissingMetadataPartCostsOnlyTheSpill) {
    TempDir dir;
    MiniWorkbook book;
    book.sheets.push_back({"S", "<sheetData><row r=\"1\"><c r=\"A1\" cm=\"1\"><f t=\"array\" "
                                "ref=\"A1:A2\">_xlfn.SEQUENCE(2)</f><v>1</v></c></row>"
                                "</sheetData>"});
    const auto damaged = WriteWithMetadata(dir, "damaged.xlsx", book, "<metadata><unclosed>");
    const auto missing = WriteBook(dir, "missing.xlsx", book);

    for (const auto& file : {damaged, missing}) {
        const auto merged = MergeAndRead(dir, {{file, "S"}});
        const XmlNode sheet = merged.sheet(1);
        EXPECT_EQ(CellOf(sheet, "A1").attribute("cm"), nullptr) << file;
        EXPECT_EQ(CellText(sheet, "A1", "f"), "_xlfn.SEQUENCE(2)") << file;
        EXPECT_EQ(merged.package.find("xl/metadata.xml"), nullptr) << file;
        EXPECT_TRUE(ReportHas(merged.report, ReportKind::PartNotCarried, "ordinary array")) << file;
    }
}

std::string LinkPart(const std::string& sheet, const std::string& value) {
    return "<externalLink xmlns=\"" + kMain + "\"><externalBook xmlns:r=\"" + kRelNs +
           "\" r:id=\"rId1\"><sheetNames><sheetName val=\"" + sheet +
           "\"/></sheetNames><sheetDataSet><sheetData sheetId=\"0\"><row r=\"1\"><cell r=\"A1\">"
           "<v>" +
           value + "</v></cell></row></sheetData></sheetDataSet></externalBook></externalLink>";
}

// A workbook with two links ([1] Prices.xlsx, [2] `secondTarget`) whose sheet uses the second
// in a cell and a local name.
std::filesystem::path WriteLinkedBook(const TempDir& dir, const std::string& name,
                                      const std::string& secondTarget,
                                      const std::string& secondMode = " TargetMode=\"External\"") {
    MiniWorkbook book;
    book.sheets.push_back({"Calc", "<sheetData><row r=\"1\"><c r=\"A1\"><f>[2]Rates!A1*2</f>"
                                   "<v>10</v></c><c r=\"B1\"><f>SUM(Rate)</f><v>5</v></c></row>"
                                   "</sheetData>"});
    book.definedNames = "<definedName name=\"Rate\" localSheetId=\"0\">[2]Rates!$A$1</definedName>";
    PackageEntries package = BuildPackage(book);
    const std::string type = std::string(spreadsheet::ooxml::kExternalLinkContentType);
    AddWorkbookPart(package, "xl/externalLinks/externalLink1.xml", "externalLink", type,
                    LinkPart("Prices", "1"), "rIdL1");
    AddWorkbookPart(package, "xl/externalLinks/externalLink2.xml", "externalLink", type,
                    LinkPart("Rates", "5"), "rIdL2");
    package.set("xl/externalLinks/_rels/externalLink1.xml.rels",
                RelationshipsXml(RelationshipTo("rId1", "externalLinkPath", "Prices.xlsx",
                                                " TargetMode=\"External\"")));
    package.set(
        "xl/externalLinks/_rels/externalLink2.xml.rels",
        RelationshipsXml(RelationshipTo("rId1", "externalLinkPath", secondTarget, secondMode)));
    package.replaceOnce("xl/workbook.xml", "</sheets>",
                        "</sheets><externalReferences><externalReference r:id=\"rIdL1\"/>"
                        "<externalReference r:id=\"rIdL2\"/></externalReferences>");
    const auto file = dir / name;
    package.write(file);
    return file;
}

// Two sources link the same file; a third links into its own package, which is not carried, so
// its formulas keep their values.
TEST(ExternalLinks, UsedLinksAreCarriedRenumberedAndSharedALinkIntoItsOwnPackageIsNot) {
    TempDir dir;
    const auto a = WriteLinkedBook(dir, "a.xlsx", "/data/Rates.xlsx");
    const auto b = WriteLinkedBook(dir, "b.xlsx", "/data/Rates.xlsx");
    const auto inside = WriteLinkedBook(dir, "inside.xlsx", "../worksheets/sheet1.xml", "");

    const auto merged = MergeAndRead(dir, {{a, "Calc"}, {b, "Calc"}, {inside, "Calc"}});

    for (int n : {1, 2}) {
        EXPECT_EQ(CellText(merged.sheet(n), "A1", "f"), "[1]Rates!A1*2") << "only link 2 is used";
    }
    EXPECT_EQ(CellText(merged.sheet(3), "A1", "f"), "-");
    EXPECT_EQ(CellText(merged.sheet(3), "A1"), "10");
    EXPECT_TRUE(ReportHas(merged.report, ReportKind::FormulaAsValue, "another workbook"));
    const XmlNode workbook = PartTree(merged.package, "xl/workbook.xml");
    EXPECT_EQ(CountElements(workbook, "externalReference"), 1) << "one file, one link";
    int rates = 0;
    for (const auto& name : workbook.child("definedNames")->childrenNamed("definedName")) {
        rates += name->textContent() == "[1]Rates!$A$1" ? 1 : 0;
    }
    EXPECT_EQ(rates, 2) << "each copy's local name follows the renumbering";
    const std::string* link = merged.package.find("xl/externalLinks/externalLink1.xml");
    ASSERT_NE(link, nullptr);
    EXPECT_NE(link->find("Rates"), std::string::npos);
    EXPECT_EQ(merged.package.find("xl/externalLinks/externalLink2.xml"), nullptr);
    const XmlNode linkRels =
        PartTree(merged.package, "xl/externalLinks/_rels/externalLink1.xml.rels");
    EXPECT_EQ(linkRels.child("Relationship")->attributeOr("Target", ""), "/data/Rates.xlsx");
    EXPECT_TRUE(ReportHas(merged.report, ReportKind::MayLookDifferent, "other workbooks"));
}

TEST(ExternalLinks, RelativeTargetsAreAnchoredAtTheSourceFolder) {
    using spreadsheet::ooxml::AnchoredLinkTarget;
    EXPECT_EQ(AnchoredLinkTarget("Rates.xlsx", "/home/ann/q3/Book.xlsx"),
              "file:///home/ann/q3/Rates.xlsx");
    EXPECT_EQ(AnchoredLinkTarget("sub/R%20s.xlsx", "/home/a b/Book.xlsx"),
              "file:///home/a%20b/sub/R%20s.xlsx");
    EXPECT_EQ(AnchoredLinkTarget("..\\in\\Rates.xlsx", "/home/ann/q3/Book.xlsx"),
              "file:///home/ann/q3/../in/Rates.xlsx");
    for (const char* kept : {"/abs/Rates.xlsx", "file:///C:/x.xlsx", "\\\\server\\share\\x.xlsx",
                             "https://example.com/x.xlsx", ""}) {
        EXPECT_EQ(AnchoredLinkTarget(kept, "/home/ann/Book.xlsx"), kept);
    }
    EXPECT_EQ(AnchoredLinkTarget("Rates.xlsx", "memory:Book.xlsx"), "Rates.xlsx")
        << "a source that is not a file has no folder";
}

TEST(BareTableNames, ATableLeftBehindMakesItsFormulasValuesACopiedOneKeepsThemComputing) {
    TempDir dir;
    MiniWorkbook book;
    MiniSheet data("Data", "<sheetData><row r=\"1\"><c r=\"A1\" t=\"inlineStr\"><is><t>Qty</t>"
                           "</is></c></row><row r=\"2\"><c r=\"A2\"><v>4</v></c></row>"
                           "</sheetData><tableParts count=\"1\"><tablePart r:id=\"rIdT\"/>"
                           "</tableParts>");
    data.rels = RelationshipTo("rIdT", "table", "../tables/table1.xml");
    data.parts.push_back({"xl/tables/table1.xml",
                          "<table xmlns=\"" + kMain +
                              "\" id=\"1\" name=\"Sales\" displayName=\"Sales\" ref=\"A1:A2\">"
                              "<tableColumns count=\"1\"><tableColumn id=\"1\" name=\"Qty\"/>"
                              "</tableColumns></table>"});
    book.sheets.push_back(data);
    book.sheets.push_back({"Calc", "<sheetData><row r=\"1\"><c r=\"A1\"><f>SUM(sales)</f>"
                                   "<v>4</v></c><c r=\"B1\"><f>SUM(Unknown)</f><v>0</v></c>"
                                   "</row></sheetData>"});
    PackageEntries package = BuildPackage(book);
    AddOverride(package, "xl/tables/table1.xml", kTableType);
    package.write(dir / "tables.xlsx");

    {
        const auto alone = MergeAndRead(dir, {{dir / "tables.xlsx", "Calc"}});
        const XmlNode calc = alone.sheet(1);
        EXPECT_EQ(CellText(calc, "A1", "f"), "-") << "the table Sales is not copied";
        EXPECT_EQ(CellText(calc, "A1"), "4");
        EXPECT_EQ(CellText(calc, "B1", "f"), "SUM(Unknown)")
            << "a name the source never had keeps its meaning (none)";
        EXPECT_TRUE(ReportHas(alone.report, ReportKind::FormulaAsValue, "sales"));
    }
    const auto both =
        MergeAndRead(dir, {{dir / "tables.xlsx", "Data"}, {dir / "tables.xlsx", "Calc"}});
    EXPECT_EQ(CellText(both.sheet(2), "A1", "f"), "SUM(sales)");
}

TEST(Macros, AWorkbookWithMacrosIsReportedOnceAndAResultNamedLikeOneIsRefused) {
    TempDir dir;
    PackageEntries package = BuildPackage({.sheets = {{"First"}, {"Second"}}});
    package.set("xl/vbaProject.bin", std::string("\xD0\xCF\x11\xE0 not really a project"));
    package.replaceOnce("xl/_rels/workbook.xml.rels", "</Relationships>",
                        RelationshipTo("rIdVba",
                                       "http://schemas.microsoft.com/office/2006/relationships/"
                                       "vbaProject",
                                       "vbaProject.bin") +
                            "</Relationships>");
    package.write(dir / "macros.xlsm");
    const auto other = WriteBook(dir, "plain.xlsx", {.sheets = {{"Third"}}});

    const auto merged = MergeAndRead(
        dir, {{dir / "macros.xlsm", "First"}, {other, "Third"}, {dir / "macros.xlsm", "Second"}});

    int said = 0;
    for (const auto& item : merged.report.items) {
        if (item.message.find("macros") != std::string::npos) {
            ++said;
            EXPECT_EQ(item.sourceFile, "macros.xlsm");
            EXPECT_EQ(item.kind, ReportKind::PartNotCarried);
        }
    }
    EXPECT_EQ(said, 1);
    EXPECT_EQ(merged.package.find("xl/vbaProject.bin"), nullptr);

    // A result named like a macro workbook is refused, and nothing is written.
    for (const char* name : {"out.xlsm", "OUT.XLTM", "out.xltx", "out.xls"}) {
        ExpectFailure(
            [&] {
                MergeInto(dir / name, {{other, "Third"}});
            },
            spreadsheet::ErrorCode::OutputNotWritable, {name});
        EXPECT_FALSE(std::filesystem::exists(dir / name)) << name;
    }
    MergeInto(dir / "out.XLSX", {{other, "Third"}});
    EXPECT_TRUE(std::filesystem::exists(dir / "out.XLSX"));
}

// Pixels of a stored column width as spreadsheet programs draw it with this digit width.
int Pixels(double width, int digitWidth) {
    return static_cast<int>(
        std::trunc((256 * width + std::trunc(128.0 / digitWidth)) / 256 * digitWidth));
}

TEST(ColumnWidths, ConvertedWidthsDrawTheSamePixels) {
    using spreadsheet::ooxml::ColumnWidthConverter;
    for (const auto& [from, to] : {std::pair{9, 7}, std::pair{7, 9}, std::pair{7, 8}}) {
        const ColumnWidthConverter converter(from, to);
        for (double width : {0.7109375, 3.0, 9.140625, 13.5703125, 40.0, 120.25}) {
            const double converted = converter.width(width);
            EXPECT_NEAR(Pixels(converted, to), Pixels(width, from), 1)
                << width << " from digit width " << from << " to " << to;
        }
    }
    const ColumnWidthConverter arialToCalibri(9, 7);
    EXPECT_EQ(arialToCalibri.widthText("9.140625"), "11.7109375");
    EXPECT_EQ(arialToCalibri.widthText("wide"), "wide") << "not a number: left as written";
    EXPECT_EQ(arialToCalibri.baseWidthText("7"), "9");
    EXPECT_EQ(ColumnWidthConverter(7, 7).width(9.140625), 9.140625);
}

TEST(ColumnWidths, TheNormalStyleNamesTheFontWhoseDigitWidthCounts) {
    const std::string styles =
        "<styleSheet xmlns=\"" + kMain +
        "\"><fonts count=\"3\"><font><sz val=\"11\"/><name val=\"Calibri\"/></font><font><sz "
        "val=\"9\"/><name val=\"Tahoma\"/></font><font><sz val=\"12\"/><name val=\"Arial\"/>"
        "</font></fonts><cellStyleXfs count=\"2\"><xf fontId=\"0\"/><xf fontId=\"2\"/>"
        "</cellStyleXfs><cellStyles count=\"2\"><cellStyle name=\"Heading\" xfId=\"0\" "
        "builtinId=\"16\"/><cellStyle name=\"Normal\" xfId=\"1\" builtinId=\"0\"/></cellStyles>"
        "</styleSheet>";
    const auto font = spreadsheet::ooxml::NormalFontOf(styles, "s.xlsx");
    EXPECT_EQ(font.name, "Arial");
    EXPECT_EQ(font.size, 12);
    const auto fallback = spreadsheet::ooxml::NormalFontOf("<styleSheet/>", "s.xlsx");
    EXPECT_EQ(fallback.name, "Calibri");
    EXPECT_EQ(fallback.size, 11);

    using spreadsheet::ooxml::MaxDigitWidth;
    EXPECT_EQ(MaxDigitWidth(font), 9);
    EXPECT_EQ(MaxDigitWidth(fallback), 7);
    EXPECT_EQ(MaxDigitWidth({"calibri", 11}), 7) << "font names ignore case";
    EXPECT_EQ(MaxDigitWidth({"Arial", 10}), 7);
    EXPECT_EQ(MaxDigitWidth({"Times New Roman", 12}), 8);
    EXPECT_EQ(MaxDigitWidth({"Courier New", 10}), 8);
    EXPECT_EQ(MaxDigitWidth({"Some Font Nobody Measured", 11}), std::nullopt);
    EXPECT_EQ(MaxDigitWidth({"Arial", 0}), std::nullopt);
}

} // namespace
} // namespace quillory::testing
