#include "lists/ListModel.h"
#include "support/ListContents.h"

#include <gtest/gtest.h>

using quillory::lists::InvalidPosition;
using quillory::lists::ListModel;
using quillory::lists::ListObserver;
using quillory::testing::RowTexts;
using Strings = std::vector<std::string>;

namespace {

struct Recorder : ListObserver {
    Strings events;
    void rowsInserted(int p, int n) override { note("ins", p, n); }
    void rowsRemoved(int p, int n) override { note("rem", p, n); }
    void rowsReset() override { events.push_back("reset"); }
    void selectionChanged(int p) override { note("sel", p); }
    void ensureVisibleRequested(int p) override { note("vis", p); }
    void note(const char* what, int p, int n = 0) {
        events.push_back(what + (" " + std::to_string(p)) + (n > 0 ? "+" + std::to_string(n) : ""));
    }
};

} // namespace

TEST(ListModel, PositionsAreOneBasedAndTheSelectionFollowsItsRow) {
    ListModel list;
    Recorder rec;
    list.addObserver(&rec);
    EXPECT_EQ(list.selectedPosition(), 0);
    list.add("b");
    EXPECT_EQ(list.selectedPosition(), 1); // the first row added to an empty list
    list.add("d");
    EXPECT_EQ(list.add("a", 1), 1);
    EXPECT_EQ(list.add("c", 3), 3);
    EXPECT_EQ(list.add("e", 5), 5); // one past the end appends
    EXPECT_EQ(RowTexts(list), (Strings{"a", "b", "c", "d", "e"}));
    EXPECT_EQ(list.selectedText(), "b"); // moved down with its row
    EXPECT_EQ(list.selectedPosition(), 2);
    list.ensureVisible(4);
    list.remove(1);
    EXPECT_EQ(list.selectedText(), "b");
    list.remove(1); // the selected row: no selection
    EXPECT_FALSE(list.hasSelection());
    EXPECT_THROW(list.selectedText(), InvalidPosition);
    for (int bad : {-1, 0, 4}) {
        EXPECT_THROW(list.remove(bad), InvalidPosition) << bad;
        EXPECT_THROW(list.text(bad), InvalidPosition) << bad;
    }
    EXPECT_THROW(list.add("x", 5), InvalidPosition);
    EXPECT_THROW(list.add("x", -1), InvalidPosition);
    list.clear();
    // A row inserted before the selected one moves the selection without a selection event.
    EXPECT_EQ(rec.events, (Strings{"ins 1+1", "sel 1", "ins 2+1", "ins 1+1", "ins 3+1", "ins 5+1",
                                   "vis 4", "rem 1+1", "rem 1+1", "sel 0", "reset", "sel 0"}));
    list.removeObserver(&rec);
    list.add("again", 1);
    EXPECT_EQ(list.selectedPosition(), 1);
    EXPECT_EQ(rec.events.size(), 12u);
}
