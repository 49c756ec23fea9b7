// Themes and colours: parsing theme parts, equivalence, tints, and the fixing of theme and indexed
// colour references in copied fragments.

#include "spreadsheet/Automation.h"
#include "spreadsheet/ooxml/styles/Colors.h"
#include "spreadsheet/ooxml/styles/Theme.h"
#include "support/TempDir.h"

#include <functional>
#include <gtest/gtest.h>
#include <string>

namespace quillory::spreadsheet::ooxml {
namespace {

TEST(Theme, ChangedColourOrFontIsNotEquivalentItsNameIs) {
    struct Case {
        std::string from;
        std::string to;
        bool equivalent;
        std::function<bool(const Theme&)> holds;
    };
    const Case cases[] = {
        {R"(<a:srgbClr val="4F81BD"/>)", R"(<a:srgbClr val="123456"/>)", false,
         [](const Theme& t) { return t.spreadsheetColors()[4] == 0xFF123456u; }},
        {R"(<a:latin typeface="Calibri"/>)", R"(<a:latin typeface="Aptos"/>)", false,
         [](const Theme& t) { return t.minorFont().latin == "Aptos"; }},
        // A system colour counts as the last colour it showed.
        {R"(<a:sysClr val="windowText" lastClr="000000"/>)",
         R"(<a:sysClr val="windowText" lastClr="202020"/>)", false,
         [](const Theme& t) { return t.spreadsheetColors()[1] == 0xFF202020u; }},
        // The name of the theme and of its schemes is no part of what references resolve to;
        // so the built-in part parses to the very colours and fonts used for comparisons.
        {R"(name="Default">)", R"(name="Another">)", true, [](const Theme&) { return true; }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.to);
        std::string xml = Theme::builtinDefault().xml();
        const auto at = xml.find(c.from);
        ASSERT_NE(at, std::string::npos);
        const Theme changed = Theme::parse(xml.replace(at, c.from.size(), c.to), "t");
        EXPECT_EQ(changed.equivalentTo(Theme::builtinDefault()), c.equivalent);
        EXPECT_TRUE(c.holds(changed));
    }
}

TEST(Theme, EachSourceLooksAsBeforeAfterAMergeIntoAnotherTheme) {
    // Whole engine: two workbooks written by openpyxl, the second with its own theme (accent1
    // 7030A0, accent2 00B050) and palette (index 10 = 123456), merged into one result that takes
    // the first one's theme. An independent reader checks what each copied cell looks like.
    if (std::system("/usr/bin/python3 -c 'import openpyxl' 2>/dev/null") != 0) {
        GTEST_SKIP() << "python3-openpyxl is not installed";
    }
    testing::TempDir folder;
    const auto writer = folder.write("make.py", R"PY(
import sys, re, zipfile, openpyxl
from openpyxl.styles import Font, PatternFill, Border, Side, NamedStyle
from openpyxl.styles.colors import Color
def make(path, red):
    wb = openpyxl.Workbook(); ws = wb.active; ws.title = "Data"
    ws["A1"] = "themed"
    ws["A1"].font = Font(name="Calibri", bold=True, scheme="minor", color=Color(theme=4, tint=0.3999))
    ws["A2"] = 1.5; ws["A2"].number_format = "0.000" if red else "#,##0.0"
    ws["A3"] = "filled"; ws["A3"].fill = PatternFill("solid", fgColor=Color(theme=5))
    ws["A4"] = "bordered"; ws["A4"].border = Border(left=Side("thin", color=Color(indexed=10)))
    style = NamedStyle(name="Highlight"); style.font = Font(bold=True, color="FFFF0000" if red else "FF0000FF")
    wb.add_named_style(style); ws["A5"] = "named"; ws["A5"].style = "Highlight"
    wb.save(path)
folder = sys.argv[1]
make(folder + "/a.xlsx", True); make(folder + "/plain-b.xlsx", False)
palette = b"<colors><indexedColors>" + b"".join(b'<rgbColor rgb="FF%06X"/>' % (0x123456 if i == 10 else 0) for i in range(64)) + b"</indexedColors></colors>"
with zipfile.ZipFile(folder + "/plain-b.xlsx") as source, zipfile.ZipFile(folder + "/b.xlsx", "w", zipfile.ZIP_DEFLATED) as target:
    for item in source.infolist():
        data = source.read(item.filename)
        if item.filename == "xl/theme/theme1.xml":
            data = data.replace(b'<a:srgbClr val="4F81BD"/>', b'<a:srgbClr val="7030A0"/>').replace(b'<a:srgbClr val="C0504D"/>', b'<a:srgbClr val="00B050"/>')
        if item.filename == "xl/styles.xml":
            data = re.sub(rb"<colors>.*?</colors>", b"", data).replace(b"</styleSheet>", palette + b"</styleSheet>")
        target.writestr(item, data)
)PY");
    ASSERT_EQ(
        std::system(("/usr/bin/python3 " + writer.string() + " " + folder.path().string()).c_str()),
        0);

    auto application = CreateEngineApplication();
    Workbook& result = application->Workbooks().Add();
    for (const char* name : {"a.xlsx", "b.xlsx"}) {
        Workbook& source = application->Workbooks().Open(folder / name);
        auto& placeholder = result.Worksheets().Item(result.Worksheets().Count());
        source.Worksheets().Item(1).CopyBefore(placeholder);
        source.Close(false);
    }
    result.Worksheets().Item("Sheet1").Delete();
    const auto merged = folder / "merged.xlsx";
    result.SaveAs(merged);
    application->Quit();

    // Expected colour of b's A1, by hand: 7030A0 = (112, 48, 160): L = (160 + 48) / 2 / 255
    // = .4078, S = (160 - 48) / (160 + 48) = .5385, hue (4 + (112 - 48) / 112) / 6 = .7619.
    // Tint .3999: L' = .4078 * .6001 + .3999 = .6446; q = L' + S - L'S = .8360,
    // p = 2L' - q = .4532. R: t = .0952 < 1/6 -> p + (q - p) * 6t = .6719 -> 171 (AB);
    // G: t = .7619 > 2/3 -> p -> 116 (74); B: t = .4286 -> q -> 213 (D5).
    const auto checker = folder.write("check.py", R"PY(
import sys, openpyxl
book = openpyxl.load_workbook(sys.argv[1])
a, b = book["Data"], book["Data (2)"]
problems = []
def expect(what, actual, wanted):
    if actual != wanted:
        problems.append("%s: %r != %r" % (what, actual, wanted))
# The first workbook's theme is the result's: its references stay.
expect("a A1 theme", (a["A1"].font.color.theme, a["A1"].font.color.tint), (4, 0.3999))
expect("a A1 scheme", a["A1"].font.scheme, "minor")
expect("a A3 fill", a["A3"].fill.fgColor.theme, 5)
expect("a A2 format", a["A2"].number_format, "0.000")
expect("a A5 style", (a["A5"].style, a["A5"].font.color.rgb), ("Highlight", "FFFF0000"))
# The second workbook's colours are fixed as its own theme and palette drew them.
expect("b A1 colour", b["A1"].font.color.rgb, "FFAB74D5")
expect("b A1 scheme", b["A1"].font.scheme, None)
expect("b A1 bold", b["A1"].font.b, True)
expect("b A3 fill", b["A3"].fill.fgColor.rgb, "FF00B050")
expect("b A4 border", b["A4"].border.left.color.rgb, "FF123456")
expect("b A2 format", b["A2"].number_format, "#,##0.0")
expect("b A5 style", (b["A5"].style, b["A5"].font.color.rgb), ("Highlight 2", "FF0000FF"))
if problems:
    print("\n".join(problems))
sys.exit(1 if problems else 0)
)PY");
    EXPECT_EQ(std::system(("/usr/bin/python3 " + checker.string() + " " + merged.string()).c_str()),
              0);
}

TEST(Colors, TintMovesLuminanceTowardsWhiteOrBlack) {
    // 4F81BD = (79, 129, 189): max 189/255 = .7412, min 79/255 = .3098, L = .5255,
    // S = (.7412 - .3098) / (2 - .7412 - .3098) = .4545, hue 212.7 degrees (h = .5909).
    // Lighter, tint .3999: L' = .5255 * .6001 + .3999 = .7153;
    //   q = L' + S - L'S = .8447, p = 2L' - q = .5859;
    //   R: t = h + 1/3 = .9242 > 2/3 -> p = .5859 -> 149.4 -> 149 (95)
    //   G: t = .5909 in [1/2, 2/3) -> p + (q - p)(2/3 - t) * 6 = .7035 -> 179.4 -> 179 (B3)
    //   B: t = h - 1/3 = .2576 in [1/6, 1/2) -> q = .8447 -> 215.4 -> 215 (D7)
    EXPECT_EQ(FormatArgb(ApplyTint(0xFF4F81BD, 0.3999)), "FF95B3D7");
    // Darker, tint -.5: L' = .2627; q = L'(1 + S) = .3822, p = .1433;
    //   R = p -> 36.5 -> 37 (25), G = p + (q - p) * .4545 = .2519 -> 64 (40), B = q -> 97 (61)
    EXPECT_EQ(FormatArgb(ApplyTint(0xFF4F81BD, -0.5)), "FF254061");
    // Greys keep zero saturation: 808080 (L = 128/255) lightened by .25:
    //   L' = 128/255 * .75 + .25 = 159.75/255 -> 160 (A0) in every channel.
    EXPECT_EQ(FormatArgb(ApplyTint(0xFF808080, 0.25)), "FFA0A0A0");
    EXPECT_EQ(ApplyTint(0xFF4F81BD, 0.0), 0xFF4F81BDu);
    EXPECT_EQ(ApplyTint(0xFF4F81BD, -1.0), 0xFF000000u);
    EXPECT_EQ(ApplyTint(0xFF4F81BD, 1.0), 0xFFFFFFFFu);
}

TEST(Colors, ArgbParsingAcceptsSixOrEightHexDigitsOnly) {
    EXPECT_EQ(ParseArgb("FF00FF00"), 0xFF00FF00u);
    EXPECT_EQ(ParseArgb("00ff00"), 0xFF00FF00u);
    EXPECT_FALSE(ParseArgb("GG00FF00"));
    EXPECT_FALSE(ParseArgb("FF00FF0"));
    EXPECT_FALSE(ParseArgb(""));
}

TEST(Colors, FragmentTranslationFixesRunColoursAndKeepsTheRestByteForByte) {
    const ColorResolver resolver(Theme::builtinDefault().spreadsheetColors(), std::nullopt);
    FragmentRules rules;
    rules.colors = &resolver;
    rules.dropFontScheme = true;

    const std::string runs =
        R"(<r><rPr><b/><sz val="11"/><color theme="4" tint="0.3999"/><rFont val="Calibri"/>)"
        R"(<scheme val="minor"/></rPr><t xml:space="preserve"> A &amp; B </t></r>)"
        R"(<r><rPr><color rgb="FFFF0000"/></rPr><t>_x000D_<!-- <color theme="1"/> --></t></r>)";
    const std::string expected =
        R"(<r><rPr><b/><sz val="11"/><color rgb="FF95B3D7"/><rFont val="Calibri"/>)"
        R"(</rPr><t xml:space="preserve"> A &amp; B </t></r>)"
        R"(<r><rPr><color rgb="FFFF0000"/></rPr><t>_x000D_<!-- <color theme="1"/> --></t></r>)";
    EXPECT_EQ(TranslateFragment(runs, rules), expected);

    // Prefixed extension colours (x14 data bars and the like) follow the same rule.
    EXPECT_EQ(TranslateFragment(R"(<x14:negativeFillColor theme="1"/>)", rules),
              R"(<x14:negativeFillColor rgb="FF000000"/>)");

    // Nothing to do: the very same text comes back.
    const FragmentRules none;
    EXPECT_EQ(TranslateFragment(runs, none), runs);
}

} // namespace
} // namespace quillory::spreadsheet::ooxml
