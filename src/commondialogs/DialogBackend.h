#pragma once
// The dialogs behind CCommonDialogs. The real backend shows Qt's dialogs; tests put in a backend
// that answers with a chosen file, folder, colour or font, or with Cancel.

#include <QColor>
#include <QFont>
#include <QString>
#include <QStringList>
#include <optional>

class QWidget;

namespace quillory::commondialogs {

struct FileDialogRequest {
    QWidget* owner = nullptr;
    QString title;
    QString startFolder;             // empty: the toolkit's choice
    QStringList nameFilters;         // Qt name filters: "Description (pattern pattern)"
    bool hideFilterPatterns = false; // show only the description of each filter
    QString defaultSuffix;           // without the dot; empty: none
    QString initialName;             // preset in the file-name box
};

struct FolderDialogRequest {
    QWidget* owner = nullptr;
    QString title;
    QString startFolder;
};

class DialogBackend {
public:
    virtual ~DialogBackend() = default;
    // Each returns nullopt (or false) when the user cancels.
    virtual std::optional<QString> openExistingFile(const FileDialogRequest& request) = 0;
    virtual std::optional<QString> saveFile(const FileDialogRequest& request) = 0;
    virtual std::optional<QString> existingFolder(const FolderDialogRequest& request) = 0;
    virtual std::optional<QColor> color(QWidget* owner, const QColor& initial, bool fullOpen) = 0;
    virtual std::optional<QFont> font(QWidget* owner, const QFont& initial) = 0;
    // Printer choice and printer properties: true when confirmed; what was chosen is not kept.
    virtual bool printer(QWidget* owner) = 0;
    virtual bool printerProperties(QWidget* owner) = 0;
};

} // namespace quillory::commondialogs
