#pragma once
// A label that acts as a link: drawn in the highlight colour, a pointing hand under the mouse,
// clicked() on a left-button click. It never takes the keyboard focus.

#include <QLabel>

namespace quillory::dialogs {

class LinkLabel : public QLabel {
    Q_OBJECT

public:
    LinkLabel(const QString& text, QWidget* parent);

signals:
    void clicked();

protected:
    void mouseReleaseEvent(QMouseEvent* event) override;
};

} // namespace quillory::dialogs
