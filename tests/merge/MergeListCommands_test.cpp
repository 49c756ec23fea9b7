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
    std::string chooseFolderWorkbook(const std::string& folderText, const Strings& worksheets) {
        const auto book = dir.write("book.xlsx", "x");
        lists.sources.add(folderText);
        browsing::ListWorkbooks(lists, folderText);
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
    EXPECT_TRUE(lists.merge.empty());
    RemoveMergeEntry(lists); // on an empty list: nothing
    EXPECT_TRUE(lists.merge.empty());
}

TEST_F(MergeListCommandsTest, MovesSwapNeighboursAndKeepTheCheckedState) {
    fillMerge(3, {2});
    lists.merge.select(2);

    MoveMergeEntryUp(lists);
    EXPECT_EQ(entries(), (Strings{"2|S2|-", "1|S1|x", "3|S3|x"}));
    EXPECT_EQ(lists.merge.selectedPosition(), 1);

    MoveMergeEntryDown(lists);
    MoveMergeEntryDown(lists);
    EXPECT_EQ(entries(), (Strings{"1|S1|x", "3|S3|x", "2|S2|-"}));
    EXPECT_EQ(lists.merge.selectedPosition(), 3);
}

TEST_F(MergeListCommandsTest, MovesPastTheEndsChangeNothing) {
    fillMerge(3, {1});
    const Strings before = entries();
    lists.merge.select(1);
    MoveMergeEntryUp(lists);
    lists.merge.select(3);
    MoveMergeEntryDown(lists);
    EXPECT_EQ(entries(), before);

    lists.merge.clear();
    MoveMergeEntryUp(lists);
    MoveMergeEntryDown(lists);
    EXPECT_TRUE(lists.merge.empty());
    EXPECT_TRUE(ui.messages.empty());
}

TEST_F(MergeListCommandsTest, AddChosenSheetAppendsTheSelectedWorksheetEachTime) {
    const std::string book = chooseFolderWorkbook(dir.path().string(), {"First", "Second"});
    lists.worksheets.select(2);
    fillMerge(1);
    lists.merge.select(1);

    AddChosenSheet(lists, ui);
    AddChosenSheet(lists, ui);

    EXPECT_EQ(entries(), (Strings{"1|S1|x", book + "|Second|x", book + "|Second|x"}));
    EXPECT_EQ(lists.merge.selectedPosition(), 1) << "adding does not move the selection";
    EXPECT_TRUE(ui.messages.empty());
}

// Which workbook is chosen (folder with or without a trailing separator, a file source) is
// WorkbookListing's test; here, what the commands do when none is.
TEST_F(MergeListCommandsTest, NoChosenWorkbookSaysFileDoesNotExist) {
    lists.worksheets.add("Orphan");
    AddChosenSheet(lists, ui);
    AddAllSheets(lists, ui);
    const std::string book = chooseFolderWorkbook(dir.path().string(), {"One", "Two"});
    std::filesystem::remove(book); // deleted after the listing
    AddChosenSheet(lists, ui);
    AddAllSheets(lists, ui);

    EXPECT_TRUE(lists.merge.empty());
    ASSERT_EQ(ui.messages.size(), 4u);
    for (const auto& message : ui.messages) {
        EXPECT_EQ(message.text, kFileDoesNotExistMessage);
        EXPECT_EQ(message.icon, lists::MessageIcon::Critical);
    }
}

TEST_F(MergeListCommandsTest, AddChosenSheetWithAnEmptyWorksheetListAddsNothingSilently) {
    chooseFolderWorkbook(dir.path().string(), {});
    AddChosenSheet(lists, ui);
    AddAllSheets(lists, ui);
    EXPECT_TRUE(lists.merge.empty());
    EXPECT_TRUE(ui.messages.empty());
}

TEST_F(MergeListCommandsTest, AddAllSheetsAddsEveryRowInOrderWhateverItsCheckBox) {
    const std::string book = chooseFolderWorkbook(dir.path().string(), {"A", "B", "C"});
    lists.worksheets.setChecked(2, false);

    AddAllSheets(lists, ui);

    EXPECT_EQ(entries(), (Strings{book + "|A|x", book + "|B|x", book + "|C|x"}));
    EXPECT_EQ(ui.busyCalls, (std::vector<bool>{true, false}));
}

TEST_F(MergeListCommandsTest, RemoveAllEmptiesOnlyTheMergeList) {
    chooseFolderWorkbook(dir.path().string(), {"A"});
    fillMerge(4);

    RemoveAllMergeEntries(lists);

    EXPECT_TRUE(lists.merge.empty());
    EXPECT_EQ(lists.sources.count(), 1);
    EXPECT_EQ(lists.workbooks.count(), 1);
    EXPECT_EQ(lists.worksheets.count(), 1);
}

} // namespace
} // namespace quillory::merge
