#pragma once
// Whole-file reads and crash-safe whole-file writes for the program's small text files.

#include <filesystem>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

namespace quillory::sources {

// A file of the program could not be read or written. The message names the file and the reason.
class FileError : public std::runtime_error {
public:
    FileError(const std::filesystem::path& file, const std::string& reason);
    const std::filesystem::path& file() const { return file_; }

private:
    std::filesystem::path file_;
};

// The bytes of a file; nullopt when it does not exist. Throws FileError when it exists but cannot
// be read (a folder, no permission, an I/O error).
std::optional<std::string> ReadWholeFile(const std::filesystem::path& file);

// Replaces the file's content with `bytes`: written to a temporary file in the same folder and
// renamed into place, so a failure at any point leaves the old file as it was and no temporary
// file behind. Throws FileError.
void WriteFileReplacing(const std::filesystem::path& file, std::string_view bytes);

// Splits text into lines. CR LF, a lone CR and a lone LF each end a line; a last line without a
// line end still counts; a UTF-8 byte-order mark at the start is skipped.
std::vector<std::string> SplitLines(std::string_view text);

// The first line of a file as SplitLines gives it; nullopt when the file is missing, empty or
// unreadable.
std::optional<std::string> ReadFirstLine(const std::filesystem::path& file);

} // namespace quillory::sources
