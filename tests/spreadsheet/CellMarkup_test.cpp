// The markup a sheet copy writes for each cell: cells whose attributes, formulas and values need
// escaping, carry a namespace prefix or grow when escaped, which are written into room reserved
// per cell, read back as written.

#include "EngineTestSupport.h"

namespace quillory::testing {
namespace {

using spreadsheet::ooxml::XmlNode;

std::string LongFormula() {
    // Every character of `"<>"` grows when escaped: the cell is many times its source length.
    std::string formula = "A1";
    while (formula.size() < 3000) {
        formula += "&\"<>\"&IF(B1<>\"&\",\"<\",\">\")";
    }
    return formula;
}

TEST(CellMarkup, CellsNeedingEscapesOrAPrefixKeepEveryAttributeFormulaAndValue) {
    TempDir dir;
    std::string longEscaped;
    spreadsheet::ooxml::EscapeTextInto(longEscaped, LongFormula());
    MiniWorkbook book;
    book.sharedStrings = {"<t>first</t>", "<t>second &amp; more</t>"};
    book.sheets = {
        {"Cells",
         "<sheetData><row r=\"1\" xmlns:foo=\"urn:quillory:test\">"
         "<c r=\"A1\" s=\"1\" t=\"s\"><v>1</v></c>"
         "<c r=\"B1\" t=\"str\"><f>\"a&lt;b\"&amp;\"&amp;\"</f><v>a&lt;b&amp;</v></c>"
         "<c r=\"C1\" t=\"inlineStr\"><is><t xml:space=\"preserve\"> x &gt; y </t></is></c>"
         "<c r=\"D1\" t=\"n\" s=\"2\" foo:tag=\"a&lt;&quot;&amp;&#10;\"><v>45000</v></c>"
         "<c s=\"1\"><v>7</v></c>"
         "</row><row r=\"2\" "
         "xmlns:x=\"http://schemas.openxmlformats.org/spreadsheetml/2006/main\">"
         "<x:c r=\"A2\" t=\"s\"><x:v>0</x:v></x:c>"
         "<x:c r=\"B2\"><x:f>A2&amp;\"&quot;&quot;\"</x:f><x:v>0</x:v></x:c>"
         "<c r=\"C2\" t=\"str\"><f>" +
             longEscaped + "</f><v>long</v></c></row></sheetData>"}};
    const auto file = WriteBook(dir, "Cells.xlsx", book);
    MergeInto(dir / "out.xlsx", {{file, "Cells"}});
    const auto package = PackageEntries::read(dir / "out.xlsx");
    const XmlNode sheet = PartTree(package, "xl/worksheets/sheet1.xml");
    const XmlNode strings = PartTree(package, "xl/sharedStrings.xml");

    auto sharedString = [&](const XmlNode& c) {
        const auto index = std::stoul(c.child("v")->textContent());
        std::vector<const XmlNode*> items = strings.childrenNamed("si");
        return index < items.size() ? items[index]->child("t")->textContent() : "?";
    };

    const XmlNode& a1 = CellOf(sheet, "A1");
    EXPECT_EQ(a1.attributeOr("t", ""), "s");
    EXPECT_NE(a1.attributeOr("s", "0"), "0") << "the style was lost";
    EXPECT_EQ(sharedString(a1), "second & more");

    EXPECT_EQ(CellText(sheet, "B1", "f"), "\"a<b\"&\"&\"");
    EXPECT_EQ(CellText(sheet, "B1"), "a<b&");
    EXPECT_EQ(CellOf(sheet, "B1").attributeOr("t", ""), "str");
    const XmlNode* inlineText = FindElement(CellOf(sheet, "C1"), "t");
    ASSERT_NE(inlineText, nullptr);
    EXPECT_EQ(inlineText->textContent(), " x > y ");

    const XmlNode& d1 = CellOf(sheet, "D1");
    EXPECT_EQ(d1.attribute("t"), nullptr) << "t=\"n\" is the default and left out";
    EXPECT_EQ(CellText(sheet, "D1"), "45000");
    EXPECT_EQ(d1.attributeOr("foo:tag", ""), "a<\"&\n") << "an unknown attribute changed";

    // A cell without a reference keeps its style and value.
    const XmlNode* row1 = FindElement(sheet, "row", "r", "1");
    ASSERT_NE(row1, nullptr);
    const std::vector<const XmlNode*> row1Cells = row1->childrenNamed("c");
    ASSERT_EQ(row1Cells.size(), 5U);
    EXPECT_EQ(row1Cells[4]->attribute("r"), nullptr);
    EXPECT_NE(row1Cells[4]->attributeOr("s", "0"), "0");
    EXPECT_EQ(row1Cells[4]->child("v")->textContent(), "7");

    // Prefixed cells keep their prefix on the cell and its children.
    const std::string& sheetXml = *package.find("xl/worksheets/sheet1.xml");
    EXPECT_NE(sheetXml.find("<x:c r=\"A2\" t=\"s\"><x:v>"), std::string::npos);
    EXPECT_EQ(sharedString(CellOf(sheet, "A2")), "first");
    const XmlNode* b2Formula = FindElement(CellOf(sheet, "B2"), "f");
    ASSERT_NE(b2Formula, nullptr);
    EXPECT_EQ(b2Formula->name, "x:f");
    EXPECT_EQ(b2Formula->textContent(), "A2&\"\"\"\"");

    EXPECT_EQ(CellText(sheet, "C2", "f"), LongFormula());
    EXPECT_EQ(CellText(sheet, "C2"), "long");
}

} // namespace
} // namespace quillory::testing
