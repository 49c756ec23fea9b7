#pragma once
// Draws a path too long for its list cell with its middle left out and its file name whole, as
// the file names tell the rows apart. The text of the row stays the whole path.

#include <QStyledItemDelegate>

class QFontMetrics;

namespace quillory::mainwindow {

// `path` in at most `width` pixels: as it is when it fits; else the start of its folder, "…", and
// the file name ("/home/ann/Sha…/North office.xlsx"); a file name that does not fit by itself
// loses its own middle.
QString ElidePath(const QString& path, const QFontMetrics& metrics, int width);

class PathDelegate : public QStyledItemDelegate {
public:
    using QStyledItemDelegate::QStyledItemDelegate;
    void paint(QPainter* painter, const QStyleOptionViewItem& option,
               const QModelIndex& index) const override;
};

} // namespace quillory::mainwindow
