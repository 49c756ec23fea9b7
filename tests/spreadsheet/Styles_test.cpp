// Importing cell formats, differential formats, named styles and table styles of several source
// workbooks into one result styles part.

#include "spreadsheet/SpreadsheetError.h"
#include "spreadsheet/ooxml/Limits.h"
#include "spreadsheet/ooxml/styles/StyleXml.h"
#include "spreadsheet/ooxml/styles/Styles.h"
#include "support/ExpectFailure.h"

#include <deque>
#include <gtest/gtest.h>
#include <map>
#include <set>
#include <string>
#include <vector>

namespace quillory::spreadsheet::ooxml {
namespace {

constexpr const char* kCalibri =
    R"(<font><sz val="11"/><color theme="1"/><name val="Calibri"/><family val="2"/>)"
    R"(<scheme val="minor"/></font>)";
constexpr const char* kBoldRedArial =
    R"(<font><b/><sz val="12"/><color rgb="FFFF0000"/><name val="Arial"/></font>)";
constexpr const char* kNoFill = R"(<fill><patternFill patternType="none"/></fill>)";
constexpr const char* kGrayFill = R"(<fill><patternFill patternType="gray125"/></fill>)";
constexpr const char* kEmptyBorder = "<border><left/><right/><top/><bottom/><diagonal/></border>";
constexpr const char* kThinBorder =
    R"(<border><left style="thin"><color indexed="64"/></left><right/><top/><bottom/>)"
    R"(<diagonal/></border>)";

std::string SolidFill(const std::string& rgb) {
    return R"(<fill><patternFill patternType="solid"><fgColor rgb=")" + rgb +
           R"("/><bgColor indexed="64"/></patternFill></fill>)";
}

// A styles part assembled from records, with the defaults every writer puts first.
struct StylesXml {
    std::vector<std::string> numFmts;
    std::vector<std::string> fonts{kCalibri};
    std::vector<std::string> fills{kNoFill, kGrayFill};
    std::vector<std::string> borders{kEmptyBorder};
    std::vector<std::string> styleXfs{R"(<xf numFmtId="0" fontId="0" fillId="0" borderId="0"/>)"};
    std::vector<std::string> cellXfs{
        R"(<xf numFmtId="0" fontId="0" fillId="0" borderId="0" xfId="0"/>)"};
    std::vector<std::string> cellStyles{R"(<cellStyle name="Normal" xfId="0" builtinId="0"/>)"};
    std::vector<std::string> dxfs;
    std::string tableStyles;
    std::string colors;

    int add(std::vector<std::string>& list, std::string record) {
        list.push_back(std::move(record));
        return static_cast<int>(list.size()) - 1;
    }
    std::string xml() const {
        const auto section = [](const char* name, const std::vector<std::string>& records) {
            std::string out =
                std::string("<") + name + " count=\"" + std::to_string(records.size()) + "\">";
            for (const auto& record : records) {
                out += record;
            }
            return out + "</" + name + ">";
        };
        std::string out =
            R"(<?xml version="1.0" encoding="UTF-8" standalone="yes"?>)"
            "\n"
            R"(<styleSheet xmlns="http://schemas.openxmlformats.org/spreadsheetml/2006/main">)";
        if (!numFmts.empty()) {
            out += section("numFmts", numFmts);
        }
        out += section("fonts", fonts) + section("fills", fills) + section("borders", borders) +
               section("cellStyleXfs", styleXfs) + section("cellXfs", cellXfs) +
               section("cellStyles", cellStyles) + section("dxfs", dxfs) + tableStyles + colors;
        return out + "</styleSheet>";
    }
    SourceStyles parse(const std::string& fileName) const {
        return SourceStyles::parse(xml(), fileName);
    }
};

std::string Xf(int numFmt, int font, int fill, int border, const std::string& extra = {},
               const std::string& children = {}) {
    std::string xf = "<xf numFmtId=\"" + std::to_string(numFmt) + "\" fontId=\"" +
                     std::to_string(font) + "\" fillId=\"" + std::to_string(fill) +
                     "\" borderId=\"" + std::to_string(border) + "\"" + extra;
    return children.empty() ? xf + "/>" : xf + ">" + children + "</xf>";
}

// The result styles part, parsed back with the engine's own parser, and looked at record by
// record through the indexes a cell format holds.
class ResultView {
public:
    explicit ResultView(const ResultStyles& styles)
        : root_(ParseXmlTree(styles.toXml(), "result", "xl/styles.xml")) {
        for (const auto& section : root_.children) {
            // Every section's count must match what it holds.
            if (const auto count = section.intAttribute("count")) {
                EXPECT_EQ(static_cast<std::size_t>(*count), section.children.size())
                    << section.name.local;
            }
        }
        if (const XmlElement* formats = root_.child("numFmts")) {
            for (const auto& format : formats->children) {
                codes_[static_cast<int>(*format.intAttribute("numFmtId"))] =
                    *format.attribute("formatCode");
            }
        }
    }
    const std::vector<XmlElement>& section(std::string_view name) const {
        const XmlElement* found = root_.child(name);
        EXPECT_NE(found, nullptr) << name;
        static const std::vector<XmlElement> none;
        return found != nullptr ? found->children : none;
    }
    const XmlElement& xf(int index) const { return at("cellXfs", index); }
    std::string record(std::string_view sectionName, std::string_view idAttribute,
                       int xfIndex) const {
        const auto id = xf(xfIndex).intAttribute(idAttribute);
        EXPECT_TRUE(id.has_value());
        return WriteXml(at(sectionName, static_cast<int>(id.value_or(0))), true);
    }
    std::string font(int xfIndex) const { return record("fonts", "fontId", xfIndex); }
    std::string fill(int xfIndex) const { return record("fills", "fillId", xfIndex); }
    std::string border(int xfIndex) const { return record("borders", "borderId", xfIndex); }
    // The code a cell format shows numbers with ("#14" for an implied built-in).
    std::string numberFormat(int xfIndex) const {
        const int id = static_cast<int>(xf(xfIndex).intAttribute("numFmtId").value_or(0));
        return codeOf(id);
    }
    std::string codeOf(int id) const {
        const auto found = codes_.find(id);
        return found != codes_.end() ? found->second : "#" + std::to_string(id);
    }
    std::string styleName(int xfIndex) const {
        const auto styleXf = xf(xfIndex).intAttribute("xfId");
        EXPECT_TRUE(styleXf.has_value());
        for (const auto& style : section("cellStyles")) {
            if (style.intAttribute("xfId") == styleXf) {
                return *style.attribute("name");
            }
        }
        return {};
    }
    const XmlElement& at(std::string_view sectionName, int index) const {
        const auto& records = section(sectionName);
        if (index < 0 || static_cast<std::size_t>(index) >= records.size()) {
            ADD_FAILURE() << sectionName << " has no record " << index;
            static const XmlElement empty;
            return empty;
        }
        return records[static_cast<std::size_t>(index)];
    }

private:
    XmlElement root_;
    std::map<int, std::string> codes_;
};

std::string Canonical(const std::string& record) {
    return WriteXml(ParseXmlTree("<wrap xmlns=\"http://schemas.openxmlformats.org/spreadsheetml/"
                                 "2006/main\">" +
                                     record + "</wrap>",
                                 "test", "record")
                        .children.front(),
                    true);
}

const Theme& DefaultTheme() {
    static const Theme theme = Theme::builtinDefault();
    return theme;
}

// Sources imported, in order and each with the default theme, into one result.
struct Merge {
    explicit Merge(const Theme& resultTheme = DefaultTheme()) : result(resultTheme) {}
    ResultStyles::Importer& add(const StylesXml& xml, const std::string& file = "source.xlsx") {
        return add(xml.parse(file));
    }
    ResultStyles::Importer& add(SourceStyles source) {
        sources.push_back(std::move(source));
        importers.push_back(result.importerFor(sources.back(), DefaultTheme()));
        return *importers.back();
    }
    ResultStyles result;
    std::deque<SourceStyles> sources;
    std::vector<std::unique_ptr<ResultStyles::Importer>> importers;
};

TEST(Styles, EqualFormatsShareOneRecordOthersStayDistinct) {
    const std::string times = R"(<font><i/><sz val="9"/><name val="Times"/></font>)";
    StylesXml a;
    const int aXf =
        a.add(a.cellXfs, Xf(0, a.add(a.fonts, kBoldRedArial), a.add(a.fills, SolidFill("FFFFFF00")),
                            a.add(a.borders, kThinBorder), R"( applyFill="1")"));
    StylesXml b; // the same format at other positions, and one of its own
    const int bOwn =
        b.add(b.cellXfs, Xf(0, b.add(b.fonts, times), b.add(b.fills, SolidFill("FF00FF00")), 0));
    const int bXf =
        b.add(b.cellXfs, Xf(0, b.add(b.fonts, kBoldRedArial), b.add(b.fills, SolidFill("FFFFFF00")),
                            b.add(b.borders, kThinBorder), R"( applyFill="1")"));

    Merge merge;
    auto& importA = merge.add(a);
    auto& importB = merge.add(b);
    const int shared = importA.cellXf(aXf);
    EXPECT_EQ(importB.cellXf(bXf), shared);
    EXPECT_EQ(importB.cellXf(0), 0) << "equal default formats are one record";
    EXPECT_EQ(merge.result.fontCount(), 2u) << "the Times font of b is not imported unused";
    const int own = importB.cellXf(bOwn);
    EXPECT_NE(own, shared);
    EXPECT_EQ(importB.cellXf(bXf), shared) << "asking again adds nothing";
    EXPECT_EQ(merge.result.cellXfCount(), 3u);

    const ResultView view(merge.result);
    EXPECT_EQ(view.font(shared), Canonical(kBoldRedArial));
    EXPECT_EQ(view.fill(shared), Canonical(SolidFill("FFFFFF00")));
    EXPECT_EQ(view.border(shared), Canonical(kThinBorder));
    EXPECT_EQ(view.font(own), Canonical(times));
    EXPECT_EQ(view.fill(own), Canonical(SolidFill("FF00FF00")));
    // Flags are carried as found.
    EXPECT_EQ(*view.xf(shared).attribute("applyFill"), "1");
    EXPECT_EQ(view.xf(own).attribute("applyFill"), nullptr);
    // The two reserved fills stay first whatever the sources hold.
    EXPECT_EQ(WriteXml(view.at("fills", 0), true), Canonical(kNoFill));
    EXPECT_EQ(WriteXml(view.at("fills", 1), true), Canonical(kGrayFill));
}

TEST(Styles, NumberFormatsAreRenumberedByFormatCode) {
    StylesXml a;
    a.numFmts = {R"(<numFmt numFmtId="164" formatCode="0.0"/>)"};
    a.add(a.cellXfs, Xf(164, 0, 0, 0));
    a.add(a.cellXfs, Xf(14, 0, 0, 0)); // implied built-in
    StylesXml b;
    b.numFmts = {R"(<numFmt numFmtId="164" formatCode="#,##0.000"/>)",
                 R"(<numFmt numFmtId="170" formatCode="0.0"/>)",
                 R"x(<numFmt numFmtId="44" formatCode="_(&quot;€&quot;* #,##0.00_)"/>)x",
                 R"(<numFmt numFmtId="3" formatCode="#,##0"/>)",
                 R"(<numFmt numFmtId="4" formatCode="0.0000"/>)"};
    // b's cell formats 1..6 show: the code shown, and whether it is held as a custom format.
    const std::pair<int, std::pair<std::string, bool>> bFormats[] = {
        {164, {"#,##0.000", true}},          // b's 164 is not a's 164
        {170, {"0.0", true}},                // a's code under another id
        {44, {"_(\"€\"* #,##0.00_)", true}}, // a language-dependent id with an explicit code
        {3, {"#3", false}},                  // a built-in id with the built-in code keeps its id
        {200, {"#0", false}},                // a custom id the source never defines is General
        {4, {"0.0000", true}},               // a built-in id redefined with another code
    };
    for (const auto& format : bFormats) {
        b.add(b.cellXfs, Xf(format.first, 0, 0, 0));
    }

    Merge merge;
    auto& importA = merge.add(a);
    auto& importB = merge.add(b);
    const int custom = importA.cellXf(1);
    const int date = importA.cellXf(2);
    std::vector<int> mapped;
    for (int xf = 1; xf <= 6; ++xf) {
        mapped.push_back(importB.cellXf(xf));
    }
    const ResultView view(merge.result);
    EXPECT_EQ(view.numberFormat(custom), "0.0");
    EXPECT_EQ(view.numberFormat(date), "#14");
    EXPECT_EQ(mapped[1], custom) << "the same code under another id is the same format";
    for (std::size_t i = 0; i < mapped.size(); ++i) {
        const auto& [code, isCustom] = bFormats[i].second;
        EXPECT_EQ(view.numberFormat(mapped[i]), code) << bFormats[i].first;
        EXPECT_EQ(view.xf(mapped[i]).intAttribute("numFmtId").value_or(0) >= 164, isCustom)
            << bFormats[i].first;
    }
}

TEST(Styles, DateFormatsAreRecognised) {
    StylesXml a;
    a.numFmts = {R"(<numFmt numFmtId="164" formatCode="yyyy\-mm\-dd"/>)",
                 R"(<numFmt numFmtId="165" formatCode="[h]:mm:ss"/>)",
                 R"(<numFmt numFmtId="166" formatCode="&quot;day&quot; 0.00"/>)",
                 R"(<numFmt numFmtId="167" formatCode="mmm\ yyyy h:mm AM/PM"/>)",
                 R"(<numFmt numFmtId="168" formatCode="0.00E+00"/>)"};
    for (const int id : {164, 165, 166, 167, 168, 14, 20, 22, 0}) {
        a.add(a.cellXfs, Xf(id, 0, 0, 0));
    }
    const SourceStyles source = a.parse("dates.xlsx");
    const std::vector<bool> expected = {false, true, false, false, true,
                                        false, true, false, true,  false};
    for (std::size_t index = 0; index < expected.size(); ++index) {
        EXPECT_EQ(source.cellXfShowsDate(static_cast<int>(index)), expected[index])
            << "cell format " << index;
    }
    EXPECT_FALSE(source.cellXfShowsDate(99));
}

TEST(Styles, CustomPaletteColoursBecomeFixed) {
    StylesXml a;
    std::string palette = "<colors><indexedColors>";
    for (std::size_t index = 0; index < kIndexedPaletteSize; ++index) {
        const Argb color = index == 10 ? 0xFF123456u : DefaultIndexedPalette()[index];
        palette += "<rgbColor rgb=\"" + FormatArgb(color) + "\"/>";
    }
    a.colors = palette + "</indexedColors></colors>";
    const int xf = a.add(
        a.cellXfs, Xf(0, a.add(a.fonts, R"(<font><color indexed="10"/><name val="Arial"/></font>)"),
                      0, a.add(a.borders, kThinBorder)));
    const SourceStyles source = a.parse("palette.xlsx");
    ASSERT_EQ(source.indexedPalette().size(), kIndexedPaletteSize);

    Merge merge;
    const int mapped = merge.add(source).cellXf(xf);
    const ResultView view(merge.result);
    EXPECT_EQ(view.font(mapped),
              Canonical(R"(<font><color rgb="FF123456"/><name val="Arial"/></font>)"));
    // The system foreground colour is not part of the palette.
    EXPECT_EQ(view.border(mapped), Canonical(kThinBorder));

    // A palette handed in by the caller wins over the one in the styles part.
    std::vector<std::string> given(kIndexedPaletteSize, "FF000000");
    given[10] = "FFABCDEF";
    ResultStyles other(DefaultTheme());
    const int otherMapped = other.importerFor(source, DefaultTheme(), given)->cellXf(xf);
    EXPECT_EQ(ResultView(other).font(otherMapped),
              Canonical(R"(<font><color rgb="FFABCDEF"/><name val="Arial"/></font>)"));
}

TEST(Styles, NamedStylesMergeByNameAndContent) {
    const auto sourceWithGood = [](const std::string& fillRgb, const std::string& file) {
        StylesXml styles;
        const int fill = styles.add(styles.fills, SolidFill(fillRgb));
        const int styleXf = styles.add(styles.styleXfs, Xf(0, 0, fill, 0));
        styles.add(styles.cellStyles, "<cellStyle name=\"Good\" xfId=\"" + std::to_string(styleXf) +
                                          "\" builtinId=\"26\"/>");
        styles.add(styles.cellXfs, Xf(0, 0, fill, 0, " xfId=\"" + std::to_string(styleXf) + "\""));
        return styles.parse(file);
    };
    Merge merge;
    auto& importA = merge.add(sourceWithGood("FFC6EFCE", "a.xlsx"));
    auto& importB = merge.add(sourceWithGood("FFC6EFCE", "b.xlsx"));
    auto& importC = merge.add(sourceWithGood("FF00FF00", "c.xlsx"));
    const int fromA = importA.cellXf(1);
    const int fromB = importB.cellXf(1);
    const int fromC = importC.cellXf(1);
    const ResultView view(merge.result);

    EXPECT_EQ(view.styleName(fromA), "Good");
    EXPECT_EQ(fromB, fromA) << "an equal style of the same name is one style";
    EXPECT_EQ(view.styleName(fromC), "Good 2");
    EXPECT_EQ(view.fill(fromC), Canonical(SolidFill("FF00FF00")));
    using Renames = std::vector<std::pair<std::string, std::string>>;
    EXPECT_EQ(importC.renamedStyles(), (Renames{{"Good", "Good 2"}}));
    EXPECT_TRUE(importA.renamedStyles().empty());
    // Every source's Normal is the result's Normal.
    EXPECT_EQ(view.styleName(importC.cellXf(0)), "Normal");
    EXPECT_EQ(view.xf(importC.cellXf(0)).intAttribute("xfId"), 0);

    // The renamed copy is no longer the built-in style; each style has its own style format.
    std::set<std::string> styles;
    std::set<std::string> styleXfs;
    for (const auto& style : view.section("cellStyles")) {
        const std::string* builtin = style.attribute("builtinId");
        styles.insert(*style.attribute("name") + " " + (builtin != nullptr ? *builtin : "-"));
        styleXfs.insert(*style.attribute("xfId"));
    }
    EXPECT_EQ(styles, (std::set<std::string>{"Normal 0", "Good 26", "Good 2 -"}));
    EXPECT_EQ(styleXfs.size(), 3u);
}

TEST(Styles, AlternateContentRecordsCountOnceAsTheirFallback) {
    StylesXml a;
    a.add(a.fonts, R"(<mc:AlternateContent xmlns:mc="http://schemas.openxmlformats.org/)"
                   R"(markup-compatibility/2006"><mc:Choice xmlns:hs="urn:other" Requires="hs">)"
                   R"(<font><sz val="9"/><hs:size val="100"/></font></mc:Choice><mc:Fallback>)"
                   R"(<font><sz val="9"/><name val="Dotum"/></font></mc:Fallback>)"
                   R"(</mc:AlternateContent>)");
    const int bold = a.add(a.fonts, kBoldRedArial);
    const int small = a.add(a.cellXfs, Xf(0, 1, 0, 0));
    const int boldXf = a.add(a.cellXfs, Xf(0, bold, 0, 0));
    Merge merge;
    auto& import = merge.add(a);
    EXPECT_EQ(merge.sources.back().fontCount(), 3u);
    const int mappedSmall = import.cellXf(small);
    const int mappedBold = import.cellXf(boldXf);
    const ResultView view(merge.result);
    EXPECT_EQ(view.font(mappedSmall),
              Canonical(R"(<font><sz val="9"/><name val="Dotum"/></font>)"));
    EXPECT_EQ(view.font(mappedBold), Canonical(kBoldRedArial));
}

TEST(Styles, DifferentialFormatsAreImportedByContent) {
    const std::string red = R"(<dxf><font><b/><color rgb="FF9C0006"/></font><fill><patternFill>)"
                            R"(<bgColor rgb="FFFFC7CE"/></patternFill></fill></dxf>)";
    const std::string themed =
        R"(<dxf><font><color theme="4"/></font><numFmt numFmtId="164" formatCode="0.0%"/></dxf>)";
    StylesXml a;
    a.numFmts = {R"(<numFmt numFmtId="164" formatCode="0.0%"/>)"};
    a.dxfs = {red, themed};
    StylesXml b;
    b.numFmts = {R"(<numFmt numFmtId="164" formatCode="#,##0.000"/>)"};
    b.add(b.cellXfs, Xf(164, 0, 0, 0));
    b.dxfs = {themed, red};

    Merge merge;
    auto& importA = merge.add(a);
    auto& importB = merge.add(b);
    const int bCustom = importB.cellXf(1); // takes the next custom id for "#,##0.000"
    const int themedDxf = importA.dxf(1);
    EXPECT_EQ(importA.dxf(0), importB.dxf(1));
    EXPECT_EQ(themedDxf, importB.dxf(0));
    EXPECT_EQ(merge.result.dxfCount(), 2u);

    const ResultView view(merge.result);
    const XmlElement* format = view.at("dxfs", themedDxf).child("numFmt");
    ASSERT_NE(format, nullptr);
    // The dxf's format shares the result's id for its code, which no other code may use.
    EXPECT_EQ(view.codeOf(static_cast<int>(*format->intAttribute("numFmtId"))), "0.0%");
    EXPECT_EQ(*format->attribute("formatCode"), "0.0%");
    EXPECT_EQ(view.numberFormat(bCustom), "#,##0.000");

    // With another result theme, the theme colour inside the dxf is fixed.
    std::string themeXml = Theme::builtinDefault().xml();
    themeXml.replace(themeXml.find("4F81BD"), 6, "C00000"); // accent 1
    const Theme resultTheme = Theme::parse(themeXml, "theme");
    Merge other(resultTheme);
    const int fixedIndex = other.add(a).dxf(1);
    EXPECT_EQ(WriteXml(ResultView(other.result).at("dxfs", fixedIndex), true),
              Canonical(R"(<dxf><font><color rgb="FF4F81BD"/></font>)"
                        R"(<numFmt numFmtId="164" formatCode="0.0%"/></dxf>)"));
}

TEST(Styles, CustomTableStylesComeWithTheirDifferentialFormats) {
    const auto sourceWithStyle = [](const std::string& headerColor, const std::string& file) {
        StylesXml styles;
        styles.dxfs = {R"(<dxf><font><b/></font></dxf>)",
                       "<dxf><fill><patternFill><bgColor rgb=\"" + headerColor +
                           "\"/></patternFill></fill></dxf>"};
        styles.tableStyles =
            R"(<tableStyles count="1" defaultTableStyle="TableStyleMedium9" )"
            R"(defaultPivotStyle="PivotStyleLight16"><tableStyle name="Ledger" pivot="0" )"
            R"(count="2"><tableStyleElement type="wholeTable" dxfId="1"/>)"
            R"(<tableStyleElement type="headerRow" dxfId="0"/></tableStyle></tableStyles>)";
        return styles.parse(file);
    };
    Merge merge;
    auto& importA = merge.add(sourceWithStyle("FFDDEEFF", "a.xlsx"));
    auto& importB = merge.add(sourceWithStyle("FF112233", "b.xlsx"));
    auto& importC = merge.add(sourceWithStyle("FFDDEEFF", "c.xlsx"));

    EXPECT_EQ(importA.tableStyle("Ledger"), "Ledger");
    EXPECT_EQ(importB.tableStyle("Ledger"), "Ledger 2");
    EXPECT_EQ(importC.tableStyle("Ledger"), "Ledger");
    EXPECT_EQ(importA.tableStyle("TableStyleLight1"), "TableStyleLight1");

    const ResultView view(merge.result);
    const auto& styles = view.section("tableStyles");
    ASSERT_EQ(styles.size(), 2u);
    for (const auto& style : styles) {
        const XmlElement* whole = style.child("tableStyleElement");
        ASSERT_NE(whole, nullptr);
        const auto& dxf = view.at("dxfs", static_cast<int>(*whole->intAttribute("dxfId")));
        const std::string expected = *style.attribute("name") == "Ledger" ? "FFDDEEFF" : "FF112233";
        EXPECT_EQ(*dxf.child("fill")->child("patternFill")->child("bgColor")->attribute("rgb"),
                  expected);
    }
    EXPECT_NE(merge.result.toXml().find(R"(defaultTableStyle="TableStyleMedium9")"),
              std::string::npos);
}

TEST(Styles, IndexesOutOfRangeFailWithTheFileAndWhat) {
    StylesXml a;
    a.add(a.cellXfs, Xf(0, 7, 0, 0));
    Merge merge;
    auto& import = merge.add(a, "Broken.xlsx");
    const auto expectError = [](const std::function<void()>& call, std::string_view what) {
        testing::ExpectFailure(call, ErrorCode::IndexOutOfRange, {"'Broken.xlsx'", what});
    };
    expectError([&] { import.cellXf(1); }, "font 7");
    expectError([&] { import.cellXf(5); }, "cell format 5");
    expectError([&] { import.cellXf(-1); }, "cell format -1");
    expectError([&] { import.dxf(0); }, "differential format 0");
    EXPECT_EQ(import.cellXf(0), 0) << "the valid format still imports";

    // A base whose Normal style is broken fails, and leaves the result usable for the next: the
    // first source that imports gives the result its Normal style, and a later source's
    // unformatted cells say that they are in its own default font.
    StylesXml brokenBase;
    brokenBase.styleXfs = {Xf(0, 9, 0, 0)};
    Merge fresh;
    EXPECT_THROW(fresh.add(brokenBase), SpreadsheetError);
    StylesXml good;
    good.fonts = {kBoldRedArial};
    EXPECT_EQ(fresh.add(good).cellXf(0), 0);
    const int calibriDefault = fresh.add(StylesXml{}).cellXf(0);
    EXPECT_NE(calibriDefault, 0);
    const ResultView view(fresh.result);
    EXPECT_EQ(WriteXml(view.at("fonts", 0), true), Canonical(kBoldRedArial));
    EXPECT_EQ(view.at("cellStyleXfs", 0).intAttribute("fontId"), 0);
    EXPECT_EQ(view.font(calibriDefault), Canonical(kCalibri));
    ASSERT_EQ(view.section("cellStyles").size(), 1u);
    EXPECT_EQ(*view.section("cellStyles")[0].attribute("name"), "Normal");
}

TEST(Styles, TooManyCellFormatsFailClearly) {
    StylesXml a;
    // Distinct formats by alignment alone: one more than the result can hold.
    for (std::size_t indent = 0; indent <= kMaxCellFormats; ++indent) {
        a.add(a.cellXfs,
              Xf(0, 0, 0, 0, {}, "<alignment indent=\"" + std::to_string(indent) + "\"/>"));
    }
    Merge merge;
    auto& import = merge.add(a, "Huge.xlsx");
    testing::ExpectFailure(
        [&] {
            for (std::size_t index = 0; index < a.cellXfs.size(); ++index) {
                import.cellXf(static_cast<int>(index));
            }
        },
        ErrorCode::LimitExceeded, {"'Huge.xlsx'"});
    EXPECT_LE(merge.result.cellXfCount(), kMaxCellFormats);
}

} // namespace
} // namespace quillory::spreadsheet::ooxml
