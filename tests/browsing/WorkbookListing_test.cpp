#include "browsing/WorkbookListing.h"
#include "support/FakeApplication.h"
#include "support/ListContents.h"
#include "support/RecordingUiPort.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

namespace quillory::browsing {
namespace {

using Strings = std::vector<std::string>;
using testing::RowTexts;

bool AllChecked(const lists::ListModel& list) {
    for (int i = 1; i <= list.count(); ++i) {
        if (!list.checked(i)) {
            return false;
        }
    }
    return true;
}

class WorkbookListingTest : public ::testing::Test {
protected:
    void chooseSource(const std::string& source, int workbookRow = 1) {
        lists.sources.clear();
        lists.sources.add(source);
        ListWorkbooks(lists, source);
        if (workbookRow <= lists.workbooks.count()) {
            lists.workbooks.select(workbookRow);
        }
    }

    testing::TempDir dir;
    lists::MainLists lists;
};

TEST_F(WorkbookListingTest, FolderShowsItsWorkbookFilesInNameOrderAllChecked) {
    for (const char* name : {"b.xlsx", "A.XLSM", "c.xls", "d.xltx", "e.XlTm", "notes.txt", "f.xlsb",
                             "g.csv", "xlsx", ".hidden.xlsx", "~$b.xlsx", ".~lock.b.xlsx#"}) {
        dir.write(name, "x");
    }
    std::filesystem::create_directory(dir / "folder.xlsx");

    ListWorkbooks(lists, dir.path().string());

    EXPECT_EQ(RowTexts(lists.workbooks),
              (Strings{"A.XLSM", "b.xlsx", "c.xls", "d.xltx", "e.XlTm"}));
    EXPECT_TRUE(AllChecked(lists.workbooks));
    EXPECT_EQ(lists.workbooks.selectedPosition(), 1);
}

TEST_F(WorkbookListingTest, FolderWithTrailingSeparatorListsTheSame) {
    dir.write("one.xlsx", "x");
    ListWorkbooks(lists, dir.path().string() + "/");
    EXPECT_EQ(RowTexts(lists.workbooks), (Strings{"one.xlsx"}));
}

TEST_F(WorkbookListingTest, FileSourceIsOneCheckedRowWhateverItsExtension) {
    const auto file = dir.write("sub/report.data", "x");
    lists.workbooks.add("left over");

    ListWorkbooks(lists, file.string());

    EXPECT_EQ(RowTexts(lists.workbooks), (Strings{"report.data"}));
    EXPECT_TRUE(lists.workbooks.checked(1));
}

TEST_F(WorkbookListingTest, MissingEmptyAndWorkbooklessSourcesGiveAnEmptyList) {
    std::filesystem::create_directory(dir / "empty");
    dir.write("only-hidden/.a.xlsx", "x");
    dir.write("no-workbooks/a.txt", "x");
    std::filesystem::create_directories(dir / "only-folders/x.xlsx");
    for (const std::string& source :
         {(dir / "empty").string(), (dir / "only-hidden").string(), (dir / "no-workbooks").string(),
          (dir / "only-folders").string(), (dir / "gone").string(), std::string()}) {
        SCOPED_TRACE(source);
        lists.workbooks.add("left over");
        ListWorkbooks(lists, source);
        EXPECT_TRUE(lists.workbooks.empty());
    }
}

TEST_F(WorkbookListingTest, ChosenWorkbookPathIsTheSameWithOrWithoutTrailingSeparator) {
    dir.write("a.xlsx", "x");
    const auto b = dir.write("b.xlsx", "x");

    chooseSource(dir.path().string(), 2);
    const std::string plain = ChosenWorkbookPath(lists);
    chooseSource(dir.path().string() + "/", 2);
    const std::string trailing = ChosenWorkbookPath(lists);

    EXPECT_EQ(plain, b.string());
    EXPECT_EQ(trailing, b.string());
    EXPECT_EQ(WorkbookPathAt(lists, 1), (dir / "a.xlsx").string());
    EXPECT_EQ(WorkbookPathAt(lists, 2), b.string());
}

TEST_F(WorkbookListingTest, FileSourceIsTheChosenPathWhateverWorkbookRowIsSelected) {
    const auto file = dir.write("solo.xlsx", "x");
    chooseSource(file.string());
    lists.workbooks.add("other.xlsx");
    lists.workbooks.select(2);

    EXPECT_EQ(ChosenWorkbookPath(lists), file.string());
    EXPECT_EQ(WorkbookPathAt(lists, 2), file.string());
}

TEST_F(WorkbookListingTest, NoChosenWorkbookGivesAnEmptyPath) {
    EXPECT_EQ(ChosenWorkbookPath(lists), "") << "empty source list";

    std::filesystem::create_directory(dir / "empty");
    chooseSource((dir / "empty").string());
    EXPECT_EQ(ChosenWorkbookPath(lists), "") << "folder without workbooks";

    const auto gone = dir.write("gone.xlsx", "x");
    chooseSource(dir.path().string());
    std::filesystem::remove(gone);
    EXPECT_EQ(ChosenWorkbookPath(lists), "") << "workbook deleted since the listing";
    EXPECT_EQ(WorkbookPathAt(lists, 1), "");
    EXPECT_EQ(WorkbookPathAt(lists, 7), "") << "no such row";

    chooseSource((dir / "missing").string());
    EXPECT_EQ(ChosenWorkbookPath(lists), "") << "missing source";
}

TEST_F(WorkbookListingTest, ClickOnASourceShowsTheWorksheetsOfItsFirstWorkbook) {
    const auto first = dir.write("a.xlsx", "x");
    const auto second = dir.write("b.xlsx", "x");
    testing::FakeSpreadsheet world;
    world.addWorkbook(first, Strings{"Alpha", "Beta"});
    world.addWorkbook(second, Strings{"Gamma"});
    testing::RecordingUiPort ui;
    lists.sources.add(dir.path().string());
    lists.worksheets.add("stale");

    SourceListItemClick(lists, ui, world.factory());

    EXPECT_EQ(RowTexts(lists.workbooks), (Strings{"a.xlsx", "b.xlsx"}));
    EXPECT_EQ(RowTexts(lists.worksheets), (Strings{"Alpha", "Beta"}));
    EXPECT_EQ(ui.busyCalls, (std::vector<bool>{true, false}));
    EXPECT_TRUE(ui.messages.empty());
}

TEST_F(WorkbookListingTest, ClickOnAnEmptySourceListDoesNothing) {
    testing::FakeSpreadsheet world;
    testing::RecordingUiPort ui;
    lists.workbooks.add("kept");

    SourceListItemClick(lists, ui, world.factory());

    EXPECT_EQ(RowTexts(lists.workbooks), (Strings{"kept"}));
    EXPECT_TRUE(ui.busyCalls.empty());
    EXPECT_EQ(world.applicationsCreated(), 0);
}

} // namespace
} // namespace quillory::browsing
