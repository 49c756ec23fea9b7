#include "merge/MergeListCommands.h"

#include "browsing/BusyPointer.h"
#include "browsing/WorkbookListing.h"

#include <string>

namespace quillory::merge {

namespace {

void AppendEntry(lists::ListModel& merge, const std::string& path, const std::string& sheet) {
    const int row = merge.add(path);
    merge.setChecked(row, true);
    merge.setSubItem1(row, sheet);
    merge.refresh();
    merge.ensureVisible(row);
}

// Takes the entry at `from` out and puts it back at `to` (counted after the removal), with its
// text, worksheet and checked state; it ends selected and in view.
void MoveEntry(lists::ListModel& merge, int from, int to) {
    const lists::Row row = merge.item(from);
    merge.remove(from);
    merge.add(row.text, to);
    merge.setSubItem1(to, row.subItem1);
    merge.setChecked(to, row.checked);
    merge.select(to);
    merge.ensureVisible(to);
}

} // namespace

void AddChosenSheet(lists::MainLists& lists, lists::UiPort& ui) {
    const std::string path = browsing::ChosenWorkbookPath(lists);
    if (path.empty()) {
        ui.showMessage(lists::MessageIcon::Critical, kFileDoesNotExistMessage);
        return;
    }
    if (lists.worksheets.empty() || !lists.worksheets.hasSelection()) {
        return;
    }
    AppendEntry(lists.merge, path, lists.worksheets.selectedText());
}

void AddAllSheets(lists::MainLists& lists, lists::UiPort& ui) {
    browsing::BusyPointer busy(ui);
    const int count = lists.worksheets.count();
    for (int i = 1; i <= count; ++i) {
        const std::string path = browsing::ChosenWorkbookPath(lists);
        if (path.empty()) {
            ui.showMessage(lists::MessageIcon::Critical, kFileDoesNotExistMessage);
            break;
        }
        AppendEntry(lists.merge, path, lists.worksheets.text(i));
    }
}

void RemoveMergeEntry(lists::MainLists& lists) {
    lists::ListModel& merge = lists.merge;
    if (merge.empty() || !merge.hasSelection()) {
        return;
    }
    const int removed = merge.selectedPosition();
    merge.remove(removed);
    if (merge.empty()) {
        return;
    }
    merge.select(removed > 1 ? removed - 1 : 1);
}

void MoveMergeEntryUp(lists::MainLists& lists) {
    lists::ListModel& merge = lists.merge;
    if (merge.empty() || !merge.hasSelection() || merge.selectedPosition() == 1) {
        return;
    }
    const int position = merge.selectedPosition();
    MoveEntry(merge, position, position - 1);
}

void MoveMergeEntryDown(lists::MainLists& lists) {
    lists::ListModel& merge = lists.merge;
    if (merge.empty() || !merge.hasSelection() || merge.selectedPosition() >= merge.count()) {
        return;
    }
    const int position = merge.selectedPosition();
    MoveEntry(merge, position, position + 1);
}

void RemoveAllMergeEntries(lists::MainLists& lists) {
    lists.merge.clear();
}

} // namespace quillory::merge
