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

// The entries at `from` and `to` change places, each with its text, worksheet and checked
// state; the moved entry ends selected and in view. Rows are rewritten in place rather than
// removed and inserted, so views never see a row disappear under their selection.
void SwapEntries(lists::ListModel& merge, int from, int to) {
    const lists::Row moved = merge.item(from);
    const lists::Row other = merge.item(to);
    const auto write = [&merge](int position, const lists::Row& row) {
        merge.setText(position, row.text);
        merge.setSubItem1(position, row.subItem1);
        merge.setChecked(position, row.checked);
    };
    write(to, moved);
    write(from, other);
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
    // Select a neighbour first: a view must not hold a row that goes away as its selection.
    if (merge.count() > 1) {
        merge.select(removed > 1 ? removed - 1 : 2);
    }
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
    SwapEntries(merge, position, position - 1);
}

void MoveMergeEntryDown(lists::MainLists& lists) {
    lists::ListModel& merge = lists.merge;
    if (merge.empty() || !merge.hasSelection() || merge.selectedPosition() >= merge.count()) {
        return;
    }
    const int position = merge.selectedPosition();
    SwapEntries(merge, position, position + 1);
}

void RemoveAllMergeEntries(lists::MainLists& lists) {
    lists.merge.clear();
}

} // namespace quillory::merge
