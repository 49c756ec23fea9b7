#include "mainwindow/ListModelAdapter.h"

namespace quillory::mainwindow {

ListModelAdapter::ListModelAdapter(lists::ListModel& model, Options options, QObject* parent)
    : QAbstractTableModel(parent), model_(model), options_(std::move(options)),
      rows_(model.count()), columns_(static_cast<int>(model.columns().size())) {
    model_.addObserver(this);
}

ListModelAdapter::~ListModelAdapter() {
    model_.removeObserver(this);
}

int ListModelAdapter::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : rows_;
}

int ListModelAdapter::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : columns_;
}

int ListModelAdapter::modelPosition(int viewRow) const {
    if (viewRow < pending_.first) {
        return viewRow + 1;
    }
    if (pending_.shift < 0 && viewRow < pending_.first - pending_.shift) {
        return 0; // a removed row
    }
    const int position = viewRow + pending_.shift + 1;
    return position <= model_.count() ? position : 0;
}

QVariant ListModelAdapter::data(const QModelIndex& index, int role) const {
    if (!checkIndex(index, CheckIndexOption::IndexIsValid | CheckIndexOption::ParentIsInvalid)) {
        return {};
    }
    const int position = modelPosition(index.row());
    if (position == 0) {
        return {};
    }
    const lists::Row& row = model_.item(position);
    switch (role) {
    case Qt::DisplayRole:
    case Qt::ToolTipRole:
        if (index.column() == 0) {
            return QString::fromUtf8(row.text);
        }
        if (index.column() == 1) {
            return QString::fromUtf8(row.subItem1);
        }
        return {};
    case Qt::CheckStateRole:
        if (options_.checkBoxes && index.column() == 0) {
            return row.checked ? Qt::Checked : Qt::Unchecked;
        }
        return {};
    case Qt::DecorationRole:
        if (index.column() == 0 && row.smallIcon >= 1 &&
            row.smallIcon <= options_.smallIcons.size()) {
            return options_.smallIcons.at(row.smallIcon - 1);
        }
        return {};
    default:
        return {};
    }
}

bool ListModelAdapter::setData(const QModelIndex& index, const QVariant& value, int role) {
    if (role != Qt::CheckStateRole || !options_.checkBoxes || index.column() != 0 ||
        !checkIndex(index, CheckIndexOption::IndexIsValid | CheckIndexOption::ParentIsInvalid)) {
        return false;
    }
    const int position = positionOf(index);
    model_.setChecked(position, value.toInt() == Qt::Checked);
    emit checkToggledByUser(position);
    return true;
}

Qt::ItemFlags ListModelAdapter::flags(const QModelIndex& index) const {
    if (!index.isValid()) {
        return Qt::NoItemFlags;
    }
    Qt::ItemFlags flags = Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemNeverHasChildren;
    if (options_.checkBoxes && index.column() == 0) {
        flags |= Qt::ItemIsUserCheckable;
    }
    return flags;
}

QVariant ListModelAdapter::headerData(int section, Qt::Orientation orientation, int role) const {
    if (orientation != Qt::Horizontal || section < 0 || section >= columns_) {
        return QAbstractTableModel::headerData(section, orientation, role);
    }
    if (role == Qt::DisplayRole) {
        return QString::fromUtf8(model_.columns()[static_cast<std::size_t>(section)].caption);
    }
    if (role == Qt::TextAlignmentRole) {
        return QVariant::fromValue(Qt::Alignment(Qt::AlignLeft | Qt::AlignVCenter));
    }
    return {};
}

void ListModelAdapter::columnsChanged() {
    const int columns = static_cast<int>(model_.columns().size());
    if (columns > columns_) {
        beginInsertColumns({}, columns_, columns - 1);
        columns_ = columns;
        endInsertColumns();
    } else {
        beginResetModel();
        columns_ = columns;
        rows_ = model_.count();
        endResetModel();
    }
    emit modelColumnsChanged();
}

void ListModelAdapter::rowsInserted(int position, int count) {
    pending_ = {position - 1, count};
    beginInsertRows({}, position - 1, position - 2 + count);
    pending_ = {};
    rows_ += count;
    endInsertRows();
}

void ListModelAdapter::rowsRemoved(int position, int count) {
    pending_ = {position - 1, -count};
    beginRemoveRows({}, position - 1, position - 2 + count);
    pending_ = {};
    rows_ -= count;
    endRemoveRows();
}

void ListModelAdapter::rowsReset() {
    beginResetModel();
    rows_ = model_.count();
    endResetModel();
}

void ListModelAdapter::rowChanged(int position) {
    if (columns_ > 0) {
        emit dataChanged(index(position - 1, 0), index(position - 1, columns_ - 1));
    }
}

void ListModelAdapter::selectionChanged(int position) {
    emit modelSelectionChanged(position);
}

void ListModelAdapter::ensureVisibleRequested(int position) {
    emit modelEnsureVisible(position);
}

void ListModelAdapter::refreshRequested() {
    emit modelRefresh();
}

} // namespace quillory::mainwindow
