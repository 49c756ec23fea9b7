#include "lists/ListModel.h"

#include <algorithm>

namespace quillory::lists {

InvalidPosition::InvalidPosition(int position)
    : std::out_of_range("Invalid list position " + std::to_string(position)) {}

template <typename F> void ListModel::notify(F&& f) {
    // Copy: an observer may detach itself while being told.
    const auto observers = observers_;
    for (ListObserver* observer : observers) {
        f(*observer);
    }
}

void ListModel::addColumn(std::string caption, int widthTwips) {
    columns_.push_back(Column{std::move(caption), widthTwips});
    notify([](ListObserver& o) { o.columnsChanged(); });
}

void ListModel::checkPosition(int position) const {
    if (position < 1 || position > count()) {
        throw InvalidPosition(position);
    }
}

int ListModel::add(std::string text, int position) {
    if (position == 0) {
        position = count() + 1;
    }
    if (position < 1 || position > count() + 1) {
        throw InvalidPosition(position);
    }
    const bool wasEmpty = rows_.empty();
    rows_.insert(rows_.begin() + (position - 1), Row{std::move(text), {}, false, 0});
    if (selected_ >= position) {
        ++selected_;
    }
    notify([position](ListObserver& o) { o.rowsInserted(position, 1); });
    if (wasEmpty) {
        select(position);
    }
    return position;
}

void ListModel::remove(int position) {
    checkPosition(position);
    rows_.erase(rows_.begin() + (position - 1));
    const int oldSelected = selected_;
    if (selected_ == position) {
        selected_ = 0;
    } else if (selected_ > position) {
        --selected_;
    }
    notify([position](ListObserver& o) { o.rowsRemoved(position, 1); });
    if (oldSelected == position) {
        notify([](ListObserver& o) { o.selectionChanged(0); });
    }
}

void ListModel::clear() {
    rows_.clear();
    selected_ = 0;
    notify([](ListObserver& o) { o.rowsReset(); });
    notify([](ListObserver& o) { o.selectionChanged(0); });
}

const Row& ListModel::item(int position) const {
    checkPosition(position);
    return rows_[static_cast<std::size_t>(position - 1)];
}

Row& ListModel::mutableItem(int position) {
    checkPosition(position);
    return rows_[static_cast<std::size_t>(position - 1)];
}

void ListModel::setText(int position, std::string text) {
    mutableItem(position).text = std::move(text);
    notify([position](ListObserver& o) { o.rowChanged(position); });
}

void ListModel::setSubItem1(int position, std::string text) {
    mutableItem(position).subItem1 = std::move(text);
    notify([position](ListObserver& o) { o.rowChanged(position); });
}

void ListModel::setChecked(int position, bool checked) {
    Row& row = mutableItem(position);
    if (row.checked == checked) {
        return;
    }
    row.checked = checked;
    notify([position](ListObserver& o) { o.rowChanged(position); });
}

void ListModel::setSmallIcon(int position, int icon) {
    mutableItem(position).smallIcon = icon;
    notify([position](ListObserver& o) { o.rowChanged(position); });
}

void ListModel::select(int position) {
    checkPosition(position);
    if (selected_ == position) {
        return;
    }
    selected_ = position;
    notify([position](ListObserver& o) { o.selectionChanged(position); });
}

void ListModel::ensureVisible(int position) {
    checkPosition(position);
    notify([position](ListObserver& o) { o.ensureVisibleRequested(position); });
}

void ListModel::refresh() {
    notify([](ListObserver& o) { o.refreshRequested(); });
}

void ListModel::addObserver(ListObserver* observer) {
    if (std::find(observers_.begin(), observers_.end(), observer) == observers_.end()) {
        observers_.push_back(observer);
    }
}

void ListModel::removeObserver(ListObserver* observer) {
    observers_.erase(std::remove(observers_.begin(), observers_.end(), observer), observers_.end());
}

} // namespace quillory::lists
