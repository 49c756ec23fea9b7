// The automation interface over the native engine: listing, sheet operations, the "Name (2)"
// rule, sources left untouched, and writes that fail without leaving a file.

#include "EngineTestSupport.h"
#include "spreadsheet/ooxml/WorkbookWriter.h"
#include "support/FailingDevice.h"
#include "support/PackageChecker.h"

#include <fcntl.h>
#include <sys/resource.h>
#include <unistd.h>

namespace quillory::testing {
namespace {

using spreadsheet::ErrorCode;
using spreadsheet::SheetKind;
using spreadsheet::SheetVisibility;
using spreadsheet::SpreadsheetError;

// The first sheet's part is not even XML: listing never looks at a sheet part, a copy does.
TEST(EngineListing, WorksheetsInTabOrderWithoutChartAndMacroSheetsReadingNoSheetPart) {
    TempDir dir;
    PackageEntries package =
        BuildPackage({.sheets = {{"Data"},
                                 {"Chart1", "", "chartsheet"},
                                 {"Macro1", "", "macrosheet"},
                                 {"Summary", "<sheetData/>", "worksheet", "hidden"}}});
    package.set("xl/worksheets/sheet1.xml", "this is not XML <<<");
    const auto file = dir / "Mixed.xlsx";
    package.write(file);
    auto application = spreadsheet::CreateEngineApplication();
    spreadsheet::Workbook& book = application->Workbooks().Open(file);
    ASSERT_EQ(book.Worksheets().Count(), 2);
    EXPECT_EQ(book.Worksheets().Item(1).Name(), "Data");
    EXPECT_EQ(book.Worksheets().Item(2).Name(), "Summary");
    EXPECT_EQ(book.Worksheets().Item(2).Visibility(), SheetVisibility::Hidden);
    ASSERT_EQ(book.AllSheets().Count(), 4);
    EXPECT_EQ(book.AllSheets().Item(2).Kind(), SheetKind::ChartSheet);
    EXPECT_EQ(book.AllSheets().Item(3).Kind(), SheetKind::MacroSheet);
    // By name, without regard to case; a name it does not hold fails with a clear description.
    EXPECT_EQ(book.Worksheets().Item("summary").Name(), "Summary");
    ExpectFailure([&] { book.Worksheets().Item("Chart1"); }, ErrorCode::SheetNotFound,
                  {"Mixed.xlsx", "Chart1"});
    ExpectFailure([&] { application->Workbooks().Open(dir / "Gone.xlsx"); },
                  ErrorCode::FileNotFound, {"'Gone.xlsx'"});
    ExpectFailure([&] { MergeInto(dir / "out.xlsx", {{file, "Data"}}); }, ErrorCode::MalformedXml);
    EXPECT_FALSE(std::filesystem::exists(dir / "out.xlsx"));
}

TEST(EngineSheets, NewWorkbookRenameDeleteAndCopiesOfTakenNamesGetNumbered) {
    TempDir dir;
    MiniWorkbook book;
    book.sheets = {{"Data"}, {std::string(31, 'L')}};
    const auto file = WriteBook(dir, "Source.xlsx", book);
    auto application = spreadsheet::CreateEngineApplication();
    spreadsheet::Workbook& result = application->Workbooks().Add();
    ASSERT_EQ(result.AllSheets().Count(), 1);
    spreadsheet::Sheet& first = result.AllSheets().Item(1);
    EXPECT_EQ(first.Name(), "Sheet1");
    ExpectFailure([&] { first.SetName("a/b"); }, ErrorCode::InvalidSheetName);
    ExpectFailure([&] { first.SetName(std::string(32, 'x')); }, ErrorCode::InvalidSheetName);
    ExpectFailure([&] { first.Delete(); }, ErrorCode::CannotDeleteLastSheet);
    ExpectFailure([&] { result.AllSheets().Item(2); }, ErrorCode::IndexOutOfRange);
    first.SetName("DATA");
    EXPECT_EQ(result.AllSheets().Item("data").Name(), "DATA");
    spreadsheet::Workbook& source = application->Workbooks().Open(file);
    source.Worksheets().Item("Data").CopyBefore(result.AllSheets().Item(1));
    source.Worksheets().Item("Data").CopyBefore(result.AllSheets().Item(1));
    source.Worksheets().Item(2).CopyBefore(result.AllSheets().Item(3));
    source.Worksheets().Item(2).CopyBefore(result.AllSheets().Item(4));
    ASSERT_EQ(result.AllSheets().Count(), 5);
    EXPECT_EQ(result.AllSheets().Item(1).Name(), "Data (3)");
    EXPECT_EQ(result.AllSheets().Item(2).Name(), "Data (2)");
    EXPECT_EQ(result.AllSheets().Item(3).Name(), std::string(31, 'L'));
    EXPECT_EQ(result.AllSheets().Item(4).Name(), std::string(27, 'L') + " (2)");
    EXPECT_EQ(result.AllSheets().Item(5).Name(), "DATA");
    EXPECT_TRUE(
        ReportHas(application->Report(), spreadsheet::ReportKind::SheetRenamed, "'Data (2)'"));

    // Names stay taken and come free as sheets are renamed and deleted.
    ExpectFailure([&] { result.AllSheets().Item(2).SetName("data (3)"); },
                  ErrorCode::SheetNameTaken);
    result.AllSheets().Item(1).SetName("data (3)"); // a case variant of its own name
    result.AllSheets().Item(2).Delete();
    result.AllSheets().Item(1).SetName("Data (2)");
    result.AllSheets().Item(1).SetName("Data (3)");
    ExpectFailure([&] { result.AllSheets().Item(4).SetName("data (3)"); },
                  ErrorCode::SheetNameTaken);
    source.Worksheets().Item("Data").CopyBefore(result.AllSheets().Item(1));
    EXPECT_EQ(result.AllSheets().Item(1).Name(), "Data (2)");
}

// Every source stays open until the result is written: a merge of more workbooks than the
// process's open-file limit raises the limit as far as the system allows, and where even that
// is not enough it fails naming the file and the reason, writing nothing. Each case runs in a
// child process, since the limit belongs to the whole process.
constexpr int kManySources = 48;

// Lowers the limit to the handles in use now plus a few, far fewer than the sources.
void LimitOpenFiles(bool hardToo) {
    int inUse = 0;
    for (int fd = 0; fd < 4096; ++fd) {
        inUse += ::fcntl(fd, F_GETFD) != -1 ? 1 : 0;
    }
    rlimit limit{};
    ::getrlimit(RLIMIT_NOFILE, &limit);
    limit.rlim_cur = static_cast<rlim_t>(inUse + 12);
    if (hardToo) {
        limit.rlim_max = limit.rlim_cur;
    }
    if (::setrlimit(RLIMIT_NOFILE, &limit) != 0) {
        std::_Exit(3);
    }
}

TEST(ManySources, RaiseTheOpenFileLimitAndBeyondWhatTheSystemAllowsFailClearly) {
    TempDir dir;
    MiniWorkbook book;
    book.sheets = {{"Data", "<sheetData><row r=\"1\"><c r=\"A1\"><v>1</v></c></row></sheetData>"}};
    std::vector<Copy> copies;
    for (int i = 0; i < kManySources; ++i) {
        copies.push_back({WriteBook(dir, "Book" + std::to_string(i) + ".xlsx", book), "Data"});
    }
    const auto output = dir / "out.xlsx";
    EXPECT_EXIT(
        {
            LimitOpenFiles(false);
            MergeInto(output, copies);
            std::_Exit(std::filesystem::exists(output) ? 0 : 4);
        },
        ::testing::ExitedWithCode(0), "");
    EXPECT_EQ(checkPackageFile(output), std::vector<std::string>{});
#if !defined(__SANITIZE_ADDRESS__)
    // The sanitizers' runtime needs file handles of its own to check the error object, and this
    // case leaves none; the plain build runs it.
    const auto refused = dir / "refused.xlsx";
    EXPECT_EXIT(
        {
            LimitOpenFiles(true);
            try {
                MergeInto(refused, copies);
            } catch (const SpreadsheetError& error) {
                std::cerr << error.description();
                std::_Exit(std::filesystem::exists(refused) ? 4 : 0);
            }
            std::_Exit(5);
        },
        ::testing::ExitedWithCode(0),
        "'Book[0-9]+\\.xlsx' cannot be opened: too many files are open");
#endif
}

TEST(EngineWriting, FailedWriteLeavesNoFileAndKeepsTheOldOne) {
    TempDir dir;
    MiniWorkbook book;
    std::string rows = "<sheetData>";
    for (int r = 1; r <= 2000; ++r) {
        rows += "<row r=\"" + std::to_string(r) + "\"><c r=\"A" + std::to_string(r) + "\"><v>" +
                std::to_string(r * 7919 % 10007) + "</v></c></row>";
    }
    book.sheets = {{"Data", rows + "</sheetData>"}};
    const auto file = WriteBook(dir, "Source.xlsx", book);
    auto source = spreadsheet::ooxml::SourcePackage::OpenFile(file);
    spreadsheet::ooxml::WorkbookPlan plan;
    plan.sheets.push_back({"Data", SheetVisibility::Visible, source, 0});
    const auto target = dir / "out.xlsx";
    for (const std::uint64_t budget : {0ull, 30ull, 5000ull}) {
        std::filesystem::remove(target);
        dir.write("out.xlsx", "earlier result");
        SCOPED_TRACE("budget " + std::to_string(budget));
        spreadsheet::MergeReport report;
        ExpectFailure(
            [&] {
                spreadsheet::ooxml::SaveWorkbookFile(plan, target, report,
                                                     FailingDevice::After(budget));
            },
            ErrorCode::DiskFull);
        EXPECT_EQ(readFile(target), "earlier result");
        EXPECT_TRUE(report.empty());
        EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.path()), {}), 2)
            << "a temporary file was left behind";
    }
}

TEST(EngineWriting, OutputFolderThatCannotBeWritten) {
    TempDir dir;
    auto application = spreadsheet::CreateEngineApplication();
    spreadsheet::Workbook& book = application->Workbooks().Add();
    ExpectFailure([&] { book.SaveAs(dir / "missing" / "out.xlsx"); }, ErrorCode::OutputNotWritable);
    if (geteuid() == 0) {
        GTEST_SKIP() << "running as root: folder permissions do not stop writes";
    }
    const auto locked = dir / "locked";
    std::filesystem::create_directory(locked);
    std::filesystem::permissions(locked, std::filesystem::perms::owner_read |
                                             std::filesystem::perms::owner_exec);
    ExpectFailure([&] { book.SaveAs(locked / "out.xlsx"); }, ErrorCode::OutputNotWritable);
    EXPECT_FALSE(std::filesystem::exists(locked / "out.xlsx"));
}

TEST(EngineWriting, ClosedWorkbookAndQuitApplicationRefuseWork) {
    auto application = spreadsheet::CreateEngineApplication();
    spreadsheet::Workbook& book = application->Workbooks().Add();
    book.Close(true);
    ExpectFailure([&] { book.AllSheets().Count(); }, ErrorCode::WorkbookClosed);
    application->Quit();
    ExpectFailure([&] { application->Workbooks(); }, ErrorCode::WorkbookClosed);
}

} // namespace
} // namespace quillory::testing
