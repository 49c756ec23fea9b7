#pragma once
// What the procedures need of the user interface. The window implements it with message boxes
// (caption "Quillory"), the busy pointer and the desktop's opener; tests record the calls.

#include <filesystem>
#include <optional>
#include <string>

namespace quillory::lists {

enum class MessageIcon { Information, Critical };

class UiPort {
public:
    virtual ~UiPort() = default;
    // A modal message with one OK button.
    virtual void showMessage(MessageIcon icon, const std::string& text) = 0;
    // The same with a longer text the user can open from the message ("Show Details...");
    // where the port has no such place, the details follow the text.
    virtual void showDetailedMessage(MessageIcon icon, const std::string& text,
                                     const std::string& details) {
        showMessage(icon, details.empty() ? text : text + "\n\n" + details);
    }
    // The hourglass pointer on (true) or back to the default (false).
    virtual void setBusy(bool busy) = 0;
    // Hands a file to the user's default program for it; false when no program took it.
    virtual bool openFile(const std::filesystem::path& file) = 0;
    // Asks where to save a file; nullopt when the user cancels.
    virtual std::optional<std::filesystem::path>
    askSavePath(const std::filesystem::path& suggestedName) = 0;
    // Lets the window repaint during a long command (progress bar); the user's input meanwhile
    // must not start another command. May do nothing.
    virtual void processEvents() {}
};

} // namespace quillory::lists
