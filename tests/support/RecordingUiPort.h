#pragma once
// A UI port that records what the procedures ask of the user interface, and answers the opener
// and the save dialog as a test tells it to.

#include "lists/UiPort.h"

#include <deque>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace quillory::testing {

struct RecordedMessage {
    lists::MessageIcon icon;
    std::string text;
    std::string details; // behind "Show Details..."; empty for a plain message
};

class RecordingUiPort : public lists::UiPort {
public:
    void showMessage(lists::MessageIcon icon, const std::string& text) override {
        showDetailedMessage(icon, text, {});
    }
    void showDetailedMessage(lists::MessageIcon icon, const std::string& text,
                             const std::string& details) override {
        messages.push_back(RecordedMessage{icon, text, details});
        if (onMessage) {
            onMessage(messages.back());
        }
    }
    void setBusy(bool on) override {
        busyCalls.push_back(on);
        busy = on;
    }
    bool openFile(const std::filesystem::path& file) override {
        openedFiles.push_back(file);
        return openFileSucceeds;
    }
    std::optional<std::filesystem::path>
    askSavePath(const std::filesystem::path& suggestedName) override {
        saveRequests.push_back(suggestedName);
        if (saveAnswers.empty()) {
            return std::nullopt;
        }
        auto answer = saveAnswers.front();
        saveAnswers.pop_front();
        return answer;
    }

    // The texts of the messages shown, in order.
    std::vector<std::string> messageTexts() const {
        std::vector<std::string> texts;
        for (const auto& message : messages) {
            texts.push_back(message.text);
        }
        return texts;
    }

    std::vector<RecordedMessage> messages;
    std::vector<bool> busyCalls; // every setBusy argument, in order
    bool busy = false;
    std::vector<std::filesystem::path> openedFiles;
    std::vector<std::filesystem::path> saveRequests; // the suggested names asked about

    // What openFile answers.
    bool openFileSucceeds = true;
    // Answers of askSavePath, taken in order; nullopt (cancel) once they run out.
    std::deque<std::optional<std::filesystem::path>> saveAnswers;
    // Called while a message is shown, e.g. to look at the progress bar at that moment.
    std::function<void(const RecordedMessage&)> onMessage;
};

} // namespace quillory::testing
