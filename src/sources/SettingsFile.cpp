#include "sources/SettingsFile.h"

#include "sources/TextFile.h"

namespace quillory::sources {

bool AutoSaveEnabled(const std::filesystem::path& settingsFile) {
    return ReadFirstLine(settingsFile) != "0";
}

bool ReadAutoSaveBox(const std::filesystem::path& settingsFile) {
    return ReadFirstLine(settingsFile) == "1";
}

void WriteAutoSave(const std::filesystem::path& settingsFile, bool on) {
    WriteFileReplacing(settingsFile, on ? "1\r\n" : "0\r\n");
}

} // namespace quillory::sources
