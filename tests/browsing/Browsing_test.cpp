// Browsing a source: the workbook list of a file or folder, the worksheet list of the chosen
// workbook, and "Add All Excel Files", over the fake spreadsheet application.

#include "browsing/AddAllExcelFiles.h"
#include "browsing/WorkbookListing.h"
#include "browsing/WorksheetListing.h"
#include "browsing/WorksheetReading.h"
#include "support/FakeApplication.h"
#include "support/ListContents.h"
#include "support/RecordingUiPort.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

namespace quillory::browsing {
namespace {

using Strings = std::vector<std::string>;
using spreadsheet::SheetKind;
using testing::FakeSpreadsheet;
using testing::RowTexts;

class BrowsingTest : public ::testing::Test {
protected:
    // a.xlsx: A1, a chart sheet, A2; b.xlsx: B1.
    BrowsingTest() {
        a = dir.write("a.xlsx", "x").string();
        b = dir.write("b.xlsx", "x").string();
        world.addWorkbook(a,
                          std::vector<FakeSpreadsheet::SheetSpec>{{"A1", SheetKind::Worksheet},
                                                                  {"Chart", SheetKind::ChartSheet},
                                                                  {"A2", SheetKind::Worksheet}});
        world.addWorkbook(b, Strings{"B1"});
    }

    void chooseSource(const std::string& source, int workbookRow = 1) {
        lists.sources.clear();
        lists.sources.add(source);
        ListWorkbooks(lists, source);
        if (workbookRow <= lists.workbooks.count()) {
            lists.workbooks.select(workbookRow);
        }
    }

    void addAll() { AddAllExcelFiles(lists, ui, world.factory()); }

    // "path|sheet" per merge entry; every entry must be checked.
    Strings entries() const {
        for (int i = 1; i <= lists.merge.count(); ++i) {
            EXPECT_TRUE(lists.merge.checked(i)) << i;
        }
        return testing::RowEntries(lists.merge);
    }

    testing::TempDir dir;
    std::string a, b;
    FakeSpreadsheet world;
    testing::RecordingUiPort ui;
    lists::MainLists lists;
};

TEST_F(BrowsingTest, FolderShowsItsWorkbookFilesInNameOrderAllChecked) {
    for (const char* name : {"A.XLSM", "c.xls", "d.xltx", "e.XlTm", "notes.txt", "f.xlsb", "g.csv",
                             "xlsx", ".hidden.xlsx", "~$b.xlsx", ".~lock.b.xlsx#"}) {
        dir.write(name, "x");
    }
    std::filesystem::create_directory(dir / "folder.xlsx");
    for (const std::string& folder : {dir.path().string(), dir.path().string() + "/"}) {
        ListWorkbooks(lists, folder);
        EXPECT_EQ(
            testing::RowEntries(lists.workbooks, true),
            (Strings{"A.XLSM||x", "a.xlsx||x", "b.xlsx||x", "c.xls||x", "d.xltx||x", "e.XlTm||x"}));
        EXPECT_EQ(lists.workbooks.selectedPosition(), 1);
    }
    // A file source is one checked row, whatever its extension.
    ListWorkbooks(lists, dir.write("sub/report.data", "x").string());
    EXPECT_EQ(testing::RowEntries(lists.workbooks, true), (Strings{"report.data||x"}));
}

TEST_F(BrowsingTest, ChosenWorkbookPathComesFromTheSourceAndTheWorkbookRow) {
    for (const std::string& folder : {dir.path().string(), dir.path().string() + "/"}) {
        chooseSource(folder, 2);
        EXPECT_EQ(ChosenWorkbookPath(lists), b);
        EXPECT_EQ(WorkbookPathAt(lists, 1), a);
        EXPECT_EQ(WorkbookPathAt(lists, 7), "") << "no such row";
    }
    std::filesystem::remove(b);
    EXPECT_EQ(ChosenWorkbookPath(lists), "") << "workbook deleted since the listing";
    EXPECT_EQ(WorkbookPathAt(lists, 2), "");

    // A file source is itself the choice, whatever workbook row is selected.
    chooseSource(a);
    lists.workbooks.add("other.xlsx");
    lists.workbooks.select(2);
    EXPECT_EQ(ChosenWorkbookPath(lists), a);
    EXPECT_EQ(WorkbookPathAt(lists, 2), a);
    lists.sources.clear();
    EXPECT_EQ(ChosenWorkbookPath(lists), "") << "empty source list";
}

TEST_F(BrowsingTest, ClickOnASourceShowsTheWorksheetsOfItsFirstWorkbookInTabOrder) {
    SourceListItemClick(lists, ui, world.factory()); // no source: nothing
    EXPECT_TRUE(ui.busyCalls.empty());
    lists.sources.add(dir.path().string());
    lists.worksheets.add("stale");

    SourceListItemClick(lists, ui, world.factory());

    EXPECT_EQ(RowTexts(lists.workbooks), (Strings{"a.xlsx", "b.xlsx"}));
    EXPECT_EQ(testing::RowEntries(lists.worksheets, true), (Strings{"A1||x", "A2||x"})); // no chart
    EXPECT_EQ(lists.worksheets.selectedPosition(), 1);
    EXPECT_EQ(world.callsStartingWith("Open("), (Strings{"Open(" + a + ")"}));
    EXPECT_EQ(world.callsStartingWith("Close("), (Strings{"Close(a.xlsx,0)"}));
    EXPECT_EQ(world.applicationsAlive(), 0);
    EXPECT_EQ(ui.busyCalls, (std::vector<bool>{true, false}));
    EXPECT_TRUE(ui.messages.empty());

    // Listed again from scratch.
    WorkbookListItemClick(lists, ui, world.factory());
    EXPECT_EQ(RowTexts(lists.worksheets), (Strings{"A1", "A2"}));
    EXPECT_EQ(world.applicationsCreated(), 2);

    // No chosen workbook: an empty list, no application and no message.
    std::filesystem::remove(a);
    ListWorksheets(lists, ui, world.factory());
    EXPECT_TRUE(lists.worksheets.empty());
    EXPECT_EQ(world.applicationsCreated(), 2);
    EXPECT_TRUE(ui.messages.empty());
}

TEST_F(BrowsingTest, AddAllTakesEveryWorksheetOfEveryCheckedWorkbookInOrderOrTheFileSource) {
    chooseSource(dir.path().string());
    lists.merge.add("earlier");
    lists.merge.setChecked(1, true);

    addAll();

    EXPECT_EQ(entries(), (Strings{"earlier|", a + "|A1", a + "|A2", b + "|B1"}));
    EXPECT_EQ(lists.merge.selectedPosition(), 1) << "the selection is not changed";
    EXPECT_EQ(world.applicationsCreated(), 2) << "one instance per workbook";
    EXPECT_EQ(world.applicationsAlive(), 0);
    EXPECT_EQ(ui.busyCalls, (std::vector<bool>{true, false}));
    EXPECT_TRUE(ui.messages.empty());

    // Clicked again, with b unticked: a's entries once more.
    lists.workbooks.setChecked(2, false);
    addAll();
    EXPECT_EQ(entries(),
              (Strings{"earlier|", a + "|A1", a + "|A2", b + "|B1", a + "|A1", a + "|A2"}));

    // A file source is added whatever its tick; one without worksheets, a missing one or none
    // adds nothing, and only the first two open a workbook.
    lists.merge.clear();
    chooseSource(b);
    lists.workbooks.setChecked(1, false);
    addAll();
    const auto charts = dir.write("charts.xlsx", "x").string();
    world.addWorkbook(charts, std::vector<FakeSpreadsheet::SheetSpec>{
                                  {"Chart1", spreadsheet::SheetKind::ChartSheet}});
    for (const std::string& source : {charts, (dir / "gone").string()}) {
        chooseSource(source);
        addAll();
    }
    lists.sources.clear();
    addAll();
    EXPECT_EQ(entries(), (Strings{b + "|B1"}));
    EXPECT_TRUE(ui.messages.empty());
    EXPECT_EQ(world.applicationsCreated(), 5);
}

// A workbook failing half-way keeps its earlier entries.
TEST_F(BrowsingTest, AddAllReportsDamagedOrFailingWorkbooksAndSkipsVanishedOnes) {
    const auto bad = dir.write("ab-damaged.xlsx", "not a zip").string();
    world.addUnreadable(bad, spreadsheet::ErrorCode::NotAZip, "'ab-damaged.xlsx' is damaged.");
    const auto gone = dir.write("c.xlsx", "x").string();
    world.addWorkbook(gone, Strings{"C1"});
    chooseSource(dir.path().string());
    ASSERT_EQ(lists.workbooks.text(2), "ab-damaged.xlsx");
    std::filesystem::remove(gone);
    world.failOn("Name(a.xlsx!A2)");

    addAll();

    EXPECT_EQ(entries(), (Strings{a + "|A1", b + "|B1"}));
    EXPECT_EQ(ui.messageTexts(),
              (Strings{std::string(FakeSpreadsheet::kInjectedFailure) + " at Name(a.xlsx!A2)",
                       kOpenFailedMessage, "'ab-damaged.xlsx' is damaged.", kOpenFailedMessage}));
    EXPECT_EQ(world.applicationsAlive(), 0);
    EXPECT_EQ(world.calls().back(), "Quit");
}

} // namespace
} // namespace quillory::browsing
