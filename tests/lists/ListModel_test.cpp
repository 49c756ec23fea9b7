#include "lists/ListModel.h"
#include "support/ListContents.h"

#include <gtest/gtest.h>

using quillory::lists::InvalidPosition;
using quillory::lists::ListModel;
using quillory::lists::ListObserver;
using quillory::testing::RowTexts;

namespace {

struct Recorder : ListObserver {
    std::vector<std::string> events;
    void rowsInserted(int p, int n) override {
        events.push_back("ins " + std::to_string(p) + "+" + std::to_string(n));
    }
    void rowsRemoved(int p, int n) override {
        events.push_back("rem " + std::to_string(p) + "+" + std::to_string(n));
    }
    void rowsReset() override { events.push_back("reset"); }
    void selectionChanged(int p) override { events.push_back("sel " + std::to_string(p)); }
    void ensureVisibleRequested(int p) override { events.push_back("vis " + std::to_string(p)); }
};

} // namespace

TEST(ListModel, FirstRowAddedToAnEmptyListBecomesSelectedAndOnlyThatOne) {
    ListModel list;
    EXPECT_EQ(list.selectedPosition(), 0);
    list.add("a");
    EXPECT_EQ(list.selectedPosition(), 1);
    list.add("b");
    list.add("c", 1);
    // The selected row moved down with its row when a row was inserted before it.
    EXPECT_EQ(list.selectedText(), "a");
    EXPECT_EQ(list.selectedPosition(), 2);

    list.clear();
    EXPECT_EQ(list.selectedPosition(), 0);
    list.add("again", 1);
    EXPECT_EQ(list.selectedPosition(), 1);
}

TEST(ListModel, PositionsAreOneBasedAndInsertMovesFollowingRowsDown) {
    ListModel list;
    list.add("a");
    list.add("c");
    EXPECT_EQ(list.add("b", 2), 2);
    EXPECT_EQ(list.add("d", 4), 4); // one past the end appends
    EXPECT_EQ(RowTexts(list), (std::vector<std::string>{"a", "b", "c", "d"}));
    list.remove(1);
    EXPECT_EQ(RowTexts(list), (std::vector<std::string>{"b", "c", "d"}));
    EXPECT_THROW(list.add("x", 5), InvalidPosition);
    EXPECT_THROW(list.add("x", -1), InvalidPosition);
    EXPECT_THROW(list.remove(0), InvalidPosition);
    EXPECT_THROW(list.remove(4), InvalidPosition);
    EXPECT_THROW(list.text(4), InvalidPosition);
}

TEST(ListModel, RemovingTheSelectedRowLeavesNoSelectionAndOthersKeepTheirs) {
    ListModel list;
    for (const char* t : {"a", "b", "c"}) {
        list.add(t);
    }
    list.select(3);
    list.remove(1);
    EXPECT_EQ(list.selectedText(), "c");
    list.remove(2);
    EXPECT_FALSE(list.hasSelection());
    EXPECT_THROW(list.selectedText(), InvalidPosition);
}

TEST(ListModel, RowFieldsAreIndependentPerRow) {
    ListModel list;
    list.add("path");
    list.add("other");
    list.setSubItem1(1, "Sheet1");
    list.setChecked(1, true);
    list.setSmallIcon(2, 3);
    EXPECT_EQ(list.subItem1(1), "Sheet1");
    EXPECT_TRUE(list.checked(1));
    EXPECT_FALSE(list.checked(2));
    EXPECT_EQ(list.smallIcon(1), 0);
    EXPECT_EQ(list.smallIcon(2), 3);
}

TEST(ListModel, ObserversHearInsertsRemovalsSelectionAndScrollRequests) {
    ListModel list;
    Recorder rec;
    list.addObserver(&rec);
    list.add("a");
    list.add("b", 1);
    list.ensureVisible(2);
    list.remove(2);
    list.clear();
    EXPECT_EQ(rec.events, (std::vector<std::string>{"ins 1+1", "sel 1", "ins 1+1", "vis 2",
                                                    "rem 2+1", "sel 0", "reset", "sel 0"}));
    list.removeObserver(&rec);
    list.add("c");
    EXPECT_EQ(rec.events.size(), 8u);
}
