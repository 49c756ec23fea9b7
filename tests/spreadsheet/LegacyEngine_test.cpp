// Legacy sources through the engine's automation interface: an .xls is listed without any
// conversion, sources named ahead share one converter run that leaves out files that are no
// workbooks, and bad legacy sources fail to open with their own description. Copies of legacy
// sources are checked against LibreOffice's reading of them in legacy_formats_test.py.

#include "spreadsheet/Automation.h"
#include "spreadsheet/LegacyTestFiles.h"
#include "support/ScopedEnv.h"
#include "support/TempDir.h"

#include <algorithm>
#include <cstdlib>
#include <gtest/gtest.h>

namespace quillory::spreadsheet {
namespace {

namespace fs = std::filesystem;
using quillory::testing::readFile;
using quillory::testing::TempDir;
using namespace quillory::testing::legacy;

// Points the engine's temporary files at a folder of the test's own while it lives.
struct TemporaryFolderOverride : quillory::testing::ScopedEnv {
    explicit TemporaryFolderOverride(const fs::path& folder)
        : ScopedEnv("TMPDIR", folder.c_str()) {}
};

TEST(LegacyEngine, ListingAnXlsNeedsNoConversion) {
    TempDir work;
    TempDir temporary;
    TemporaryFolderOverride override(temporary.path());
    const fs::path file = work.write(
        "Quarterly.XLS", biff8Workbook({sheetNamed("North"), sheetNamed("Chart", 2),
                                        sheetNamed("Module1", 6), sheetNamed("South", 0, 1)}));
    auto application = CreateEngineApplication();
    Workbook& workbook = application->Workbooks().Open(file);
    ASSERT_EQ(workbook.Worksheets().Count(), 2);
    EXPECT_EQ(workbook.Worksheets().Item(1).Name(), "North");
    EXPECT_EQ(workbook.Worksheets().Item(2).Name(), "South");
    EXPECT_EQ(workbook.Worksheets().Item(2).Visibility(), SheetVisibility::Hidden);
    EXPECT_EQ(workbook.AllSheets().Count(), 3);
    EXPECT_EQ(workbook.AllSheets().Item(2).Kind(), SheetKind::ChartSheet);
    workbook.Close(false);
    application->Quit();
    EXPECT_TRUE(fs::is_empty(temporary.path()));
    EXPECT_TRUE(application->Report().empty());
}

// The stand-in converter on the PATH only records its arguments: it converts nothing, so the
// shared run fails and each source would be converted again when it is used.
TEST(LegacyEngine, SourcesNamedAheadShareOneRunAndBadOnesFailToOpenWithTheirOwnDescription) {
    TempDir work;
    TempDir temporary;
    const fs::path runs = work / "runs.txt";
    const fs::path standIn =
        work.write("bin/soffice", "#!/bin/sh\necho \"$@\" >> '" + runs.string() + "'\n");
    fs::permissions(standIn, fs::perms::owner_all);
    const std::string searchPath = (work / "bin").string() + ":" + std::getenv("PATH");
    quillory::testing::ScopedEnv path("PATH", searchPath.c_str());
    TemporaryFolderOverride override(temporary.path());
    const fs::path north = work.write("north.xls", biff8Workbook({sheetNamed("Data")}));
    const fs::path south = work.write("south.xls", biff8Workbook({sheetNamed("Data")}));
    const fs::path page = work.write("prices.xls", "<html><body><table><tr><td>1</td></tr>");
    auto application = CreateEngineApplication();
    application->PrepareWorkbooks({north, page, south, north});
    const std::string log = readFile(runs);
    EXPECT_EQ(std::count(log.begin(), log.end(), '\n'), 1) << log;
    EXPECT_NE(log.find("source2.xls"), std::string::npos) << "both workbooks in one run: " << log;
    EXPECT_EQ(log.find("source3"), std::string::npos) << "the web page must stay out: " << log;
    try {
        application->Workbooks().Open(page);
        ADD_FAILURE() << "a web page was opened as a workbook";
    } catch (const SpreadsheetError& error) {
        EXPECT_EQ(error.code(), ErrorCode::TextNotWorkbook);
        EXPECT_NE(error.description().find("\"prices.xls\""), std::string::npos);
    }
    application->Quit();
    EXPECT_TRUE(fs::is_empty(temporary.path())) << "conversion files were left behind";
}

} // namespace
} // namespace quillory::spreadsheet
