#include "spreadsheet/ooxml/OpenFiles.h"

#include "spreadsheet/ooxml/PackageError.h"

#include <cerrno>
#include <sys/resource.h>

namespace quillory::spreadsheet::ooxml {

bool OutOfFileHandles(int error) {
    return error == EMFILE || error == ENFILE;
}

bool RaiseOpenFileLimit() {
    rlimit limit{};
    if (::getrlimit(RLIMIT_NOFILE, &limit) != 0 || limit.rlim_cur >= limit.rlim_max) {
        return false;
    }
    limit.rlim_cur = limit.rlim_max;
    return ::setrlimit(RLIMIT_NOFILE, &limit) == 0;
}

std::string OutOfFileHandlesDescription(const std::string& displayName) {
    rlimit limit{};
    const std::string allowed = ::getrlimit(RLIMIT_NOFILE, &limit) == 0
                                    ? " (the system allows " + std::to_string(limit.rlim_cur) + ")"
                                    : std::string();
    return QuotedFile(displayName) + " cannot be opened: too many files are open at once" +
           allowed + ". Merge fewer workbooks at a time.";
}

} // namespace quillory::spreadsheet::ooxml
