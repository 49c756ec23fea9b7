#pragma once
// Where the program keeps its files: the saved source list and the settings file live in the
// folder of the executable, unless that folder is not writable (an installed program), in which
// case they live in the per-user configuration folder so the list is still kept.

#include <filesystem>
#include <string>

namespace quillory::sources {

inline constexpr const char* kSourceListFileName = "EXCEL.txt";
inline constexpr const char* kSettingsFileName = "set.txt";
inline constexpr const char* kHelpFileName = "help.chm";

struct ProgramFiles {
    std::filesystem::path programFolder; // the executable's folder; help.chm is looked for here
    std::filesystem::path dataFolder;    // where EXCEL.txt and set.txt are read and written
    // True when dataFolder is the per-user folder because programFolder is not writable.
    bool relocated = false;

    std::filesystem::path sourceListFile() const { return dataFolder / kSourceListFileName; }
    std::filesystem::path settingsFile() const { return dataFolder / kSettingsFileName; }
    std::filesystem::path helpFile() const { return programFolder / kHelpFileName; }
};

// $XDG_CONFIG_HOME/quillory, else $HOME/.config/quillory; empty when neither is set.
std::filesystem::path DefaultConfigFolder();

// True when files can be created in `folder` (it exists and is writable by this process).
bool IsWritableFolder(const std::filesystem::path& folder);

// Decides the data folder. When the program folder is not writable, `configFolder` is used
// instead and created if needed. Never throws: a configuration folder that cannot be created
// still becomes the data folder, and saving there reports the failure.
ProgramFiles LocateProgramFiles(const std::filesystem::path& programFolder,
                                const std::filesystem::path& configFolder);

// A line for the log telling where the list is kept; empty when it is kept beside the program.
std::string DescribeDataFolder(const ProgramFiles& files);

} // namespace quillory::sources
