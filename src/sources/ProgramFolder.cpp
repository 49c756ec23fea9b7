#include "sources/ProgramFolder.h"

#include <cstdlib>
#include <system_error>
#include <unistd.h>

namespace quillory::sources {

std::filesystem::path DefaultConfigFolder() {
    if (const char* xdg = std::getenv("XDG_CONFIG_HOME"); xdg != nullptr && *xdg == '/') {
        return std::filesystem::path(xdg) / "quillory";
    }
    if (const char* home = std::getenv("HOME"); home != nullptr && *home != '\0') {
        return std::filesystem::path(home) / ".config" / "quillory";
    }
    return {};
}

bool IsWritableFolder(const std::filesystem::path& folder) {
    std::error_code ec;
    if (folder.empty() || !std::filesystem::is_directory(folder, ec)) {
        return false;
    }
    return ::access(folder.c_str(), W_OK | X_OK) == 0;
}

ProgramFiles LocateProgramFiles(const std::filesystem::path& programFolder,
                                const std::filesystem::path& configFolder) {
    ProgramFiles files;
    files.programFolder = programFolder;
    files.dataFolder = programFolder;
    if (IsWritableFolder(programFolder) || configFolder.empty()) {
        return files;
    }
    std::error_code ec;
    std::filesystem::create_directories(configFolder, ec);
    files.dataFolder = configFolder;
    files.relocated = true;
    return files;
}

std::string DescribeDataFolder(const ProgramFiles& files) {
    if (!files.relocated) {
        return {};
    }
    return "The program folder " + files.programFolder.string() +
           " is not writable; the source list and settings are kept in " +
           files.dataFolder.string();
}

} // namespace quillory::sources
