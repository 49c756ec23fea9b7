// Drawings, pictures and charts travel with their sheets.

#include "EngineTestSupport.h"
#include "spreadsheet/ooxml/objects/Chart.h"
#include "spreadsheet/ooxml/package/Relationships.h"
#include "support/Fixtures.h"

#include <map>
#include <set>
#include <tuple>

#if QUILLORY_HAVE_XLSXWRITER

namespace quillory::testing {
namespace {

using spreadsheet::ReportKind;
using spreadsheet::ooxml::ParseXmlTree;
using spreadsheet::ooxml::RelationshipKind;
using spreadsheet::ooxml::Relationships;
using spreadsheet::ooxml::RelationshipsPartFor;
using spreadsheet::ooxml::XmlNode;

// The part a sheet of a package lives in, by sheet name.
std::string SheetPart(const PackageEntries& package, const std::string& name) {
    const XmlNode workbook = PartTree(package, "xl/workbook.xml");
    const Relationships rels = Relationships::Parse(*package.find("xl/_rels/workbook.xml.rels"),
                                                    "xl/workbook.xml", "test");
    const XmlNode* sheet = FindElement(workbook, "sheet", "name", name);
    EXPECT_NE(sheet, nullptr) << "no sheet " << name;
    return sheet == nullptr ? std::string() : rels.byId(sheet->attributeOr("r:id", ""))->partName;
}

// The targets of a part's relationships of one kind.
std::vector<spreadsheet::ooxml::Relationship>
RelationshipsOfKind(const PackageEntries& package, const std::string& part, std::string_view kind) {
    std::vector<spreadsheet::ooxml::Relationship> found;
    const std::string* xml = package.find(RelationshipsPartFor(part));
    if (xml == nullptr) {
        return found;
    }
    const Relationships rels = Relationships::Parse(*xml, part, "test");
    for (const auto& rel : rels.all()) {
        if (RelationshipKind(rel.type) == kind) {
            found.push_back(rel);
        }
    }
    return found;
}

// What a sheet's drawing holds, counted element by element.
std::map<std::string, int> Summarise(const PackageEntries& package, const std::string& sheetName) {
    std::map<std::string, int> counts;
    const std::string sheet = SheetPart(package, sheetName);
    for (const auto& drawing : RelationshipsOfKind(package, sheet, "drawing")) {
        const XmlNode root = PartTree(package, drawing.partName);
        for (const auto local : {"twoCellAnchor", "oneCellAnchor", "absoluteAnchor", "pic", "sp",
                                 "grpSp", "graphicFrame", "hlinkClick"}) {
            counts[local] += CountElements(root, local);
        }
        counts["chart parts"] +=
            static_cast<int>(RelationshipsOfKind(package, drawing.partName, "chart").size());
        counts["pictures"] +=
            static_cast<int>(RelationshipsOfKind(package, drawing.partName, "image").size());
    }
    counts["backgrounds"] = static_cast<int>(RelationshipsOfKind(package, sheet, "image").size());
    return counts;
}

// The drawing part of a sheet, by sheet name.
std::string DrawingOf(const PackageEntries& package, const std::string& sheetName) {
    const auto drawings = RelationshipsOfKind(package, SheetPart(package, sheetName), "drawing");
    return drawings.empty() ? std::string() : drawings[0].partName;
}

std::vector<std::string> MediaEntries(const PackageEntries& package) {
    std::vector<std::string> media;
    for (const auto& entry : package.entries()) {
        if (entry.name.starts_with("xl/media/")) {
            media.push_back(entry.name);
        }
    }
    return media;
}

class DrawingsTest : public ::testing::Test {
protected:
    TempDir dir;
    std::filesystem::path fixture(const std::string& name) {
        return writeFixture(name, dir.path());
    }
    PackageEntries merge(const std::vector<Copy>& copies) {
        MergedPackage merged = MergeAndRead(dir, copies);
        report = merged.report;
        return merged.package;
    }
    std::filesystem::path blocker(const std::string& sheetName) {
        MiniWorkbook book;
        book.sheets.emplace_back(sheetName);
        return WriteBook(dir, "blocker.xlsx", book);
    }
    spreadsheet::MergeReport report;
};

// The pictures come from a workbook with a theme of its own, after a sheet named like their link
// target: the copy of Targets is renamed and the result takes the first sheet's theme.
TEST_F(DrawingsTest, EveryPictureShapeAndLinkTravelsWithItsSheetInTheResultsTheme) {
    const auto pictures = fixture("pictures.xlsx");
    {
        PackageEntries package = PackageEntries::read(pictures);
        package.replaceOnce("xl/theme/theme1.xml", "<a:accent2><a:srgbClr val=\"C0504D\"/>",
                            "<a:accent2><a:srgbClr val=\"123456\"/>");
        package.replaceOnce("xl/theme/theme1.xml", "<a:minorFont><a:latin typeface=\"Calibri\"/>",
                            "<a:minorFont><a:latin typeface=\"Carlito\"/>");
        package.replaceOnce("xl/drawings/drawing1.xml", "<a:rPr lang=\"en-US\"/><a:t>linked",
                            "<a:rPr lang=\"en-US\"><a:latin typeface=\"+mn-lt\"/></a:rPr>"
                            "<a:t>linked");
        package.write(pictures);
    }
    const PackageEntries source = PackageEntries::read(pictures);
    const PackageEntries result = merge({{blocker("Targets"), "Targets"},
                                         {pictures, "Pictures"},
                                         {pictures, "Targets"},
                                         {pictures, "More pictures"}});

    for (const std::string name : {"Pictures", "More pictures"}) {
        EXPECT_EQ(Summarise(source, name), Summarise(result, name)) << name;
    }
    const auto pictureSheet = Summarise(result, "Pictures");
    EXPECT_EQ(pictureSheet.at("pic"), 5); // PNG, JPEG, two linked PNGs, linked file
    EXPECT_EQ(pictureSheet.at("grpSp"), 1);
    EXPECT_EQ(Summarise(result, "More pictures").at("backgrounds"), 1);

    // The text box shows the renamed sheet's cell; links into the workbook follow the rename.
    const std::string drawing = DrawingOf(result, "Pictures");
    const XmlNode root = PartTree(result, drawing);
    EXPECT_NE(FindElement(root, "sp", "textlink", "'Targets (2)'!$A$1"), nullptr);
    std::set<std::string> targets;
    for (const auto& link : RelationshipsOfKind(result, drawing, "hyperlink")) {
        targets.insert(link.target);
    }
    EXPECT_EQ(targets,
              (std::set<std::string>{"https://example.com/quillory", "#'Targets (2)'!A1"}));
    // The linked picture keeps its external file.
    const auto images = RelationshipsOfKind(result, drawing, "image");
    EXPECT_TRUE(std::any_of(images.begin(), images.end(), [](const auto& rel) {
        return rel.external && rel.target == "file:///srv/pictures/missing-logo.png";
    }));
    // Theme colours and fonts are fixed as the source's theme drew them, shades kept.
    EXPECT_EQ(FindElement(root, "schemeClr"), nullptr);
    const XmlNode* fixed = FindElement(root, "srgbClr", "val", "123456");
    ASSERT_NE(fixed, nullptr);
    EXPECT_NE(fixed->child("lumMod"), nullptr);
    EXPECT_NE(FindElement(root, "latin", "typeface", "Carlito"), nullptr);
    EXPECT_TRUE(ReportHas(report, ReportKind::Adjusted, "theme colours"));

    // The source holds the PNG twice (drawing and background): the result once, plus the JPEG.
    const auto media = MediaEntries(result);
    EXPECT_EQ(media.size(), 2u) << ::testing::PrintToString(media);
    const XmlNode types = PartTree(result, "[Content_Types].xml");
    EXPECT_NE(FindElement(types, "Default", "Extension", "png"), nullptr);
    EXPECT_NE(FindElement(types, "Default", "Extension", "jpeg"), nullptr);
}

// The parts below the first chart added by the test below: kind, id, part, content type.
const std::tuple<std::string, std::string, std::string, std::string> kChartParts[] = {
    {"chartStyle", "rId7", "xl/charts/style1.xml", "application/vnd.ms-office.chartstyle+xml"},
    {"chartColorStyle", "rId8", "xl/charts/colors1.xml",
     "application/vnd.ms-office.chartcolorstyle+xml"},
    {"chartUserShapes", "rId9", "xl/drawings/drawing9.xml",
     "application/vnd.openxmlformats-officedocument.drawingml.chartshapes+xml"}};

// The first chart, on Report, reads Report; the second reads Sales, which stays behind.
TEST_F(DrawingsTest, ChartsKeepThePartsBelowThemAndTheValuesOfASheetLeftBehind) {
    const auto charts = fixture("charts.xlsx");
    {
        PackageEntries package = PackageEntries::read(charts);
        const std::string ms = "http://schemas.microsoft.com/office/2011/relationships/";
        const std::string cs = "http://schemas.microsoft.com/office/drawing/2012/chartStyle";
        package.set("xl/charts/_rels/chart1.xml.rels",
                    RelationshipsXml(
                        RelationshipTo("rId7", ms + "chartStyle", "style1.xml") +
                        RelationshipTo("rId8", ms + "chartColorStyle", "colors1.xml") +
                        RelationshipTo("rId9", "chartUserShapes", "../drawings/drawing9.xml")));
        package.set("xl/charts/style1.xml", "<cs:chartStyle xmlns:cs=\"" + cs + "\" id=\"201\"/>");
        package.set("xl/charts/colors1.xml",
                    "<cs:colorStyle xmlns:cs=\"" + cs + "\" meth=\"cycle\" id=\"10\"/>");
        package.set("xl/drawings/drawing9.xml",
                    "<c:userShapes xmlns:c=\"http://schemas.openxmlformats.org/drawingml/2006/"
                    "chart\"/>");
        for (const auto& [kind, id, part, type] : kChartParts) {
            AddOverride(package, part, type);
        }
        package.write(charts);
    }
    const PackageEntries result = merge({{charts, "Report"}, {charts, "Report"}});
    const XmlNode types = PartTree(result, "[Content_Types].xml");
    std::set<std::string> userShapes;
    for (const auto* sheet : {"Report", "Report (2)"}) {
        const std::string chart =
            RelationshipsOfKind(result, DrawingOf(result, sheet), "chart").at(0).partName;
        for (const auto& [kind, id, part, type] : kChartParts) {
            const auto rels = RelationshipsOfKind(result, chart, kind);
            ASSERT_EQ(rels.size(), 1u) << sheet << " " << kind;
            EXPECT_EQ(rels[0].id, id);
            const XmlNode* override =
                FindElement(types, "Override", "PartName", "/" + rels[0].partName);
            ASSERT_NE(override, nullptr) << rels[0].partName;
            EXPECT_EQ(override->attributeOr("ContentType", ""), type);
            if (kind == "chartUserShapes") {
                userShapes.insert(rels[0].partName);
            }
        }
    }
    EXPECT_EQ(userShapes.size(), 2u); // one per copy

    // The chart reading its own sheet still does; the other one's ranges became literal data.
    const auto chartRels = RelationshipsOfKind(result, DrawingOf(result, "Report"), "chart");
    ASSERT_EQ(chartRels.size(), 2u);
    std::string formulas;
    for (const auto& chart : chartRels) {
        const std::string& xml = *result.find(chart.partName);
        for (auto at = xml.find("<c:f>"); at != std::string::npos; at = xml.find("<c:f>", at + 1)) {
            formulas += xml.substr(at + 5, xml.find("</c:f>", at) - at - 5) + " ";
        }
    }
    EXPECT_EQ(formulas, "Report!$B$1 Report!$A$2:$A$5 Report!$B$2:$B$5 ");
    const XmlNode sales = PartTree(result, chartRels[1].partName);
    const XmlNode* values = FindElement(sales, "numLit");
    ASSERT_NE(values, nullptr);
    std::string numbers;
    for (const auto* point : values->childrenNamed("pt")) {
        numbers += point->child("v")->textContent() + " ";
    }
    EXPECT_EQ(numbers, "15 25 35 45 ");
    EXPECT_NE(FindElement(sales, "strLit"), nullptr);
    const XmlNode* name = FindElement(sales, "ser")->child("tx");
    ASSERT_TRUE(name != nullptr && name->child("v") != nullptr);
    EXPECT_EQ(name->child("v")->textContent(), "Sales");
    EXPECT_TRUE(ReportHas(report, ReportKind::FormulaAsValue, "Sales by month"));
}

TEST_F(DrawingsTest, DamagedPartsAreReportedAndTheRestCopies) {
    const auto charts = fixture("charts.xlsx");
    const auto pictures = fixture("pictures.xlsx");
    {
        PackageEntries package = PackageEntries::read(charts);
        // The chart saved no values for its series.
        std::string chart = *package.find("xl/charts/chart2.xml");
        const auto from = chart.find("<c:numCache>");
        const auto to = chart.find("</c:numCache>");
        ASSERT_NE(from, std::string::npos);
        chart.erase(from, to + 13 - from);
        package.set("xl/charts/chart2.xml", chart);
        // The other chart is cut short.
        const std::string units = *package.find("xl/charts/chart1.xml");
        package.set("xl/charts/chart1.xml", units.substr(0, units.size() / 2));
        package.write(charts);
    }
    {
        PackageEntries package = PackageEntries::read(pictures);
        // The JPEG is missing; the PNG hides under an extension nobody declares.
        ASSERT_TRUE(package.remove("xl/media/image2.jpeg"));
        const std::string png = *package.find("xl/media/image1.png");
        package.remove("xl/media/image1.png");
        package.set("xl/media/image1.pic", png);
        package.replaceOnce("xl/drawings/_rels/drawing1.xml.rels", "image1.png", "image1.pic");
        // A slicer, which does not travel with a sheet, and the shape kept for older programs.
        const auto anchor = [](const std::string& content) {
            return "<xdr:twoCellAnchor><xdr:from><xdr:col>8</xdr:col><xdr:colOff>0</xdr:colOff>"
                   "<xdr:row>1</xdr:row><xdr:rowOff>0</xdr:rowOff></xdr:from><xdr:to><xdr:col>10"
                   "</xdr:col><xdr:colOff>0</xdr:colOff><xdr:row>8</xdr:row><xdr:rowOff>0"
                   "</xdr:rowOff></xdr:to>" +
                   content + "<xdr:clientData/></xdr:twoCellAnchor>";
        };
        const std::string slicer = "http://schemas.microsoft.com/office/drawing/2010/slicer";
        package.replaceOnce(
            "xl/drawings/drawing1.xml", "</xdr:wsDr>",
            "<mc:AlternateContent xmlns:mc=\"http://schemas.openxmlformats.org/markup-"
            "compatibility/2006\"><mc:Choice xmlns:sle15=\"http://schemas.microsoft.com/office/"
            "drawing/2012/slicer\" Requires=\"sle15\">" +
                anchor("<xdr:graphicFrame macro=\"\"><xdr:nvGraphicFramePr><xdr:cNvPr id=\"120\" "
                       "name=\"Region\"/><xdr:cNvGraphicFramePr/></xdr:nvGraphicFramePr><xdr:xfrm/>"
                       "<a:graphic><a:graphicData uri=\"" +
                       slicer + "\"><sle:slicer xmlns:sle=\"" + slicer +
                       "\" name=\"Region\"/></a:graphicData></a:graphic></xdr:graphicFrame>") +
                "</mc:Choice><mc:Fallback>" +
                anchor(
                    "<xdr:sp macro=\"\" textlink=\"\"><xdr:nvSpPr><xdr:cNvPr id=\"121\" "
                    "name=\"Slicer stand-in\"/><xdr:cNvSpPr/></xdr:nvSpPr><xdr:spPr/></xdr:sp>") +
                "</mc:Fallback></mc:AlternateContent></xdr:wsDr>");
        package.write(pictures);
    }
    const PackageEntries source = PackageEntries::read(pictures);
    const PackageEntries result = merge({{charts, "Report"}, {pictures, "Pictures"}});

    const auto before = Summarise(source, "Pictures");
    const auto after = Summarise(result, "Pictures");
    // Less the JPEG's anchor, and the slicer's anchor of the two alternatives.
    EXPECT_EQ(after.at("twoCellAnchor") + after.at("oneCellAnchor"),
              before.at("twoCellAnchor") + before.at("oneCellAnchor") - 2);
    EXPECT_EQ(after.at("pic"), before.at("pic") - 1);
    EXPECT_TRUE(ReportHas(report, ReportKind::PartNotCarried, "image2.jpeg"));
    const XmlNode drawn = PartTree(result, DrawingOf(result, "Pictures"));
    EXPECT_EQ(FindElement(drawn, "slicer"), nullptr);
    EXPECT_NE(FindElement(drawn, "cNvPr", "name", "Slicer stand-in"), nullptr);
    EXPECT_TRUE(ReportHas(report, ReportKind::PartNotCarried, "slicer"));
    // The picture under an odd name is recognised by its bytes.
    const auto media = MediaEntries(result);
    ASSERT_EQ(media.size(), 1u);
    EXPECT_TRUE(media[0].ends_with(".png"));

    const XmlNode sales = PartTree(
        result, RelationshipsOfKind(result, DrawingOf(result, "Report"), "chart")[1].partName);
    const XmlNode* empty = FindElement(sales, "numLit");
    ASSERT_NE(empty, nullptr);
    EXPECT_EQ(CountElements(*empty, "pt"), 0);
    EXPECT_TRUE(ReportHas(report, ReportKind::FormulaAsValue, "saved no values"));
    EXPECT_TRUE(ReportHas(report, ReportKind::PartNotCarried, "chart that is damaged"));
}

} // namespace
} // namespace quillory::testing

#endif // QUILLORY_HAVE_XLSXWRITER

namespace quillory::testing {
namespace {

using spreadsheet::ooxml::FormulaContext;
using spreadsheet::ooxml::ParseXmlTree;
using spreadsheet::ooxml::RewriteChartTree;

FormulaContext OnlyKept(const std::string& kept, const std::string& renamed) {
    FormulaContext context;
    context.sheet = [=](std::string_view name) {
        return name == kept ? std::optional<std::string>(renamed) : std::nullopt;
    };
    return context;
}

TEST(ChartRewrite, MultiLevelCategoriesAndTitlesOfAMissingSheetBecomeLiterals) {
    auto root = ParseXmlTree(
        R"(<c:chartSpace xmlns:c="http://schemas.openxmlformats.org/drawingml/2006/chart">)"
        R"(<c:chart><c:title><c:tx><c:strRef><c:f>Gone!$A$1</c:f><c:strCache><c:ptCount val="1"/>)"
        R"(<c:pt idx="0"><c:v>Total</c:v></c:pt></c:strCache></c:strRef></c:tx></c:title>)"
        R"(<c:plotArea><c:barChart><c:ser><c:cat><c:multiLvlStrRef><c:f>Gone!$A$2:$B$3</c:f>)"
        R"(<c:multiLvlStrCache><c:ptCount val="2"/><c:lvl><c:pt idx="0"><c:v>a</c:v></c:pt>)"
        R"(<c:pt idx="1"><c:v>b</c:v></c:pt></c:lvl><c:lvl><c:pt idx="0"><c:v>X</c:v></c:pt>)"
        R"(</c:lvl></c:multiLvlStrCache></c:multiLvlStrRef></c:cat><c:val><c:numRef>)"
        R"(<c:f>Kept!$C$2:$C$3</c:f></c:numRef></c:val><c:extLst><c:ext uri="{x}">)"
        R"(<c15:datalabelsRange xmlns:c15="http://schemas.microsoft.com/office/drawing/2012/chart">)"
        R"(<c15:f>Gone!$D$2:$D$3</c15:f></c15:datalabelsRange></c:ext></c:extLst></c:ser>)"
        R"(</c:barChart></c:plotArea></c:chart></c:chartSpace>)",
        "test", "chart");
    const auto notes = RewriteChartTree(root, OnlyKept("Kept", "Kept (2)"));
    EXPECT_EQ(notes.rangesAsValues, 2);
    EXPECT_EQ(notes.flattenedLevels, 1);
    EXPECT_EQ(notes.dropped, 1);
    EXPECT_EQ(notes.title, "Total");
    const auto xml = spreadsheet::ooxml::SerializeNode(root);
    EXPECT_NE(xml.find("<a:t>Total</a:t>"), std::string::npos) << xml;
    EXPECT_NE(xml.find("<c:strLit><c:ptCount val=\"2\"/><c:pt idx=\"0\"><c:v>a</c:v></c:pt><c:pt "
                       "idx=\"1\"><c:v>b</c:v></c:pt></c:strLit>"),
              std::string::npos)
        << xml;
    EXPECT_NE(xml.find("<c:f>'Kept (2)'!$C$2:$C$3</c:f>"), std::string::npos) << xml;
    EXPECT_EQ(xml.find("Gone"), std::string::npos) << xml;
}

TEST(ChartRewrite, PivotChartBecomesAnOrdinaryChartOfItsCells) {
    auto root = ParseXmlTree(
        R"(<c:chartSpace xmlns:c="http://schemas.openxmlformats.org/drawingml/2006/chart">)"
        R"(<c:pivotSource><c:name>[Book.xlsx]Pivot!PivotTable1</c:name><c:fmtId val="0"/>)"
        R"(</c:pivotSource><c:chart><c:pivotFmts><c:pivotFmt><c:idx val="0"/></c:pivotFmt>)"
        R"(</c:pivotFmts><c:plotArea><c:barChart><c:ser><c:val><c:numRef><c:f>Kept!$B$4:$B$6)"
        R"(</c:f></c:numRef></c:val><c:extLst><c:ext uri="{y}"><c14:pivotOptions )"
        R"(xmlns:c14="http://schemas.microsoft.com/office/drawing/2007/8/2/chart"/></c:ext>)"
        R"(</c:extLst></c:ser></c:barChart></c:plotArea></c:chart></c:chartSpace>)",
        "test", "chart");
    const auto notes = RewriteChartTree(root, OnlyKept("Kept", "Kept"));
    EXPECT_TRUE(notes.pivotRemoved);
    const auto xml = spreadsheet::ooxml::SerializeNode(root);
    EXPECT_EQ(xml.find("pivot"), std::string::npos) << xml;
    EXPECT_NE(xml.find("<c:f>Kept!$B$4:$B$6</c:f>"), std::string::npos) << xml;
}

TEST(ChartRewrite, NewerChartsKeepTheirLevelsWithoutTheRange) {
    auto root = ParseXmlTree(
        R"(<cx:chartSpace xmlns:cx="http://schemas.microsoft.com/office/drawing/2014/chartex">)"
        R"(<cx:chartData><cx:data id="0"><cx:numDim type="val"><cx:f>Gone!$B$2:$B$3</cx:f>)"
        R"(<cx:lvl ptCount="2"><cx:pt idx="0">4</cx:pt><cx:pt idx="1">5</cx:pt></cx:lvl>)"
        R"(</cx:numDim><cx:strDim type="cat"><cx:f>Kept!$A$2:$A$3</cx:f></cx:strDim></cx:data>)"
        R"(</cx:chartData></cx:chartSpace>)",
        "test", "chartEx");
    const auto notes = RewriteChartTree(root, OnlyKept("Kept", "Renamed"));
    EXPECT_EQ(notes.rangesAsValues, 1);
    EXPECT_EQ(notes.emptyCaches, 0);
    const auto xml = spreadsheet::ooxml::SerializeNode(root);
    EXPECT_EQ(xml.find("Gone"), std::string::npos) << xml;
    EXPECT_NE(xml.find("<cx:pt idx=\"1\">5</cx:pt>"), std::string::npos) << xml;
    EXPECT_NE(xml.find("<cx:f>Renamed!$A$2:$A$3</cx:f>"), std::string::npos) << xml;
}

} // namespace
} // namespace quillory::testing
