#include "spreadsheet/legacy/ByteSource.h"

#include "spreadsheet/SpreadsheetError.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace quillory::spreadsheet::legacy {

namespace {

std::string quotedName(const std::filesystem::path& file) {
    return "\"" + file.filename().string() + "\"";
}

} // namespace

FileByteSource::FileByteSource(const std::filesystem::path& file) : file_(file) {
    descriptor_ = ::open(file.c_str(), O_RDONLY | O_CLOEXEC);
    if (descriptor_ < 0) {
        const int error = errno;
        if (error == ENOENT || error == ENOTDIR) {
            throw SpreadsheetError(ErrorCode::FileNotFound,
                                   "The workbook " + quotedName(file) + " was not found.");
        }
        throw SpreadsheetError(ErrorCode::FileUnreadable,
                               "The workbook " + quotedName(file) +
                                   " cannot be read: " + std::strerror(error) + ".");
    }
    struct stat status {};
    if (::fstat(descriptor_, &status) != 0 || !S_ISREG(status.st_mode)) {
        ::close(descriptor_);
        descriptor_ = -1;
        throw SpreadsheetError(ErrorCode::FileUnreadable,
                               "The workbook " + quotedName(file) + " is not a regular file.");
    }
    size_ = static_cast<std::uint64_t>(status.st_size);
}

FileByteSource::~FileByteSource() {
    if (descriptor_ >= 0) {
        ::close(descriptor_);
    }
}

std::size_t FileByteSource::readAt(std::uint64_t offset, std::size_t length, char* out) const {
    std::size_t done = 0;
    while (done < length) {
        const ssize_t got =
            ::pread(descriptor_, out + done, length - done, static_cast<off_t>(offset + done));
        if (got < 0) {
            if (errno == EINTR) {
                continue;
            }
            throw SpreadsheetError(ErrorCode::FileUnreadable,
                                   "The workbook " + quotedName(file_) +
                                       " cannot be read: " + std::strerror(errno) + ".");
        }
        if (got == 0) {
            break;
        }
        done += static_cast<std::size_t>(got);
    }
    return done;
}

std::size_t MemoryByteSource::readAt(std::uint64_t offset, std::size_t length, char* out) const {
    if (offset >= bytes_.size()) {
        return 0;
    }
    const std::size_t available =
        std::min<std::uint64_t>(length, bytes_.size() - static_cast<std::size_t>(offset));
    std::memcpy(out, bytes_.data() + offset, available);
    return available;
}

} // namespace quillory::spreadsheet::legacy
