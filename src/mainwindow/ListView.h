#pragma once
// One list of the main window: a report-style view of a ListModelAdapter with the list widget's
// behaviour. The model's selected row and the view's follow each other, the model's
// ensure-visible and refresh requests reach the view, and the view raises the list's two events:
// listItemClicked (a click on a row, but not one that only ticks its check box) and
// listDoubleClicked (anywhere in the list).

#include <QTreeView>

namespace quillory::mainwindow {

class ListModelAdapter;

class ListView : public QTreeView {
    Q_OBJECT
public:
    explicit ListView(QWidget* parent = nullptr);

    // Shows the adapter's list; the adapter must outlive the binding or be unbound first.
    void bind(ListModelAdapter* adapter);
    ListModelAdapter* adapter() const { return adapter_; }

signals:
    void listItemClicked();
    void listDoubleClicked();

protected:
    void mousePressEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;

private:
    void applyColumnWidths();
    void showModelSelection(int position);
    void takeViewSelection();
    void onClicked(const QModelIndex& index);

    ListModelAdapter* adapter_ = nullptr;
    bool showingModelSelection_ = false;
    bool takingViewSelection_ = false;
    bool checkToggledSincePress_ = false;
};

} // namespace quillory::mainwindow
