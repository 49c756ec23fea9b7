// The merge list's commands: adding the chosen or every worksheet, removing and moving entries.

#include "browsing/WorkbookListing.h"
#include "merge/MergeListCommands.h"
#include "support/ListContents.h"
#include "support/RecordingUiPort.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

namespace quillory::merge {
namespace {

using Strings = std::vector<std::string>;

class MergeListCommandsTest : public ::testing::Test {
protected:
    // Merge entries named "1".."n" (text), worksheet "S<i>", checked except those in `unchecked`.
    void fillMerge(int n, std::vector<int> unchecked = {}) {
        for (int i = 1; i <= n; ++i) {
            const int row = lists.merge.add(std::to_string(i));
            lists.merge.setSubItem1(row, "S" + std::to_string(i));
            lists.merge.setChecked(row, std::find(unchecked.begin(), unchecked.end(), i) ==
                                            unchecked.end());
        }
    }

    // "text|sheet|checked" per entry.
    Strings entries() const { return testing::RowEntries(lists.merge, true); }

    // A folder source holding book.xlsx, chosen, with the worksheet list given.
    std::string chooseFolderWorkbook(const Strings& worksheets) {
        const auto book = dir.write("book.xlsx", "x");
        lists.sources.add(dir.path().string());
        browsing::ListWorkbooks(lists, dir.path().string());
        for (const auto& name : worksheets) {
            lists.worksheets.setChecked(lists.worksheets.add(name), true);
        }
        return book.string();
    }

    testing::TempDir dir;
    testing::RecordingUiPort ui;
    lists::MainLists lists;
};

TEST_F(MergeListCommandsTest, RemovingSelectsTheEntryAboveOrTheNewFirst) {
    fillMerge(5);
    lists.merge.select(3);
    RemoveMergeEntry(lists);
    EXPECT_EQ(lists.merge.count(), 4);
    EXPECT_EQ(lists.merge.selectedText(), "2");

    lists.merge.select(1);
    RemoveMergeEntry(lists);
    EXPECT_EQ(lists.merge.selectedText(), "2") << "the entry that followed the removed one";
    EXPECT_EQ(lists.merge.text(1), "2");

    lists.merge.clear();
    fillMerge(1);
    RemoveMergeEntry(lists);
    RemoveMergeEntry(lists); // on an empty list: nothing
    EXPECT_TRUE(lists.merge.empty());
}

TEST_F(MergeListCommandsTest, MovesSwapNeighboursKeepTheCheckedStateAndStopAtTheEnds) {
    fillMerge(3, {2});
    lists.merge.select(2);
    MoveMergeEntryUp(lists);
    EXPECT_EQ(entries(), (Strings{"2|S2|-", "1|S1|x", "3|S3|x"}));
    EXPECT_EQ(lists.merge.selectedPosition(), 1);
    MoveMergeEntryUp(lists); // at the top
    EXPECT_EQ(entries(), (Strings{"2|S2|-", "1|S1|x", "3|S3|x"}));

    MoveMergeEntryDown(lists);
    MoveMergeEntryDown(lists);
    MoveMergeEntryDown(lists); // at the bottom
    EXPECT_EQ(entries(), (Strings{"1|S1|x", "3|S3|x", "2|S2|-"}));
    EXPECT_EQ(lists.merge.selectedPosition(), 3);

    lists.merge.clear();
    MoveMergeEntryUp(lists);
    MoveMergeEntryDown(lists);
    EXPECT_TRUE(lists.merge.empty());
    EXPECT_TRUE(ui.messages.empty());
}

// Add Sheet appends the selected worksheet each time; Add All Sheets every row whatever its
// check box. Remove All empties only the merge list.
TEST_F(MergeListCommandsTest, AddChosenSheetAppendsTheSelectedWorksheetEachTimeAndAddAllEveryRow) {
    const std::string book = chooseFolderWorkbook({"First", "Second", "Third"});
    lists.worksheets.select(2);
    lists.worksheets.setChecked(3, false);
    fillMerge(1);
    lists.merge.select(1);

    AddChosenSheet(lists, ui);
    AddChosenSheet(lists, ui);
    AddAllSheets(lists, ui);

    EXPECT_EQ(entries(), (Strings{"1|S1|x", book + "|Second|x", book + "|Second|x",
                                  book + "|First|x", book + "|Second|x", book + "|Third|x"}));
    EXPECT_EQ(lists.merge.selectedPosition(), 1) << "adding does not move the selection";
    EXPECT_EQ(ui.busyCalls, (std::vector<bool>{true, false}));
    EXPECT_TRUE(ui.messages.empty());

    RemoveAllMergeEntries(lists);
    EXPECT_TRUE(lists.merge.empty());
    EXPECT_EQ(lists.sources.count(), 1);
    EXPECT_EQ(lists.workbooks.count(), 1);
    EXPECT_EQ(lists.worksheets.count(), 3);
}

// Which workbook is chosen is the browsing tests' concern; here, what the commands do when none
// is, or when it has no worksheets.
TEST_F(MergeListCommandsTest, NoChosenWorkbookSaysFileDoesNotExistAndNoWorksheetsSayNothing) {
    lists.worksheets.add("Orphan");
    AddChosenSheet(lists, ui);
    AddAllSheets(lists, ui);
    const std::string book = chooseFolderWorkbook({"One", "Two"});
    std::filesystem::remove(book); // deleted after the listing
    AddChosenSheet(lists, ui);
    AddAllSheets(lists, ui);

    EXPECT_TRUE(lists.merge.empty());
    ASSERT_EQ(ui.messages.size(), 4u);
    for (const auto& message : ui.messages) {
        EXPECT_EQ(message.text, kFileDoesNotExistMessage);
        EXPECT_EQ(message.icon, lists::MessageIcon::Critical);
    }

    dir.write("book.xlsx", "x");
    lists.worksheets.clear();
    AddChosenSheet(lists, ui);
    AddAllSheets(lists, ui);
    EXPECT_TRUE(lists.merge.empty());
    EXPECT_EQ(ui.messages.size(), 4u);
}

} // namespace
} // namespace quillory::merge
