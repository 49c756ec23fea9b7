#pragma once
// Classification of a path as a missing path, a folder or a file. Never fails: whatever goes
// wrong while looking at the path makes it Missing.

#include <string>

namespace quillory::sources {

// The numbers are fixed: callers and the saved list's icons depend on them.
enum class PathKind : int { Missing = 0, Folder = 1, File = 2 };

// Longest path and file name looked at; longer ones are Missing.
inline constexpr std::size_t kMaxPathLength = 4096;
inline constexpr std::size_t kMaxNameLength = 255;

PathKind GetPathKind(const std::string& path);

// The small icon of a source-list row for a path kind: file 1, folder 2, missing 3.
int IconForPathKind(PathKind kind);

// Names that count as hidden on this platform: dot files and office lock files ("~$Book1.xlsx").
bool IsHiddenName(const std::string& name);

} // namespace quillory::sources
