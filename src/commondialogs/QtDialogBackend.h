#pragma once
// The dialogs of the desktop: QFileDialog, QColorDialog, QFontDialog, QPrintDialog and
// QPageSetupDialog, each shown modally over its owner.

#include "commondialogs/DialogBackend.h"

namespace quillory::commondialogs {

class QtDialogBackend : public DialogBackend {
public:
    // nativeDialogs false gives Qt's own widgets, which tests can find and drive.
    explicit QtDialogBackend(bool nativeDialogs = true) : nativeDialogs_(nativeDialogs) {}

    std::optional<QString> openExistingFile(const FileDialogRequest& request) override;
    std::optional<QString> saveFile(const FileDialogRequest& request) override;
    std::optional<QString> existingFolder(const FolderDialogRequest& request) override;
    std::optional<QColor> color(QWidget* owner, const QColor& initial, bool fullOpen) override;
    std::optional<QFont> font(QWidget* owner, const QFont& initial) override;
    bool printer(QWidget* owner) override;
    bool printerProperties(QWidget* owner) override;

private:
    bool nativeDialogs_;
};

} // namespace quillory::commondialogs
