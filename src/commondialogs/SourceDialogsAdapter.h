#pragma once
// The source-list commands' dialogs over CCommonDialogs: a new object per question, owned by the
// main window, as the commands expect.

#include "sources/SourceListCommands.h"

class QWidget;

namespace quillory::commondialogs {

class DialogBackend;

class SourceDialogsAdapter : public sources::SourceDialogs {
public:
    // A null backend uses the process's default (the desktop's dialogs unless replaced).
    explicit SourceDialogsAdapter(QWidget* owner, DialogBackend* backend = nullptr)
        : owner_(owner), backend_(backend) {}

    std::optional<std::string> ChooseWorkbookFile(const std::string& title) override;
    std::optional<std::string> ChooseFolder(const std::string& title) override;

private:
    QWidget* owner_;
    DialogBackend* backend_;
};

} // namespace quillory::commondialogs
