// Shared strings: reading a source's table as canonical items, the result's table by content,
// and the per-source mapping with rich-text translation.

#include "spreadsheet/SpreadsheetError.h"
#include "spreadsheet/ooxml/sheetcopy/SharedStrings.h"
#include "spreadsheet/ooxml/styles/StyleXml.h"

#include <gtest/gtest.h>
#include <string>
#include <vector>

namespace quillory::spreadsheet::ooxml {
namespace {

constexpr const char* kMain = "http://schemas.openxmlformats.org/spreadsheetml/2006/main";

std::string Sst(const std::string& items, const std::string& root = "sst",
                const std::string& declarations = std::string(" xmlns=\"") + kMain + "\"") {
    return R"(<?xml version="1.0" encoding="UTF-8" standalone="yes"?>)"
           "\n<" +
           root + declarations + ">" + items + "</" + root + ">";
}

std::vector<std::string> Items(const SourceSharedStrings& strings) {
    std::vector<std::string> items;
    for (std::size_t index = 0; index < strings.size(); ++index) {
        items.emplace_back(strings.item(index));
    }
    return items;
}

TEST(SharedStrings, ItemsKeepTextRunsAndEscapesAsWritten) {
    const std::string xml = Sst(
        "\n  <si><t>plain</t></si>\n"
        R"(  <si><t xml:space="preserve">  padded  </t></si>)"
        R"(<si><t>a &amp; b &lt; c &gt; d "q"</t></si>)"
        R"(<si><t>line_x000D_break&#13;&#10;end</t></si>)"
        "<si>\n    <r><rPr><b/><sz val=\"11\"/><color theme=\"1\"/><rFont val=\"Calibri\"/></rPr>"
        "<t>Bold</t></r>\n    <r><t xml:space='preserve'> rest</t></r>\n  </si>"
        R"(<si><t>漢字</t><rPh sb="0" eb="2"><t>カンジ</t></rPh>)"
        R"(<phoneticPr fontId="1" type="noConversion"/></si>)"
        "<si/><si><t/></si>");
    const SourceSharedStrings strings = SourceSharedStrings::parse(xml, "text.xlsx");
    const std::vector<std::string> expected = {
        "<t>plain</t>",
        R"(<t xml:space="preserve">  padded  </t>)",
        R"(<t>a &amp; b &lt; c &gt; d "q"</t>)",
        // A carriage return written as a reference must stay one: a raw CR would be read back
        // as a line feed. _xHHHH_ escapes are text and stay untouched.
        "<t>line_x000D_break&#13;\nend</t>",
        R"(<r><rPr><b/><sz val="11"/><color theme="1"/><rFont val="Calibri"/></rPr>)"
        R"(<t>Bold</t></r><r><t xml:space="preserve"> rest</t></r>)",
        R"(<t>漢字</t><rPh sb="0" eb="2"><t>カンジ</t></rPh>)"
        R"(<phoneticPr fontId="1" type="noConversion"/>)",
        "",
        "<t/>",
    };
    EXPECT_EQ(Items(strings), expected);
}

TEST(SharedStrings, PrefixedStrictAndForeignNamesAreResolved) {
    const std::vector<std::string> plain = {"<t>x</t>", "<r><t>y</t></r>"};
    const std::string prefixedItems =
        "<x:si><x:t>x</x:t></x:si><x:si><x:r><x:t>y</x:t></x:r></x:si>";
    EXPECT_EQ(Items(SourceSharedStrings::parse(
                  Sst(prefixedItems, "x:sst", std::string(" xmlns:x=\"") + kMain + "\""),
                  "prefixed.xlsx")),
              plain);
    EXPECT_EQ(Items(SourceSharedStrings::parse(
                  Sst("<si><t>x</t></si><si><r><t>y</t></r></si>", "sst",
                      " xmlns=\"http://purl.oclc.org/ooxml/spreadsheetml/main\""),
                  "strict.xlsx")),
              plain);

    const std::string xml =
        Sst(R"(<si><t>a</t><e:note xmlns:e="urn:example" e:k="v"><t>b</t></e:note></si>)");
    const auto items = Items(SourceSharedStrings::parse(xml, "ext.xlsx"));
    ASSERT_EQ(items.size(), 1u);
    // The item alone, placed in a result table, must still parse with the same names.
    const XmlElement reparsed =
        ParseXmlTree(std::string("<si xmlns=\"") + kMain + "\">" + items[0] + "</si>", "r", "r");
    ASSERT_EQ(reparsed.children.size(), 2u);
    EXPECT_EQ(reparsed.children[1].name.uri, "urn:example");
    EXPECT_EQ(reparsed.children[1].attributes.at(0).name.uri, "urn:example");
    EXPECT_TRUE(reparsed.children[1].children.at(0).name.isMain());
}

TEST(SharedStrings, ResultDeduplicatesByContentAndCountsReferences) {
    ResultSharedStrings result;
    EXPECT_TRUE(result.empty());
    const int plain = result.add("<t>Total</t>");
    const int rich = result.add("<r><rPr><b/></rPr><t>Total</t></r>");
    EXPECT_NE(plain, rich) << "the same text with other runs is another string";
    EXPECT_EQ(result.add("<t>Total</t>"), plain);
    result.addReference(rich);
    EXPECT_EQ(result.add(R"(<t xml:space="preserve">Total </t>)"), 2);
    EXPECT_EQ(result.uniqueCount(), 3u);
    EXPECT_EQ(result.count(), 5u);
    EXPECT_THROW(result.addReference(3), SpreadsheetError);

    // The part parses, states exact counts, and gives the same items back in order.
    const std::string xml = result.toXml();
    const XmlElement root = ParseXmlTree(xml, "result", "xl/sharedStrings.xml");
    EXPECT_EQ(*root.attribute("count"), "5");
    EXPECT_EQ(*root.attribute("uniqueCount"), "3");
    const auto items = Items(SourceSharedStrings::parse(xml, "result"));
    ASSERT_EQ(items.size(), 3u);
    for (int index = 0; index < 3; ++index) {
        EXPECT_EQ(items[static_cast<std::size_t>(index)], result.item(index));
    }

    std::string streamed;
    result.write([&](std::string_view piece) { streamed.append(piece); });
    EXPECT_EQ(streamed, xml);
}

TEST(SharedStrings, ImporterTranslatesRunsOnceAndCountsEveryUse) {
    // The source's fonts: 0 default, 1 the phonetic font.
    const std::string styles =
        std::string(R"(<styleSheet xmlns=")") + kMain +
        R"("><fonts count="2"><font><sz val="11"/><name val="Calibri"/></font>)"
        R"(<font><sz val="9"/><name val="Meiryo"/></font></fonts></styleSheet>)";
    const SourceStyles sourceStyles = SourceStyles::parse(styles, "runs.xlsx");
    const SourceSharedStrings source = SourceSharedStrings::parse(
        Sst(R"(<si><r><rPr><color theme="4"/><scheme val="minor"/></rPr><t>blue</t></r></si>)"
            R"(<si><t>x</t><phoneticPr fontId="1"/></si>)"),
        "runs.xlsx");

    // The result theme differs from the source's (default) theme.
    std::string themeXml = Theme::builtinDefault().xml();
    themeXml.replace(themeXml.find("4F81BD"), 6, "C00000");
    const Theme resultTheme = Theme::parse(themeXml, "result");
    ResultStyles resultStyles(resultTheme);
    // A first source whose fonts occupy the first two slots, so that the phonetic font moves.
    const SourceStyles first = SourceStyles::parse(
        std::string(R"(<styleSheet xmlns=")") + kMain +
            R"("><fonts count="2"><font><sz val="10"/><name val="Arial"/></font>)"
            R"(<font><b/><sz val="10"/><name val="Arial"/></font></fonts><cellXfs count="2">)"
            R"(<xf fontId="0"/><xf fontId="1"/></cellXfs></styleSheet>)",
        "first.xlsx");
    auto firstImport = resultStyles.importerFor(first, resultTheme);
    ASSERT_EQ(firstImport->cellXf(1), 1);
    ASSERT_EQ(resultStyles.fontCount(), 2u);
    auto import = resultStyles.importerFor(sourceStyles, Theme::builtinDefault());
    ASSERT_TRUE(import->themeDiffers());

    ResultSharedStrings result;
    result.add("<t>already there</t>");
    SharedStringImporter strings(source, result, import.get());
    EXPECT_EQ(strings.map(0), 1);
    EXPECT_EQ(strings.map(0), 1);
    EXPECT_EQ(strings.map(1), 2);
    EXPECT_EQ(result.count(), 4u);
    EXPECT_EQ(result.uniqueCount(), 3u);
    EXPECT_EQ(result.item(1), R"(<r><rPr><color rgb="FF4F81BD"/></rPr><t>blue</t></r>)");
    const int phoneticFont = import->font(1);
    EXPECT_EQ(result.item(2),
              "<t>x</t><phoneticPr fontId=\"" + std::to_string(phoneticFont) + "\"/>");
    EXPECT_NE(phoneticFont, 1) << "the result's font 1 is not Meiryo";
    EXPECT_THROW(strings.map(2), SpreadsheetError);

    // Without a styles importer the items are carried as they are.
    ResultSharedStrings raw;
    SharedStringImporter plain(source, raw, nullptr);
    EXPECT_EQ(raw.item(plain.map(0)), source.item(0));
}

} // namespace
} // namespace quillory::spreadsheet::ooxml
