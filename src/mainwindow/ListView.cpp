#include "mainwindow/ListView.h"

#include "mainwindow/ListModelAdapter.h"
#include "mainwindow/Twips.h"

#include <QHeaderView>
#include <QMouseEvent>

namespace quillory::mainwindow {

namespace {
constexpr int kSmallIconPixels = 16;
} // namespace

ListView::ListView(QWidget* parent) : QTreeView(parent) {
    setRootIsDecorated(false);
    setItemsExpandable(false);
    setUniformRowHeights(true);
    setAllColumnsShowFocus(true);
    setSortingEnabled(false);
    setSelectionMode(QAbstractItemView::SingleSelection);
    setSelectionBehavior(QAbstractItemView::SelectRows);
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    setIconSize(QSize(kSmallIconPixels, kSmallIconPixels));
    header()->setStretchLastSection(false);
    header()->setSectionsMovable(false);
    header()->setDefaultAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    connect(this, &QAbstractItemView::clicked, this, &ListView::onClicked);
}

void ListView::bind(ListModelAdapter* adapter) {
    if (adapter_ != nullptr) {
        disconnect(adapter_, nullptr, this, nullptr);
    }
    adapter_ = adapter;
    setModel(adapter);
    if (adapter == nullptr) {
        return;
    }
    connect(adapter, &ListModelAdapter::modelColumnsChanged, this, &ListView::applyColumnWidths);
    connect(adapter, &ListModelAdapter::modelSelectionChanged, this, &ListView::showModelSelection);
    connect(adapter, &ListModelAdapter::modelEnsureVisible, this,
            [this](int position) { scrollTo(adapter_->indexOf(position)); });
    connect(adapter, &ListModelAdapter::modelRefresh, this, [this] { viewport()->update(); });
    connect(adapter, &ListModelAdapter::checkToggledByUser, this,
            [this] { checkToggledSincePress_ = true; });
    connect(selectionModel(), &QItemSelectionModel::selectionChanged, this,
            &ListView::takeViewSelection);
    applyColumnWidths();
    showModelSelection(adapter->listModel().selectedPosition());
}

void ListView::applyColumnWidths() {
    const auto& columns = adapter_->listModel().columns();
    for (std::size_t i = 0; i < columns.size(); ++i) {
        header()->resizeSection(static_cast<int>(i), TwipsToPixels(columns[i].widthTwips));
    }
}

void ListView::showModelSelection(int position) {
    if (takingViewSelection_) {
        return; // the view already shows it: the change came from here
    }
    showingModelSelection_ = true;
    if (position == 0) {
        selectionModel()->clearSelection();
    } else {
        selectionModel()->setCurrentIndex(adapter_->indexOf(position),
                                          QItemSelectionModel::ClearAndSelect |
                                              QItemSelectionModel::Rows);
    }
    showingModelSelection_ = false;
}

void ListView::takeViewSelection() {
    if (showingModelSelection_) {
        return;
    }
    const QModelIndexList rows = selectionModel()->selectedRows();
    if (rows.size() != 1) {
        return;
    }
    // Qt also reports selection changes while the model removes or inserts rows, when the view's
    // rows are not yet the model's.
    const int position = adapter_->modelPosition(rows.front().row());
    if (position != 0) {
        takingViewSelection_ = true;
        adapter_->listModel().select(position);
        takingViewSelection_ = false;
    }
}

void ListView::mousePressEvent(QMouseEvent* event) {
    checkToggledSincePress_ = false;
    QTreeView::mousePressEvent(event);
}

void ListView::onClicked(const QModelIndex& index) {
    if (index.isValid() && !checkToggledSincePress_) {
        emit listItemClicked();
    }
}

void ListView::mouseDoubleClickEvent(QMouseEvent* event) {
    QTreeView::mouseDoubleClickEvent(event);
    emit listDoubleClicked();
}

} // namespace quillory::mainwindow
