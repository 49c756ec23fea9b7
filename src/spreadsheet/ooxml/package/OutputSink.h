#pragma once
// Where a package is written: a file, or in tests a device that fails after N bytes. The zip
// writer appends, then patches each entry's local header in place once its size is known.

#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <string_view>

namespace quillory::spreadsheet::ooxml {

class OutputSink {
public:
    virtual ~OutputSink() = default;
    // Appends bytes; throws SpreadsheetError on failure.
    virtual void write(std::string_view bytes) = 0;
    // Overwrites bytes already written at `offset` (never past the end).
    virtual void overwrite(std::uint64_t offset, std::string_view bytes) = 0;
    virtual std::uint64_t size() const = 0;
    // Makes everything durable; throws on failure.
    virtual void finish() = 0;
};

// Writes a file; descriptions name `displayName`.
class FileSink : public OutputSink {
public:
    FileSink(const std::filesystem::path& file, std::string displayName);
    ~FileSink() override;
    void write(std::string_view bytes) override;
    void overwrite(std::uint64_t offset, std::string_view bytes) override;
    std::uint64_t size() const override { return size_; }
    void finish() override;

private:
    [[noreturn]] void fail(int error) const;
    int fd_ = -1;
    std::string displayName_;
    std::uint64_t size_ = 0;
};

// Collects the bytes in memory (tests, fuzzing).
class MemorySink : public OutputSink {
public:
    void write(std::string_view bytes) override { bytes_.append(bytes); }
    void overwrite(std::uint64_t offset, std::string_view bytes) override;
    std::uint64_t size() const override { return bytes_.size(); }
    void finish() override {}
    const std::string& bytes() const { return bytes_; }

private:
    std::string bytes_;
};

// Lets tests put a fault-injecting device between the writer and the file.
using SinkDecorator = std::function<std::unique_ptr<OutputSink>(std::unique_ptr<OutputSink>)>;

// Runs `write` against a temporary file beside `target` and renames it into place on success.
// On any failure the temporary file is removed and the exception passes on.
void WriteFileAtomically(const std::filesystem::path& target,
                         const std::function<void(OutputSink&)>& write,
                         const SinkDecorator& decorate = {});

} // namespace quillory::spreadsheet::ooxml
