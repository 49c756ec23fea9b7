#include "spreadsheet/ooxml/package/OpenFiles.h"

#include "spreadsheet/ooxml/PackageError.h"

#include <cerrno>
#include <sys/resource.h>

namespace quillory::spreadsheet::ooxml {

namespace {

bool OutOfFileHandles() {
    return errno == EMFILE || errno == ENFILE;
}

bool RaiseOpenFileLimit() {
    rlimit limit{};
    if (::getrlimit(RLIMIT_NOFILE, &limit) != 0 || limit.rlim_cur >= limit.rlim_max) {
        return false;
    }
    limit.rlim_cur = limit.rlim_max;
    return ::setrlimit(RLIMIT_NOFILE, &limit) == 0;
}

bool Attempt(const std::function<bool()>& open) {
    errno = 0; // a failure for another reason must not read as a stale EMFILE
    return open();
}

} // namespace

bool OpenRaisingFileLimit(const std::function<bool()>& open, const std::string& displayName) {
    if (Attempt(open)) {
        return true;
    }
    if (!OutOfFileHandles()) {
        return false;
    }
    if (RaiseOpenFileLimit() && Attempt(open)) {
        return true;
    }
    if (OutOfFileHandles()) {
        rlimit limit{};
        const std::string allowed =
            ::getrlimit(RLIMIT_NOFILE, &limit) == 0
                ? " (the system allows " + std::to_string(limit.rlim_cur) + ")"
                : std::string();
        ThrowError(ErrorCode::FileUnreadable,
                   QuotedFile(displayName) + " cannot be opened: too many files are open at once" +
                       allowed + ". Merge fewer workbooks at a time.");
    }
    return false;
}

} // namespace quillory::spreadsheet::ooxml
