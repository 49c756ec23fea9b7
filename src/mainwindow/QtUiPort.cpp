#include "mainwindow/QtUiPort.h"

#include <QApplication>
#include <QDesktopServices>
#include <QEvent>
#include <QFile>
#include <QFileDialog>
#include <QMessageBox>
#include <QTextEdit>
#include <QUrl>

namespace quillory::mainwindow {

namespace {
constexpr const char* kCaption = "Quillory";
constexpr int kDetailsWidth = 600; // pixels, at least
constexpr int kDetailsHeight = 240;

QString toQString(const std::filesystem::path& path) {
    return QFile::decodeName(QByteArray::fromStdString(path.string()));
}

bool IsUserInput(QEvent::Type type) {
    switch (type) {
    case QEvent::MouseButtonPress:
    case QEvent::MouseButtonRelease:
    case QEvent::MouseButtonDblClick:
    case QEvent::Wheel:
    case QEvent::KeyPress:
    case QEvent::KeyRelease:
    case QEvent::ShortcutOverride:
    case QEvent::Shortcut:
    case QEvent::ContextMenu:
    case QEvent::InputMethod:
    case QEvent::DragEnter:
    case QEvent::DragMove:
    case QEvent::Drop:
    case QEvent::TouchBegin:
    case QEvent::TouchUpdate:
    case QEvent::TouchEnd:
    case QEvent::TabletPress:
    case QEvent::TabletRelease:
        return true;
    default:
        return false;
    }
}

// Drops the user's input while a command lets the window repaint: a click then must not start
// another command, nor be queued to run once this one is over.
class InputBlocker : public QObject {
public:
    InputBlocker() { QCoreApplication::instance()->installEventFilter(this); }
    ~InputBlocker() override { QCoreApplication::instance()->removeEventFilter(this); }
    InputBlocker(const InputBlocker&) = delete;
    InputBlocker& operator=(const InputBlocker&) = delete;

protected:
    bool eventFilter(QObject* /*watched*/, QEvent* event) override {
        return IsUserInput(event->type());
    }
};
} // namespace

QtUiPort::~QtUiPort() {
    setBusy(false);
}

void QtUiPort::showMessage(lists::MessageIcon icon, const std::string& text) {
    showDetailedMessage(icon, text, {});
}

void QtUiPort::showDetailedMessage(lists::MessageIcon icon, const std::string& text,
                                   const std::string& details) {
    QMessageBox box(
        icon == lists::MessageIcon::Critical ? QMessageBox::Critical : QMessageBox::Information,
        QString::fromLatin1(kCaption), QString::fromUtf8(text), QMessageBox::Ok, window_);
    if (!details.empty()) {
        box.setDetailedText(QString::fromUtf8(details));
        // Room for a line of notes without wrapping every other word, and for a dozen lines.
        if (auto* area = box.findChild<QTextEdit*>()) {
            area->setMinimumWidth(kDetailsWidth);
            area->setFixedHeight(kDetailsHeight);
        }
    }
    // A message must be readable even while the busy pointer is on.
    const bool wasBusy = busy_;
    setBusy(false);
    box.exec();
    setBusy(wasBusy);
}

void QtUiPort::setBusy(bool busy) {
    if (busy == busy_) {
        return;
    }
    busy_ = busy;
    if (busy) {
        QApplication::setOverrideCursor(Qt::WaitCursor);
    } else {
        QApplication::restoreOverrideCursor();
    }
}

bool QtUiPort::openFile(const std::filesystem::path& file) {
    return QDesktopServices::openUrl(QUrl::fromLocalFile(toQString(file)));
}

std::optional<std::filesystem::path>
QtUiPort::askSavePath(const std::filesystem::path& suggestedName) {
    const QString chosen = QFileDialog::getSaveFileName(
        window_, QStringLiteral("Save the merged workbook"), toQString(suggestedName),
        QStringLiteral("Excel workbook (*.xlsx)"));
    if (chosen.isEmpty()) {
        return std::nullopt;
    }
    return std::filesystem::path(QFile::encodeName(chosen).toStdString());
}

void QtUiPort::processEvents() {
    if (QCoreApplication::instance() == nullptr) {
        return;
    }
    InputBlocker blocker;
    QApplication::processEvents();
}

} // namespace quillory::mainwindow
