#pragma once
// The AutoSave setting in the first line of set.txt. The exit save and the Settings dialog read
// the same line by different rules, kept here side by side.

#include <filesystem>

namespace quillory::sources {

// The exit save's rule: only a first line that is exactly "0" switches saving off. A missing,
// empty or unreadable file, and any other text, leave it on.
bool AutoSaveEnabled(const std::filesystem::path& settingsFile);

// The Settings dialog's rule: its box is ticked only for a first line that is exactly "1".
bool ReadAutoSaveBox(const std::filesystem::path& settingsFile);

// Replaces the file with "1" or "0" and CR LF. Throws FileError; the old file then stays.
void WriteAutoSave(const std::filesystem::path& settingsFile, bool on);

} // namespace quillory::sources
