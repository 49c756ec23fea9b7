#include "sources/PathKind.h"

#include "lists/MainLists.h"

#include <sys/stat.h>
#include <unistd.h>

namespace quillory::sources {

bool IsHiddenName(const std::string& name) {
    if (name.empty() || name == "." || name == "..") {
        return false;
    }
    return name.front() == '.' || name.rfind("~$", 0) == 0;
}

namespace {

// The last component of a path, ignoring trailing separators ("/data/books/" -> "books").
std::string lastComponent(const std::string& path) {
    std::string::size_type end = path.find_last_not_of('/');
    if (end == std::string::npos) {
        return {}; // the root
    }
    const std::string::size_type start = path.find_last_of('/', end);
    return path.substr(start == std::string::npos ? 0 : start + 1,
                       end - (start == std::string::npos ? 0 : start + 1) + 1);
}

bool hasOverlongName(const std::string& path) {
    std::string::size_type start = 0;
    while (start <= path.size()) {
        std::string::size_type end = path.find('/', start);
        if (end == std::string::npos) {
            end = path.size();
        }
        if (end - start > kMaxNameLength) {
            return true;
        }
        start = end + 1;
    }
    return false;
}

} // namespace

PathKind GetPathKind(const std::string& path) {
    if (path.empty() || path.size() > kMaxPathLength || hasOverlongName(path) ||
        path.find_first_of("*?") != std::string::npos || path.find('\0') != std::string::npos) {
        return PathKind::Missing;
    }
    if (IsHiddenName(lastComponent(path))) {
        return PathKind::Missing;
    }
    struct stat info {};
    if (::stat(path.c_str(), &info) != 0) {
        return PathKind::Missing;
    }
    if (S_ISDIR(info.st_mode)) {
        // A folder that cannot be listed is of no use as a source.
        return ::access(path.c_str(), R_OK | X_OK) == 0 ? PathKind::Folder : PathKind::Missing;
    }
    return PathKind::File;
}

int IconForPathKind(PathKind kind) {
    switch (kind) {
    case PathKind::File:
        return lists::kIconFile;
    case PathKind::Folder:
        return lists::kIconFolder;
    case PathKind::Missing:
        break;
    }
    return lists::kIconMissing;
}

} // namespace quillory::sources
