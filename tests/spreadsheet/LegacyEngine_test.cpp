// Legacy sources through the engine's automation interface: an .xls is listed without any
// conversion, and bad legacy sources fail to open with their own description. Copies of legacy
// sources are checked against LibreOffice's reading of them in legacy_formats_test.py.

#include "spreadsheet/Automation.h"
#include "spreadsheet/LegacyTestFiles.h"
#include "support/ScopedEnv.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

namespace quillory::spreadsheet {
namespace {

namespace fs = std::filesystem;
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

TEST(LegacyEngine, BadLegacySourcesFailToOpenWithTheirOwnDescription) {
    TempDir work;
    auto application = CreateEngineApplication();
    const fs::path page = work.write("prices.xls", "<html><body><table><tr><td>1</td></tr>");
    try {
        application->Workbooks().Open(page);
        ADD_FAILURE() << "a web page was opened as a workbook";
    } catch (const SpreadsheetError& error) {
        EXPECT_EQ(error.code(), ErrorCode::TextNotWorkbook);
        EXPECT_NE(error.description().find("\"prices.xls\""), std::string::npos);
    }
}

} // namespace
} // namespace quillory::spreadsheet
