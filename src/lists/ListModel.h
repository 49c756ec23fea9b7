#pragma once
// One list of the main window (source, workbook, worksheet or merge list) as plain data.
//
// Rows are addressed by 1-based position. At most one row is selected, and the first row added
// to an empty list becomes the selected row: the procedures rely on that rule wherever they read
// the selected row after finding that a list has rows. Views observe the model; they never hold
// rows of their own.

#include <cstddef>
#include <stdexcept>
#include <string>
#include <vector>

namespace quillory::lists {

struct Column {
    std::string caption;
    int widthTwips = 0;
};

struct Row {
    std::string text;
    std::string subItem1; // text of the second column
    bool checked = false;
    int smallIcon = 0; // 1-based image index; 0 = no icon
};

// Thrown for a position that names no row, like the list widget's "invalid index" failure.
class InvalidPosition : public std::out_of_range {
public:
    explicit InvalidPosition(int position);
};

// Told about every change so that a view can follow the model.
class ListObserver {
public:
    virtual ~ListObserver() = default;
    virtual void columnsChanged() {}
    virtual void rowsInserted(int /*position*/, int /*count*/) {}
    virtual void rowsRemoved(int /*position*/, int /*count*/) {}
    virtual void rowsReset() {}
    virtual void rowChanged(int /*position*/) {}
    virtual void selectionChanged(int /*position*/) {}
    virtual void ensureVisibleRequested(int /*position*/) {}
    virtual void refreshRequested() {}
};

class ListModel {
public:
    ListModel() = default;
    ListModel(const ListModel&) = delete;
    ListModel& operator=(const ListModel&) = delete;

    // Columns, in the order added.
    void addColumn(std::string caption, int widthTwips);
    const std::vector<Column>& columns() const { return columns_; }

    int count() const { return static_cast<int>(rows_.size()); }
    bool empty() const { return rows_.empty(); }

    // Adds a row and returns its position. position 0 appends; 1..count()+1 inserts there and
    // moves the rows from that position on down one place.
    int add(std::string text, int position = 0);
    void remove(int position);
    void clear();

    const Row& item(int position) const;
    const std::string& text(int position) const { return item(position).text; }
    const std::string& subItem1(int position) const { return item(position).subItem1; }
    bool checked(int position) const { return item(position).checked; }
    int smallIcon(int position) const { return item(position).smallIcon; }

    void setText(int position, std::string text);
    void setSubItem1(int position, std::string text);
    void setChecked(int position, bool checked);
    void setSmallIcon(int position, int icon);

    // 0 when no row is selected.
    int selectedPosition() const { return selected_; }
    bool hasSelection() const { return selected_ != 0; }
    // Text of the selected row; throws InvalidPosition when none is selected.
    const std::string& selectedText() const { return text(selected_); }
    void select(int position);

    // Notifications for the view: scroll a row into view, repaint.
    void ensureVisible(int position);
    void refresh();

    void addObserver(ListObserver* observer);
    void removeObserver(ListObserver* observer);

private:
    Row& mutableItem(int position);
    void checkPosition(int position) const;
    template <typename F> void notify(F&& f);

    std::vector<Column> columns_;
    std::vector<Row> rows_;
    int selected_ = 0;
    std::vector<ListObserver*> observers_;
};

} // namespace quillory::lists
