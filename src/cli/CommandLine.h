#pragma once
// The arguments of quillory-merge and the merge entries they stand for.

#include <filesystem>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

namespace quillory::cli {

// Exit statuses.
inline constexpr int kExitSuccess = 0;
inline constexpr int kExitFailure = 1; // the merge or listing failed
inline constexpr int kExitUsage = 2;   // the command line was wrong

class UsageError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

struct Options {
    enum class Mode { Merge, List, Help, Version } mode = Mode::Merge;
    std::filesystem::path output;      // -o
    std::vector<std::string> paths;    // workbooks and folders, in order
    std::filesystem::path entriesFile; // --entries
    std::filesystem::path reportFile;  // --report
    bool quiet = false;                // no progress line
};

struct MergeEntry {
    std::string path;
    std::string sheet;
};

// Throws UsageError with a one-line reason.
Options ParseArguments(const std::vector<std::string>& arguments);

// One entry per line: workbook path, TAB, worksheet name. Blank lines and lines starting with
// '#' are skipped; a relative path is taken from the entries file's folder; CR LF line ends are
// accepted. Throws UsageError for an unreadable file or a line without a TAB.
std::vector<MergeEntry> ReadEntriesFile(const std::filesystem::path& file);

// The workbook files a command-line path stands for: the file itself, or the workbook files of
// a folder in name order.
std::vector<std::filesystem::path> WorkbooksOf(const std::string& path);

std::string UsageText();

} // namespace quillory::cli
