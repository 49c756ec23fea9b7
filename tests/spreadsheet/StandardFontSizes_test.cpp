// A sheet whose workbook has another standard font than the result: what is written for its
// default columns and rows, and what happens when the font or the sheet's defaults are unusable.

#include "EngineTestSupport.h"

namespace quillory::testing {
namespace {

using spreadsheet::ReportKind;

constexpr std::string_view kCalibri11 = "<font><sz val=\"11\"/><name val=\"Calibri\"/></font>";
constexpr std::string_view kStoredColumn =
    "<cols><col min=\"1\" max=\"1\" width=\"20\" customWidth=\"1\"/></cols><sheetData/>";

TEST(StandardFontSizes, DefaultsAreKeptOrTheReportSaysWhyNot) {
    const struct {
        const char* label;
        std::string font;     // the second workbook's Normal font record
        std::string body;     // its sheet's children
        bool converted;       // widths and heights written for the result's font
        const char* reported; // part of the one note about the workbook
    } cases[] = {
        {"nothing stated", "<font><sz val=\"12\"/><name val=\"Calibri\"/></font>", "<sheetData/>",
         true,
         "Calibri 12 differs from the result's Calibri 11: column widths and row heights "
         "were converted to keep their size"},
        {"no size", "<font><name val=\"Arial\"/></font>", std::string(kStoredColumn), false,
         "because Arial has no size"},
        {"size 0", "<font><sz val=\"0\"/><name val=\"Arial\"/></font>", std::string(kStoredColumn),
         false, "0 pt is not a size a standard font takes"},
        {"size 400", "<font><sz val=\"400\"/><name val=\"Arial\"/></font>",
         std::string(kStoredColumn), false, "400 pt is not a size a standard font takes"},
        {"unknown font", "<font><sz val=\"11\"/><name val=\"Comic Neue\"/></font>",
         std::string(kStoredColumn), false, "digit widths of Comic Neue are not known"},
        {"baseColWidth 0", "<font><sz val=\"12\"/><name val=\"Calibri\"/></font>",
         "<sheetFormatPr baseColWidth=\"0\" defaultRowHeight=\"15\"/>" + std::string(kStoredColumn),
         false, "baseColWidth (0)"},
        {"baseColWidth 255", "<font><sz val=\"12\"/><name val=\"Calibri\"/></font>",
         "<sheetFormatPr baseColWidth=\"255\" defaultRowHeight=\"15\"/>" +
             std::string(kStoredColumn),
         false, "baseColWidth (255)"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.label);
        TempDir dir;
        MiniWorkbook base;
        base.sheets.push_back({"Base"});
        const auto first = WriteBook(dir, "base.xlsx", base);
        MiniWorkbook other;
        other.sheets.push_back({"One", c.body});
        other.sheets.push_back({"Two", c.body});
        PackageEntries package = BuildPackage(other);
        package.replaceOnce("xl/styles.xml", kCalibri11, c.font);
        package.write(dir / "other.xlsx");

        const auto merged = MergeAndRead(
            dir, {{first, "Base"}, {dir / "other.xlsx", "One"}, {dir / "other.xlsx", "Two"}});

        int notes = 0;
        for (const auto& item : merged.report.items) {
            notes += item.message.find(c.reported) != std::string::npos ? 1 : 0;
        }
        EXPECT_EQ(notes, std::string_view(c.label).starts_with("base") ? 2 : 1)
            << "one note per workbook; a sheet's own baseColWidth is reported per sheet";
        EXPECT_TRUE(ReportHas(merged.report,
                              c.converted ? ReportKind::Adjusted : ReportKind::MayLookDifferent,
                              c.reported));
        const auto sheet = merged.sheet(2);
        const auto* format = FindElement(sheet, "sheetFormatPr");
        if (c.converted) {
            ASSERT_NE(format, nullptr) << "written where the sheet had none";
            // 8 characters of 8 px + 5, widened to 72 px: 72 px under 7 px digits.
            EXPECT_EQ(format->attributeOr("defaultColWidth", ""), "10.2890625");
            EXPECT_EQ(format->attributeOr("defaultRowHeight", ""), "16.5");
            EXPECT_EQ(format->attributeOr("customHeight", ""), "1");
        } else {
            EXPECT_TRUE(format == nullptr || format->attribute("defaultColWidth") == nullptr);
            EXPECT_TRUE(format == nullptr || format->attribute("customHeight") == nullptr);
            EXPECT_EQ(FindElement(sheet, "col")->attributeOr("width", ""), "20");
        }
    }
}

} // namespace
} // namespace quillory::testing
