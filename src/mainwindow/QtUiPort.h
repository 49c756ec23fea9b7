#pragma once
// The user interface the procedures talk to, on Qt: message boxes captioned "Quillory", the
// busy pointer, the desktop's default programs and the save dialog.

#include "lists/UiPort.h"

class QWidget;

namespace quillory::mainwindow {

class QtUiPort : public lists::UiPort {
public:
    // Message boxes and dialogs are owned by `window` (may be null).
    explicit QtUiPort(QWidget* window = nullptr) : window_(window) {}
    ~QtUiPort() override;

    void showMessage(lists::MessageIcon icon, const std::string& text) override;
    // The details behind the message box's "Show Details..." button.
    void showDetailedMessage(lists::MessageIcon icon, const std::string& text,
                             const std::string& details) override;
    void setBusy(bool busy) override;
    bool openFile(const std::filesystem::path& file) override;
    std::optional<std::filesystem::path>
    askSavePath(const std::filesystem::path& suggestedName) override;
    // Repaints and runs timers; the user's clicks and keys meanwhile are dropped.
    void processEvents() override;

    bool busy() const { return busy_; }

private:
    QWidget* window_;
    // The pointer is a state, not a count: two "busy" calls need one "default" to undo.
    bool busy_ = false;
};

} // namespace quillory::mainwindow
