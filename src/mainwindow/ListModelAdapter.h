#pragma once
// Shows one lists::ListModel to a Qt item view. The adapter holds no rows of its own: it reads the
// model and turns the model's change notifications into Qt's model signals. A check box the user
// clicks is written back with ListModel::setChecked.

#include "lists/ListModel.h"

#include <QAbstractTableModel>
#include <QIcon>
#include <QList>

namespace quillory::mainwindow {

class ListModelAdapter : public QAbstractTableModel, private lists::ListObserver {
    Q_OBJECT
public:
    struct Options {
        bool checkBoxes = false;
        QList<QIcon> smallIcons; // the image list; a row's small icon n shows smallIcons[n - 1]
    };

    ListModelAdapter(lists::ListModel& model, Options options, QObject* parent = nullptr);
    ~ListModelAdapter() override;

    lists::ListModel& listModel() const { return model_; }

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    bool setData(const QModelIndex& index, const QVariant& value, int role) override;
    Qt::ItemFlags flags(const QModelIndex& index) const override;
    QVariant headerData(int section, Qt::Orientation orientation,
                        int role = Qt::DisplayRole) const override;

    // 1-based list position of a view row, and back.
    static int positionOf(const QModelIndex& index) { return index.row() + 1; }
    QModelIndex indexOf(int position, int column = 0) const { return index(position - 1, column); }
    // The model position behind a view row, or 0 when that row no longer exists. Unlike
    // positionOf it also holds while the model is telling of an insertion or removal, when the
    // view's rows are still the old ones.
    int modelPosition(int viewRow) const;

signals:
    // The model's selected row changed (0: none).
    void modelSelectionChanged(int position);
    void modelEnsureVisible(int position);
    void modelRefresh();
    // The model's columns changed; the view re-applies the widths.
    void modelColumnsChanged();
    // The user ticked or cleared a check box through the view.
    void checkToggledByUser(int position);

private:
    void columnsChanged() override;
    void rowsInserted(int position, int count) override;
    void rowsRemoved(int position, int count) override;
    void rowsReset() override;
    void rowChanged(int position) override;
    void selectionChanged(int position) override;
    void ensureVisibleRequested(int position) override;
    void refreshRequested() override;

    // The model is told of a change after it happened, while Qt's "about to" signals must see the
    // old rows. During such a signal, view rows from `first` on are shifted by `shift` model rows.
    struct PendingShift {
        int first = 0;
        int shift = 0;
    };

    lists::ListModel& model_;
    Options options_;
    int rows_ = 0;    // the row count the view knows
    int columns_ = 0; // the column count the view knows
    PendingShift pending_;
};

} // namespace quillory::mainwindow
