// Legacy sources named to the engine before a merge are converted in one run of LibreOffice; a
// file that is no workbook stays out of that run and fails at its own opening, as before. The
// runs are counted by a stand-in "soffice" first on the PATH that hands over to the real one.

#include "spreadsheet/Automation.h"
#include "support/ScopedEnv.h"
#include "support/TempDir.h"

#include <cstdlib>
#include <fstream>
#include <gtest/gtest.h>

#if QUILLORY_HAVE_XLSXWRITER
#include <xlsxwriter.h>
#endif

namespace quillory::spreadsheet {
namespace {

namespace fs = std::filesystem;
using quillory::testing::readFile;
using quillory::testing::TempDir;

std::string ProgramPath(const std::string& name, const TempDir& work) {
    const fs::path out = work / (name + ".where");
    if (std::system(("command -v " + name + " > '" + out.string() + "' 2>/dev/null").c_str()) !=
        0) {
        return {};
    }
    std::string path = readFile(out);
    while (!path.empty() && (path.back() == '\n' || path.back() == '\r')) {
        path.pop_back();
    }
    return path;
}

int CountLines(const fs::path& file) {
    std::ifstream in(file);
    int lines = 0;
    for (std::string line; std::getline(in, line);) {
        ++lines;
    }
    return lines;
}

#if QUILLORY_HAVE_XLSXWRITER

TEST(LegacyBatchConversion, SourcesNamedAheadShareOneConverterRun) {
    TempDir work;
    const std::string soffice = ProgramPath("soffice", work);
    const std::string ssconvert = ProgramPath("ssconvert", work);
    if (soffice.empty() || ssconvert.empty()) {
        GTEST_SKIP() << "needs LibreOffice (soffice) and Gnumeric (ssconvert)";
    }
    for (const char* stem : {"north", "south"}) {
        const fs::path book = work / (std::string(stem) + ".xlsx");
        lxw_workbook* workbook = workbook_new(book.c_str());
        lxw_worksheet* sheet = workbook_add_worksheet(workbook, "Data");
        worksheet_write_string(sheet, 0, 0, stem, nullptr);
        ASSERT_EQ(workbook_close(workbook), LXW_NO_ERROR);
        const std::string toXls =
            "'" + ssconvert + "' --export-type=Gnumeric_Excel:excel_biff8 '" + book.string() +
            "' '" + (work / (std::string(stem) + ".xls")).string() + "' >/dev/null 2>&1";
        ASSERT_EQ(std::system(toXls.c_str()), 0);
    }
    const fs::path page = work.write("page.xls", "<html><body><table><tr><td>1</td></tr>");
    const fs::path runs = work / "runs.txt";
    const fs::path standIn = work.write("bin/soffice", "#!/bin/sh\necho run >> '" + runs.string() +
                                                           "'\nexec '" + soffice + "' \"$@\"\n");
    fs::permissions(standIn, fs::perms::owner_all);
    TempDir temporary;
    const std::string searchPath = (work / "bin").string() + ":" + std::getenv("PATH");
    testing::ScopedEnv path("PATH", searchPath.c_str());
    testing::ScopedEnv tmp("TMPDIR", temporary.path().c_str());

    auto application = CreateEngineApplication();
    application->PrepareWorkbooks(
        {work / "north.xls", page, work / "south.xls", work / "north.xls"});
    EXPECT_EQ(CountLines(runs), 1) << "both workbooks in one run; the web page left out";
    try {
        application->Workbooks().Open(page);
        ADD_FAILURE() << "a web page was opened as a workbook";
    } catch (const SpreadsheetError& error) {
        EXPECT_EQ(error.code(), ErrorCode::TextNotWorkbook) << error.description();
    }
    Workbook& result = application->Workbooks().Add();
    Sheet& placeholder = result.AllSheets().Item(1);
    for (const char* name : {"north.xls", "south.xls"}) {
        Workbook& source = application->Workbooks().Open(work / name);
        source.Worksheets().Item("Data").CopyBefore(placeholder);
        source.Close(true);
    }
    placeholder.Delete();
    result.SaveAs(work / "merged.xlsx");
    EXPECT_EQ(CountLines(runs), 1) << "the copies used what was converted ahead";
    std::vector<std::string> converted;
    for (const ReportItem& item : application->Report().items) {
        if (item.kind == ReportKind::Converted) {
            converted.push_back(item.sourceFile);
        }
    }
    EXPECT_EQ(converted, (std::vector<std::string>{"north.xls", "south.xls"}))
        << "each converted source is named once, when it is used";
    application->Quit();
    EXPECT_EQ(fs::directory_iterator(temporary.path()), fs::directory_iterator())
        << "conversion files were left behind";

    // The result opens again, with both copies.
    auto reader = CreateEngineApplication();
    Workbook& merged = reader->Workbooks().Open(work / "merged.xlsx");
    EXPECT_EQ(merged.Worksheets().Count(), 2);
    reader->Quit();
}

#endif

} // namespace
} // namespace quillory::spreadsheet
