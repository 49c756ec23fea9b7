#include "browsing/AddAllExcelFiles.h"
#include "browsing/WorkbookListing.h"
#include "browsing/WorksheetReading.h"
#include "support/FakeApplication.h"
#include "support/RecordingUiPort.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

namespace quillory::browsing {
namespace {

using Strings = std::vector<std::string>;
using testing::FakeSpreadsheet;

class AddAllExcelFilesTest : public ::testing::Test {
protected:
    AddAllExcelFilesTest() {
        a = dir.write("a.xlsx", "x").string();
        b = dir.write("b.xlsx", "x").string();
        world.addWorkbook(a, Strings{"A1", "A2"});
        world.addWorkbook(b, Strings{"B1"});
    }

    void chooseFolder() {
        lists.sources.add(dir.path().string());
        ListWorkbooks(lists, dir.path().string());
    }

    void addAll() { AddAllExcelFiles(lists, ui, world.factory()); }

    // "path|sheet" per merge entry, with whether every entry is checked.
    Strings entries() const {
        Strings result;
        for (int i = 1; i <= lists.merge.count(); ++i) {
            EXPECT_TRUE(lists.merge.checked(i));
            result.push_back(lists.merge.text(i) + "|" + lists.merge.subItem1(i));
        }
        return result;
    }

    testing::TempDir dir;
    std::string a, b;
    FakeSpreadsheet world;
    testing::RecordingUiPort ui;
    lists::MainLists lists;
};

TEST_F(AddAllExcelFilesTest, FolderAddsEveryWorksheetOfEveryCheckedWorkbookInOrder) {
    chooseFolder();
    lists.merge.add("earlier");
    lists.merge.setChecked(1, true);

    addAll();

    EXPECT_EQ(entries(), (Strings{"earlier|", a + "|A1", a + "|A2", b + "|B1"}));
    EXPECT_EQ(lists.merge.selectedPosition(), 1) << "the selection is not changed";
    EXPECT_EQ(world.applicationsCreated(), 2) << "one instance per workbook";
    EXPECT_EQ(world.applicationsAlive(), 0);
    EXPECT_EQ(ui.busyCalls, (std::vector<bool>{true, false}));
    EXPECT_TRUE(ui.messages.empty());
}

TEST_F(AddAllExcelFilesTest, UncheckedWorkbooksAreLeftOut) {
    chooseFolder();
    lists.workbooks.setChecked(2, false);

    addAll();

    EXPECT_EQ(entries(), (Strings{a + "|A1", a + "|A2"}));
}

TEST_F(AddAllExcelFilesTest, DamagedWorkbookInTheMiddleReportsItselfAndTheRestIsAdded) {
    const auto bad = dir.write("ab-damaged.xlsx", "not a zip").string();
    world.addUnreadable(bad, spreadsheet::ErrorCode::NotAZip, "'ab-damaged.xlsx' is damaged.");
    chooseFolder();
    ASSERT_EQ(lists.workbooks.text(2), "ab-damaged.xlsx");

    addAll();

    EXPECT_EQ(entries(), (Strings{a + "|A1", a + "|A2", b + "|B1"}));
    EXPECT_EQ(ui.messageTexts(), (Strings{"'ab-damaged.xlsx' is damaged.", kOpenFailedMessage}));
    EXPECT_EQ(world.applicationsAlive(), 0);
}

TEST_F(AddAllExcelFilesTest, VanishedWorkbookIsSkippedSilently) {
    chooseFolder();
    std::filesystem::remove(a);

    addAll();

    EXPECT_EQ(entries(), (Strings{b + "|B1"}));
    EXPECT_TRUE(ui.messages.empty());
}

TEST_F(AddAllExcelFilesTest, FileSourceIgnoresTheWorkbookListsCheckBox) {
    lists.sources.add(b);
    ListWorkbooks(lists, b);
    lists.workbooks.setChecked(1, false);

    addAll();

    EXPECT_EQ(entries(), (Strings{b + "|B1"}));
}

TEST_F(AddAllExcelFilesTest, NoSourceOrAMissingOneAddsNothing) {
    addAll();
    lists.sources.add((dir / "gone").string());
    addAll();

    EXPECT_TRUE(lists.merge.empty());
    EXPECT_TRUE(ui.messages.empty());
    EXPECT_EQ(world.applicationsCreated(), 0);
}

TEST_F(AddAllExcelFilesTest, WorkbookWithoutWorksheetsAddsNothingAndSaysNothing) {
    const auto charts = dir.write("charts.xlsx", "x").string();
    world.addWorkbook(charts, std::vector<FakeSpreadsheet::SheetSpec>{
                                  {"Chart1", spreadsheet::SheetKind::ChartSheet}});
    lists.sources.add(charts);

    addAll();

    EXPECT_TRUE(lists.merge.empty());
    EXPECT_TRUE(ui.messages.empty());
}

TEST_F(AddAllExcelFilesTest, ClickingTwiceDoublesEveryEntry) {
    chooseFolder();
    addAll();
    addAll();
    EXPECT_EQ(entries(),
              (Strings{a + "|A1", a + "|A2", b + "|B1", a + "|A1", a + "|A2", b + "|B1"}));
}

TEST_F(AddAllExcelFilesTest, FailureHalfWayThroughAWorkbookKeepsItsEarlierEntries) {
    lists.sources.add(a);
    world.failOn("Name(a.xlsx!A2)");

    addAll();

    EXPECT_EQ(entries(), (Strings{a + "|A1"}));
    EXPECT_EQ(ui.messageTexts().size(), 2u);
    EXPECT_EQ(world.calls().back(), "Quit");
}

} // namespace
} // namespace quillory::browsing
