#pragma once
// The source list kept from one run to the next in EXCEL.txt: one path per line, CR LF after
// every line, UTF-8. Lists written on Windows load unchanged; a lone CR or LF also ends a line.

#include "lists/ListModel.h"
#include "sources/ProgramFolder.h"
#include "sources/SettingsFile.h"
#include "sources/TextFile.h"

#include <filesystem>

namespace quillory::sources {

// Appends one row per line of the file, each with the small icon of its path kind. A missing
// file adds nothing. Throws FileError when the file exists but cannot be read.
void LoadSourceList(lists::ListModel& sources, const std::filesystem::path& listFile);

// The bytes SaveSourceList writes for a list: every row's text followed by CR LF.
std::string SourceListBytes(const lists::ListModel& sources);

enum class SaveResult { Saved, SwitchedOff };

// Writes every row of the list to the list file unless the settings file switches saving off.
// The file is replaced whole and atomically. Throws FileError; the old list then stays.
SaveResult SaveSourceList(const lists::ListModel& sources, const ProgramFiles& files);

} // namespace quillory::sources
