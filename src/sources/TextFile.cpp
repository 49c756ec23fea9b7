#include "sources/TextFile.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace quillory::sources {

namespace {

constexpr std::string_view kUtf8ByteOrderMark = "\xEF\xBB\xBF";
constexpr std::size_t kReadChunk = 64 * 1024;
// Mode of a newly created file, before the umask; an existing file keeps its own mode.
constexpr mode_t kNewFileMode = 0666;

std::string errnoText(int error) {
    return std::strerror(error);
}

// Closes the descriptor and removes the temporary file unless released.
class TemporaryFile {
public:
    TemporaryFile(int fd, std::string path) : fd_(fd), path_(std::move(path)) {}
    ~TemporaryFile() {
        if (fd_ >= 0) {
            ::close(fd_);
        }
        if (!path_.empty()) {
            ::unlink(path_.c_str());
        }
    }
    TemporaryFile(const TemporaryFile&) = delete;
    TemporaryFile& operator=(const TemporaryFile&) = delete;

    int fd() const { return fd_; }
    const std::string& path() const { return path_; }
    int close() {
        const int result = ::close(fd_);
        fd_ = -1;
        return result;
    }
    void release() { path_.clear(); }

private:
    int fd_;
    std::string path_;
};

mode_t currentUmask() {
    const mode_t mask = ::umask(0);
    ::umask(mask);
    return mask;
}

} // namespace

FileError::FileError(const std::filesystem::path& file, const std::string& reason)
    : std::runtime_error(file.string() + ": " + reason), file_(file) {}

std::optional<std::string> ReadWholeFile(const std::filesystem::path& file) {
    const int fd = ::open(file.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        if (errno == ENOENT) {
            return std::nullopt;
        }
        throw FileError(file, "cannot be opened: " + errnoText(errno));
    }
    std::string bytes;
    char buffer[kReadChunk];
    for (;;) {
        const ssize_t got = ::read(fd, buffer, sizeof buffer);
        if (got < 0) {
            if (errno == EINTR) {
                continue;
            }
            const int error = errno;
            ::close(fd);
            throw FileError(file, "cannot be read: " + errnoText(error));
        }
        if (got == 0) {
            break;
        }
        bytes.append(buffer, static_cast<std::size_t>(got));
    }
    ::close(fd);
    return bytes;
}

void WriteFileReplacing(const std::filesystem::path& file, std::string_view bytes) {
    const std::filesystem::path folder =
        file.has_parent_path() ? file.parent_path() : std::filesystem::path(".");
    std::string pattern = (folder / ("." + file.filename().string() + ".XXXXXX")).string();
    const int fd = ::mkstemp(pattern.data());
    if (fd < 0) {
        throw FileError(file,
                        "cannot be written (no temporary file in its folder): " + errnoText(errno));
    }
    TemporaryFile temporary(fd, pattern);

    struct stat existing {};
    const mode_t mode = ::stat(file.c_str(), &existing) == 0 ? (existing.st_mode & 07777)
                                                             : (kNewFileMode & ~currentUmask());
    ::fchmod(temporary.fd(), mode);

    std::size_t written = 0;
    while (written < bytes.size()) {
        const ssize_t put = ::write(temporary.fd(), bytes.data() + written, bytes.size() - written);
        if (put < 0) {
            if (errno == EINTR) {
                continue;
            }
            throw FileError(file, "cannot be written: " + errnoText(errno));
        }
        written += static_cast<std::size_t>(put);
    }
    if (::fsync(temporary.fd()) != 0 || temporary.close() != 0) {
        throw FileError(file, "cannot be written: " + errnoText(errno));
    }
    if (::rename(temporary.path().c_str(), file.c_str()) != 0) {
        throw FileError(file, "cannot be replaced: " + errnoText(errno));
    }
    temporary.release();
}

std::vector<std::string> SplitLines(std::string_view text) {
    if (text.substr(0, kUtf8ByteOrderMark.size()) == kUtf8ByteOrderMark) {
        text.remove_prefix(kUtf8ByteOrderMark.size());
    }
    std::vector<std::string> lines;
    std::size_t start = 0;
    while (start < text.size()) {
        const std::size_t end = text.find_first_of("\r\n", start);
        if (end == std::string_view::npos) {
            lines.emplace_back(text.substr(start));
            break;
        }
        lines.emplace_back(text.substr(start, end - start));
        start = end + 1;
        if (text[end] == '\r' && start < text.size() && text[start] == '\n') {
            ++start;
        }
    }
    return lines;
}

std::optional<std::string> ReadFirstLine(const std::filesystem::path& file) {
    std::optional<std::string> bytes;
    try {
        bytes = ReadWholeFile(file);
    } catch (const FileError&) {
        return std::nullopt;
    }
    if (!bytes || bytes->empty()) {
        return std::nullopt;
    }
    auto lines = SplitLines(*bytes);
    return lines.empty() ? std::string() : std::move(lines.front());
}

} // namespace quillory::sources
