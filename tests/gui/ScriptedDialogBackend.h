#pragma once
// A dialog backend that answers each dialog with the choice a test prepared (Cancel when none is
// prepared) and keeps what it was asked.

#include "commondialogs/DialogBackend.h"

#include <QColor>
#include <QFont>
#include <QStringList>
#include <optional>

namespace quillory::testing {

class ScriptedDialogBackend : public commondialogs::DialogBackend {
public:
    std::optional<QString> fileAnswer; // open and save dialogs
    std::optional<QString> folderAnswer;
    std::optional<QColor> colorAnswer;
    std::optional<QFont> fontAnswer;
    bool printerAnswer = false;

    int calls = 0;
    QStringList titles; // of the file and folder dialogs, in order
    commondialogs::FileDialogRequest lastFile;
    commondialogs::FolderDialogRequest lastFolder;
    QColor lastColor;
    bool lastFullOpen = false;
    QFont lastFont;

    std::optional<QString>
    openExistingFile(const commondialogs::FileDialogRequest& request) override {
        lastFile = request;
        return answer(request.title, fileAnswer);
    }
    std::optional<QString> saveFile(const commondialogs::FileDialogRequest& request) override {
        lastFile = request;
        return answer(request.title, fileAnswer);
    }
    std::optional<QString>
    existingFolder(const commondialogs::FolderDialogRequest& request) override {
        lastFolder = request;
        return answer(request.title, folderAnswer);
    }
    std::optional<QColor> color(QWidget*, const QColor& initial, bool fullOpen) override {
        ++calls;
        lastColor = initial;
        lastFullOpen = fullOpen;
        return colorAnswer;
    }
    std::optional<QFont> font(QWidget*, const QFont& initial) override {
        ++calls;
        lastFont = initial;
        return fontAnswer;
    }
    bool printer(QWidget*) override {
        ++calls;
        return printerAnswer;
    }
    bool printerProperties(QWidget*) override {
        ++calls;
        return printerAnswer;
    }

private:
    std::optional<QString> answer(const QString& title, const std::optional<QString>& value) {
        ++calls;
        titles << title;
        return value;
    }
};

} // namespace quillory::testing
