#include "mainwindow/PathDelegate.h"

#include <QApplication>
#include <QFontMetrics>
#include <QStyle>

namespace quillory::mainwindow {

QString ElidePath(const QString& path, const QFontMetrics& metrics, int width) {
    if (metrics.horizontalAdvance(path) <= width) {
        return path;
    }
    const qsizetype slash = path.lastIndexOf(QLatin1Char('/'));
    const QString name = path.mid(slash + 1);
    const QString tail = QStringLiteral("/") + name;
    const QString ellipsis(QChar(0x2026));
    if (slash < 0 || metrics.horizontalAdvance(ellipsis + tail) > width) {
        return metrics.elidedText(name, Qt::ElideMiddle, width);
    }
    const QString start = metrics.elidedText(path.left(slash), Qt::ElideRight,
                                             width - metrics.horizontalAdvance(tail));
    return (start.isEmpty() ? ellipsis : start) + tail;
}

void PathDelegate::paint(QPainter* painter, const QStyleOptionViewItem& option,
                         const QModelIndex& index) const {
    QStyleOptionViewItem shown = option;
    initStyleOption(&shown, index);
    const QWidget* widget = option.widget;
    const QStyle* style = widget != nullptr ? widget->style() : QApplication::style();
    // The style draws the text inside the text rectangle less a margin on either side.
    const int margin = style->pixelMetric(QStyle::PM_FocusFrameHMargin, nullptr, widget) + 1;
    const QRect text = style->subElementRect(QStyle::SE_ItemViewItemText, &shown, widget);
    shown.text = ElidePath(shown.text, shown.fontMetrics, text.width() - 2 * margin);
    style->drawControl(QStyle::CE_ItemViewItem, &shown, painter, widget);
}

} // namespace quillory::mainwindow
