// Themes and colours: parsing theme parts, equivalence, tints, and the fixing of theme and indexed
// colour references in copied fragments.

#include "spreadsheet/SpreadsheetError.h"
#include "spreadsheet/ooxml/Colors.h"
#include "spreadsheet/ooxml/Theme.h"
#include "support/PackageEntries.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>
#include <string>

#ifdef QUILLORY_HAVE_XLSXWRITER
#include <xlsxwriter.h>
#endif

namespace quillory::spreadsheet::ooxml {
namespace {

std::string ReplaceOnce(std::string text, const std::string& from, const std::string& to) {
    const auto position = text.find(from);
    EXPECT_NE(position, std::string::npos) << "missing: " << from;
    if (position != std::string::npos) {
        text.replace(position, from.size(), to);
    }
    return text;
}

TEST(Theme, DefaultThemeXmlDefinesTheColoursAndFontsItClaims) {
    // The XML written into results and the values used for comparisons are kept separately;
    // they must agree or theme references would be resolved against the wrong colours.
    const Theme defaults = Theme::builtinDefault();
    const Theme reparsed = Theme::parse(defaults.xml(), "default");
    EXPECT_EQ(reparsed.spreadsheetColors(), defaults.spreadsheetColors());
    EXPECT_EQ(reparsed.minorFont(), defaults.minorFont());
    EXPECT_EQ(reparsed.majorFont(), defaults.majorFont());
    EXPECT_TRUE(reparsed.equivalentTo(defaults));
    // theme="0" is lt1 (window, white) and theme="1" dk1 (text, black): the first two pairs of
    // the scheme are swapped relative to their order in the part.
    EXPECT_EQ(reparsed.spreadsheetColors()[0], 0xFFFFFFFFu);
    EXPECT_EQ(reparsed.spreadsheetColors()[1], 0xFF000000u);
    EXPECT_EQ(reparsed.spreadsheetColors()[3], 0xFF1F497Du);
    EXPECT_EQ(reparsed.spreadsheetColors()[4], 0xFF4F81BDu);
}

TEST(Theme, ChangedColourOrFontIsNotEquivalent) {
    const std::string xml = Theme::builtinDefault().xml();
    const Theme accent = Theme::parse(
        ReplaceOnce(xml, R"(<a:srgbClr val="4F81BD"/>)", R"(<a:srgbClr val="123456"/>)"), "a");
    EXPECT_FALSE(accent.equivalentTo(Theme::builtinDefault()));
    EXPECT_EQ(accent.spreadsheetColors()[4], 0xFF123456u);

    const Theme font = Theme::parse(
        ReplaceOnce(xml, R"(<a:latin typeface="Calibri"/>)", R"(<a:latin typeface="Aptos"/>)"),
        "b");
    EXPECT_FALSE(font.equivalentTo(Theme::builtinDefault()));
    EXPECT_EQ(font.minorFont().latin, "Aptos");

    // The name of the theme and of its schemes is no part of what references resolve to.
    const Theme renamed =
        Theme::parse(ReplaceOnce(xml, R"(name="Default">)", R"(name="Another">)"), "c");
    EXPECT_TRUE(renamed.equivalentTo(Theme::builtinDefault()));
}

TEST(Theme, SystemColoursUseTheirLastColour) {
    const std::string xml = ReplaceOnce(Theme::builtinDefault().xml(),
                                        R"(<a:sysClr val="windowText" lastClr="000000"/>)",
                                        R"(<a:sysClr val="windowText" lastClr="202020"/>)");
    EXPECT_EQ(Theme::parse(xml, "t").spreadsheetColors()[1], 0xFF202020u);
}

TEST(Theme, BrokenOrHostilePartsGetClearErrors) {
    try {
        Theme::parse("<a:theme xmlns:a=\"x\"><a:themeElements>", "Broken.xlsx");
        FAIL() << "a truncated theme was accepted";
    } catch (const SpreadsheetError& error) {
        EXPECT_EQ(error.code(), ErrorCode::MalformedXml);
        EXPECT_NE(error.description().find("'Broken.xlsx'"), std::string::npos);
        EXPECT_NE(error.description().find("xl/theme/theme1.xml"), std::string::npos);
    }
    const std::string laughs = R"(<?xml version="1.0"?><!DOCTYPE a [<!ENTITY l "lol">]>)"
                               R"(<a:theme xmlns:a="x">&l;</a:theme>)";
    try {
        Theme::parse(laughs, "Laughs.xlsx");
        FAIL() << "an entity declaration was accepted";
    } catch (const SpreadsheetError& error) {
        EXPECT_EQ(error.code(), ErrorCode::XmlDeclarationsRefused);
        EXPECT_NE(error.description().find("'Laughs.xlsx'"), std::string::npos);
    }
}

#ifdef QUILLORY_HAVE_XLSXWRITER
TEST(Theme, ThemeOfAnIndependentWriterMatchesTheDefault) {
    // A workbook written by another program with the standard theme: its theme references must
    // keep their meaning when the result carries the built-in default.
    testing::TempDir folder;
    const auto file = folder / "plain.xlsx";
    lxw_workbook* workbook = workbook_new(file.c_str());
    ASSERT_NE(workbook, nullptr);
    worksheet_write_string(workbook_add_worksheet(workbook, nullptr), 0, 0, "x", nullptr);
    ASSERT_EQ(workbook_close(workbook), LXW_NO_ERROR);

    const auto package = testing::PackageEntries::read(file);
    const std::string* themeXml = package.find("xl/theme/theme1.xml");
    ASSERT_NE(themeXml, nullptr);
    const Theme theme = Theme::parse(*themeXml, "plain.xlsx");
    EXPECT_TRUE(theme.equivalentTo(Theme::builtinDefault()));
    EXPECT_EQ(theme.xml(), *themeXml);
}
#endif

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

TEST(Colors, ResolverChangesOnlyWhatDiffers) {
    const std::string theme = "4";
    const std::string tint = "0.3999";
    const std::string indexed = "10";
    const std::string system = "64";

    const ColorResolver themeOnly(Theme::builtinDefault().spreadsheetColors(), std::nullopt);
    EXPECT_EQ(themeOnly.resolve(&theme, nullptr, &tint), 0xFF95B3D7u);
    EXPECT_FALSE(themeOnly.resolve(nullptr, &indexed, nullptr)) << "palette is the default";

    std::vector<Argb> palette(DefaultIndexedPalette().begin(), DefaultIndexedPalette().end());
    palette[10] = 0xFF123456;
    const ColorResolver paletteOnly(std::nullopt, palette);
    EXPECT_EQ(paletteOnly.resolve(nullptr, &indexed, nullptr), 0xFF123456u);
    EXPECT_FALSE(paletteOnly.resolve(nullptr, &system, nullptr)) << "system colours stay";
    EXPECT_FALSE(paletteOnly.resolve(&theme, nullptr, nullptr)) << "themes are equivalent";
    EXPECT_FALSE(IsDefaultIndexedPalette(palette));
    palette[10] = DefaultIndexedPalette()[10];
    EXPECT_TRUE(IsDefaultIndexedPalette(palette));
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

TEST(Colors, FragmentTranslationRemapsPhoneticFonts) {
    FragmentRules rules;
    rules.phoneticFontId = [](int font) { return font + 10; };
    EXPECT_EQ(TranslateFragment(R"(<t>x</t><rPh sb="0" eb="1"><t>y</t></rPh>)"
                                R"(<phoneticPr fontId="2" type="noConversion"/>)",
                                rules),
              R"(<t>x</t><rPh sb="0" eb="1"><t>y</t></rPh>)"
              R"(<phoneticPr fontId="12" type="noConversion"/>)");
}

} // namespace
} // namespace quillory::spreadsheet::ooxml
