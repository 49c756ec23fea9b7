#pragma once
// Random access to the bytes of a file, so that a legacy workbook can be listed by reading only
// the few sectors it needs, whatever the size of the file.

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <string>

namespace quillory::spreadsheet::legacy {

class ByteSource {
public:
    virtual ~ByteSource() = default;
    virtual std::uint64_t size() const = 0;
    // Copies `length` bytes at `offset` into `out`; returns how many were available (fewer only
    // at the end of the data).
    virtual std::size_t readAt(std::uint64_t offset, std::size_t length, char* out) const = 0;
};

// A file opened read-only; the descriptor is closed with the object.
class FileByteSource final : public ByteSource {
public:
    // Throws SpreadsheetError (FileNotFound, FileUnreadable) naming the file.
    explicit FileByteSource(const std::filesystem::path& file);
    ~FileByteSource() override;
    FileByteSource(const FileByteSource&) = delete;
    FileByteSource& operator=(const FileByteSource&) = delete;

    std::uint64_t size() const override { return size_; }
    std::size_t readAt(std::uint64_t offset, std::size_t length, char* out) const override;

private:
    std::filesystem::path file_;
    int descriptor_ = -1;
    std::uint64_t size_ = 0;
};

class MemoryByteSource final : public ByteSource {
public:
    explicit MemoryByteSource(std::string bytes) : bytes_(std::move(bytes)) {}
    std::uint64_t size() const override { return bytes_.size(); }
    std::size_t readAt(std::uint64_t offset, std::size_t length, char* out) const override;

private:
    std::string bytes_;
};

} // namespace quillory::spreadsheet::legacy
