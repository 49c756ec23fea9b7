// The progress a save reports, and a handler that throws.

#include "EngineTestSupport.h"
#include "spreadsheet/ooxml/WriteProgress.h"

#include <gtest/gtest.h>

namespace quillory::testing {
namespace {

using spreadsheet::SaveProgress;
using spreadsheet::SpreadsheetError;

std::string NumberedRows(int count) {
    std::string body = "<sheetData>";
    for (int r = 1; r <= count; ++r) {
        const std::string n = std::to_string(r);
        body += "<row r=\"" + n + "\"><c r=\"A" + n + "\"><v>" + n + "</v></c><c r=\"B" + n +
                "\"><v>" + std::to_string(r * 7) + "</v></c></row>";
    }
    return body + "</sheetData>";
}

// A result holding Big, Small and Big again: a save whose handler throws leaves nothing; then the
// same workbook saves (a failed report spoils nothing), reporting from nothing to the whole of its
// sheet data, in order and a bounded number of times.
TEST(SaveProgressTest, ThrowingHandlerLeavesNothingThenReportsRunInOrderToAllSheetData) {
    TempDir dir;
    MiniWorkbook book;
    book.sheets = {MiniSheet("Big", NumberedRows(40000)), MiniSheet("Small", NumberedRows(3))};
    const PackageEntries package = BuildPackage(book);
    package.write(dir / "source.xlsx");
    const std::uint64_t bigBytes = package.find("xl/worksheets/sheet1.xml")->size();
    const std::uint64_t smallBytes = package.find("xl/worksheets/sheet2.xml")->size();
    const auto application = spreadsheet::CreateEngineApplication();
    spreadsheet::Workbook& result = application->Workbooks().Add();
    result.AllSheets().Item(1).SetName("Placeholder");
    spreadsheet::Workbook& source = application->Workbooks().Open(dir / "source.xlsx");
    int next = 1;
    for (const char* name : {"Big", "Small", "Big"}) {
        source.Worksheets().Item(name).CopyBefore(result.AllSheets().Item(next++));
    }
    result.AllSheets().Item(next).Delete();

    for (const int failAt : {1, 3}) { // at the start, and while a sheet is streamed
        int calls = 0;
        application->SetSaveProgressHandler([&](const SaveProgress&) {
            if (++calls == failAt) {
                throw SpreadsheetError(spreadsheet::ErrorCode::Internal, "stopped by the test");
            }
        });
        EXPECT_THROW(result.SaveAs(dir / "out.xlsx"), SpreadsheetError) << "fail at " << failAt;
        std::vector<std::filesystem::path> left;
        for (const auto& entry : std::filesystem::directory_iterator(dir.path())) {
            left.push_back(entry.path().filename());
        }
        EXPECT_EQ(left, std::vector<std::filesystem::path>{"source.xlsx"}) << "fail at " << failAt;
    }

    std::vector<SaveProgress> reports;
    application->SetSaveProgressHandler(
        [&](const SaveProgress& progress) { reports.push_back(progress); });
    result.SaveAs(dir / "out.xlsx");
    EXPECT_TRUE(std::filesystem::exists(dir / "out.xlsx"));
    const std::uint64_t total = 2 * bigBytes + smallBytes;
    ASSERT_GE(reports.size(), 3u);
    EXPECT_LE(reports.size(), spreadsheet::ooxml::kProgressReportsPerSave + 2);
    EXPECT_EQ(reports.front().done, 0u);
    EXPECT_EQ(reports.back().done, total);
    std::size_t between = 0;
    for (std::size_t i = 0; i < reports.size(); ++i) {
        EXPECT_EQ(reports[i].total, total) << "report " << i;
        EXPECT_LE(reports[i].done, total) << "report " << i;
        if (i > 0) {
            EXPECT_GE(reports[i].done, reports[i - 1].done) << "report " << i;
        }
        between += reports[i].done > 0 && reports[i].done < bigBytes ? 1 : 0;
    }
    EXPECT_GT(between, 1u) << "the first large sheet is reported while it is written";
}

} // namespace
} // namespace quillory::testing
