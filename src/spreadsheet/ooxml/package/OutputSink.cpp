#include "spreadsheet/ooxml/package/OutputSink.h"

#include "spreadsheet/ooxml/PackageError.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace quillory::spreadsheet::ooxml {

namespace {

constexpr mode_t kResultFileMode = 0644;

[[noreturn]] void ThrowWriteError(int error, const std::string& displayName) {
    const std::string file = QuotedFile(displayName);
    if (error == ENOSPC || error == EDQUOT) {
        ThrowError(ErrorCode::DiskFull,
                   file + " cannot be written: the disk is full. Free some space and try again.");
    }
    if (error == EACCES || error == EPERM || error == EROFS) {
        ThrowError(ErrorCode::OutputNotWritable,
                   file + " cannot be written: you may not write to its folder.");
    }
    ThrowError(ErrorCode::WriteFailed,
               file + " cannot be written: " + std::string(std::strerror(error)) + ".");
}

} // namespace

FileSink::FileSink(const std::filesystem::path& file, std::string displayName)
    : displayName_(std::move(displayName)) {
    fd_ = ::open(file.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, kResultFileMode);
    if (fd_ < 0) {
        fail(errno);
    }
    ::fchmod(fd_, kResultFileMode); // a temporary file starts private
}

FileSink::~FileSink() {
    if (fd_ >= 0) {
        ::close(fd_);
    }
}

void FileSink::fail(int error) const {
    ThrowWriteError(error, displayName_);
}

void FileSink::write(std::string_view bytes) {
    while (!bytes.empty()) {
        const ssize_t n = ::write(fd_, bytes.data(), bytes.size());
        if (n < 0) {
            if (errno == EINTR) {
                continue;
            }
            fail(errno);
        }
        bytes.remove_prefix(static_cast<std::size_t>(n));
        size_ += static_cast<std::uint64_t>(n);
    }
}

void FileSink::overwrite(std::uint64_t offset, std::string_view bytes) {
    while (!bytes.empty()) {
        const ssize_t n = ::pwrite(fd_, bytes.data(), bytes.size(), static_cast<off_t>(offset));
        if (n < 0) {
            if (errno == EINTR) {
                continue;
            }
            fail(errno);
        }
        bytes.remove_prefix(static_cast<std::size_t>(n));
        offset += static_cast<std::uint64_t>(n);
    }
}

void FileSink::finish() {
    if (::fsync(fd_) != 0 && errno != EINVAL) {
        fail(errno);
    }
    const int fd = fd_;
    fd_ = -1;
    if (::close(fd) != 0) {
        fail(errno);
    }
}

void MemorySink::overwrite(std::uint64_t offset, std::string_view bytes) {
    bytes_.replace(static_cast<std::size_t>(offset), bytes.size(), bytes);
}

void WriteFileAtomically(const std::filesystem::path& target,
                         const std::function<void(OutputSink&)>& write,
                         const SinkDecorator& decorate) {
    const std::string displayName = target.filename().string();
    const std::filesystem::path folder =
        target.has_parent_path() ? target.parent_path() : std::filesystem::path(".");
    std::error_code ec;
    if (!std::filesystem::is_directory(folder, ec)) {
        ThrowError(ErrorCode::OutputNotWritable, QuotedFile(displayName) +
                                                     " cannot be written: its folder " +
                                                     folder.string() + " does not exist.");
    }
    std::string pattern = (folder / ("." + displayName + ".XXXXXX")).string();
    const int fd = ::mkstemp(pattern.data());
    if (fd < 0) {
        ThrowWriteError(errno, displayName);
    }
    ::close(fd);
    const std::filesystem::path temporary = pattern;
    try {
        std::unique_ptr<OutputSink> sink = std::make_unique<FileSink>(temporary, displayName);
        if (decorate) {
            sink = decorate(std::move(sink));
        }
        write(*sink);
        sink->finish();
        sink.reset();
        std::filesystem::rename(temporary, target, ec);
        if (ec) {
            ThrowWriteError(ec.value(), displayName);
        }
    } catch (...) {
        std::filesystem::remove(temporary, ec);
        throw;
    }
}

} // namespace quillory::spreadsheet::ooxml
