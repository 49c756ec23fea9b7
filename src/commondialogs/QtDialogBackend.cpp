#include "commondialogs/QtDialogBackend.h"

#include <QColorDialog>
#include <QFileDialog>
#include <QFontDialog>
#include <QPageSetupDialog>
#include <QPrintDialog>
#include <QPrinter>

namespace quillory::commondialogs {

namespace {

void prepareFileDialog(QFileDialog& dialog, const FileDialogRequest& request, bool native) {
    dialog.setOption(QFileDialog::DontUseNativeDialog, !native);
    dialog.setWindowTitle(request.title);
    if (!request.startFolder.isEmpty()) {
        dialog.setDirectory(request.startFolder);
    }
    if (!request.nameFilters.isEmpty()) {
        dialog.setOption(QFileDialog::HideNameFilterDetails, request.hideFilterPatterns);
        dialog.setNameFilters(request.nameFilters);
    }
    if (!request.defaultSuffix.isEmpty()) {
        dialog.setDefaultSuffix(request.defaultSuffix);
    }
    if (!request.initialName.isEmpty()) {
        dialog.selectFile(request.initialName);
    }
}

std::optional<QString> firstSelected(QFileDialog& dialog) {
    if (dialog.exec() != QDialog::Accepted) {
        return std::nullopt;
    }
    const QStringList files = dialog.selectedFiles();
    if (files.isEmpty()) {
        return std::nullopt;
    }
    return files.first();
}

} // namespace

std::optional<QString> QtDialogBackend::openExistingFile(const FileDialogRequest& request) {
    QFileDialog dialog(request.owner);
    dialog.setAcceptMode(QFileDialog::AcceptOpen);
    dialog.setFileMode(QFileDialog::ExistingFile);
    prepareFileDialog(dialog, request, nativeDialogs_);
    return firstSelected(dialog);
}

std::optional<QString> QtDialogBackend::saveFile(const FileDialogRequest& request) {
    QFileDialog dialog(request.owner);
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setFileMode(QFileDialog::AnyFile);
    dialog.setOption(QFileDialog::DontConfirmOverwrite, true);
    prepareFileDialog(dialog, request, nativeDialogs_);
    return firstSelected(dialog);
}

std::optional<QString> QtDialogBackend::existingFolder(const FolderDialogRequest& request) {
    QFileDialog dialog(request.owner);
    dialog.setOption(QFileDialog::DontUseNativeDialog, !nativeDialogs_);
    dialog.setWindowTitle(request.title);
    dialog.setAcceptMode(QFileDialog::AcceptOpen);
    dialog.setFileMode(QFileDialog::Directory);
    dialog.setOption(QFileDialog::ShowDirsOnly, true);
    if (!request.startFolder.isEmpty()) {
        dialog.setDirectory(request.startFolder);
    }
    return firstSelected(dialog);
}

std::optional<QColor> QtDialogBackend::color(QWidget* owner, const QColor& initial,
                                             bool /*fullOpen: Qt's dialog is always full*/) {
    QColorDialog dialog(initial, owner);
    dialog.setOption(QColorDialog::DontUseNativeDialog, !nativeDialogs_);
    if (dialog.exec() != QDialog::Accepted) {
        return std::nullopt;
    }
    return dialog.selectedColor();
}

std::optional<QFont> QtDialogBackend::font(QWidget* owner, const QFont& initial) {
    QFontDialog dialog(initial, owner);
    dialog.setOption(QFontDialog::DontUseNativeDialog, !nativeDialogs_);
    if (dialog.exec() != QDialog::Accepted) {
        return std::nullopt;
    }
    return dialog.selectedFont();
}

bool QtDialogBackend::printer(QWidget* owner) {
    QPrinter chosen;
    QPrintDialog dialog(&chosen, owner);
    // No selection, no page range, no printing to a file.
    dialog.setOption(QAbstractPrintDialog::PrintSelection, false);
    dialog.setOption(QAbstractPrintDialog::PrintPageRange, false);
    dialog.setOption(QAbstractPrintDialog::PrintToFile, false);
    return dialog.exec() == QDialog::Accepted;
}

bool QtDialogBackend::printerProperties(QWidget* owner) {
    QPrinter defaultPrinter;
    if (!defaultPrinter.isValid()) {
        return false;
    }
    QPageSetupDialog dialog(&defaultPrinter, owner);
    return dialog.exec() == QDialog::Accepted;
}

} // namespace quillory::commondialogs
