// The browsing, merge-list and merge commands of Form1.

#include "browsing/AddAllExcelFiles.h"
#include "browsing/WorkbookListing.h"
#include "browsing/WorksheetListing.h"
#include "mainwindow/Form1.h"
#include "merge/MergeCommand.h"
#include "merge/MergeListCommands.h"

#include <utility>

namespace quillory::mainwindow {

namespace {

// Marks the length of a merge, however it ends.
class MergeRunning {
public:
    explicit MergeRunning(bool& flag) : flag_(flag) { flag_ = true; }
    ~MergeRunning() { flag_ = false; }
    MergeRunning(const MergeRunning&) = delete;
    MergeRunning& operator=(const MergeRunning&) = delete;

private:
    bool& flag_;
};

} // namespace

void Form1::setUpBrowseMerge() {}

void Form1::Command10_Click() {
    merge::AddChosenSheet(lists(), uiPort());
}

void Form1::Command11_Click() {
    merge::RemoveMergeEntry(lists());
}

void Form1::Command14_Click() {
    merge::MoveMergeEntryUp(lists());
}

void Form1::Command15_Click() {
    merge::MoveMergeEntryDown(lists());
}

void Form1::Command16_Click() {
    merge::AddAllSheets(lists(), uiPort());
}

void Form1::Command17_Click() {
    merge::RemoveAllMergeEntries(lists());
}

void Form1::Command18_Click() {
    if (browseMergeState_.merging) {
        return;
    }
    {
        MergeRunning running(browseMergeState_.merging);
        merge::Merge(lists(), uiPort(), applicationFactory(), dependencies().browseMerge.merge);
    }
    if (std::exchange(browseMergeState_.closeAfterMerge, false)) {
        close();
    }
}

bool Form1::deferCloseDuringMerge() {
    if (!browseMergeState_.merging) {
        return false;
    }
    browseMergeState_.closeAfterMerge = true;
    return true;
}

void Form1::Command20_Click() {
    browsing::AddAllExcelFiles(lists(), uiPort(), applicationFactory());
}

void Form1::ListView1_ItemClick() {
    browsing::SourceListItemClick(lists(), uiPort(), applicationFactory());
}

void Form1::ListView2_ItemClick() {
    browsing::WorkbookListItemClick(lists(), uiPort(), applicationFactory());
}

void Form1::ListView3_DblClick() {
    merge::AddChosenSheet(lists(), uiPort());
}

void Form1::ListView4_DblClick() {
    merge::RemoveMergeEntry(lists());
}

} // namespace quillory::mainwindow
