#include "support/RecordingUiPort.h"

namespace quillory::testing {

void RecordingUiPort::showMessage(lists::MessageIcon icon, const std::string& text) {
    showDetailedMessage(icon, text, {});
}

void RecordingUiPort::showDetailedMessage(lists::MessageIcon icon, const std::string& text,
                                          const std::string& details) {
    messages.push_back(RecordedMessage{icon, text, details});
    if (onMessage) {
        onMessage(messages.back());
    }
}

void RecordingUiPort::setBusy(bool on) {
    busyCalls.push_back(on);
    busy = on;
}

bool RecordingUiPort::openFile(const std::filesystem::path& file) {
    openedFiles.push_back(file);
    if (onOpenFile) {
        onOpenFile(file);
    }
    return openFileSucceeds;
}

std::optional<std::filesystem::path>
RecordingUiPort::askSavePath(const std::filesystem::path& suggestedName) {
    saveRequests.push_back(suggestedName);
    if (saveAnswers.empty()) {
        return std::nullopt;
    }
    auto answer = saveAnswers.front();
    saveAnswers.pop_front();
    return answer;
}

std::vector<std::string> RecordingUiPort::messageTexts() const {
    std::vector<std::string> texts;
    texts.reserve(messages.size());
    for (const auto& message : messages) {
        texts.push_back(message.text);
    }
    return texts;
}

} // namespace quillory::testing
