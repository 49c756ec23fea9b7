#pragma once
// Read-only access to the entries of a zip package, on libzip. Entry names are looked up without
// regard to case (part names of a package compare that way). Every read is bounded by the limits
// of Limits.h: a zip bomb ends in a SpreadsheetError, never in exhausted memory.

#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

struct zip;

namespace quillory::spreadsheet::ooxml {

struct ZipEntryInfo {
    std::string name;
    std::uint64_t size = 0; // decompressed
    std::uint64_t compressedSize = 0;
    std::uint32_t crc = 0;
    std::uint16_t method = 0; // 0 stored, 8 deflate
};

class ZipReader {
public:
    using ChunkConsumer = std::function<void(std::string_view chunk)>;

    // Opens a package file read-only. `displayName` names it in failure descriptions.
    static std::unique_ptr<ZipReader> OpenFile(const std::filesystem::path& path,
                                               std::string displayName);
    // Opens a package held in memory (fuzzing, tests).
    static std::unique_ptr<ZipReader> OpenBytes(std::string bytes, std::string displayName);

    ~ZipReader();
    ZipReader(const ZipReader&) = delete;
    ZipReader& operator=(const ZipReader&) = delete;

    const std::string& displayName() const { return displayName_; }
    std::vector<std::string> entryNames() const;
    // The entry's stored name for a part name compared without regard to case.
    std::optional<std::string> find(std::string_view name) const;
    bool contains(std::string_view name) const { return find(name).has_value(); }
    ZipEntryInfo info(std::string_view name) const;

    // The whole decompressed entry; fails when it is larger than maxBytes.
    std::string readWhole(std::string_view name, std::uint64_t maxBytes) const;
    // The decompressed entry in chunks.
    void readChunks(std::string_view name, const ChunkConsumer& consumer) const;
    // The entry's bytes as stored (still compressed), for a raw copy into another zip.
    void readRaw(std::string_view name, const ChunkConsumer& consumer) const;

private:
    ZipReader(zip* archive, std::string displayName, std::string bytes);
    void indexEntries();
    std::int64_t indexOf(std::string_view name) const;
    void checkBounds(const ZipEntryInfo& entry, std::uint64_t maxBytes) const;
    void read(std::int64_t index, bool raw, std::uint64_t maxBytes,
              const ChunkConsumer& consumer) const;

    zip* archive_;
    std::string displayName_;
    std::string bytes_; // backing store of an archive opened from memory
    std::vector<ZipEntryInfo> entries_;
    std::unordered_map<std::string, std::int64_t> byFoldedName_;
};

// ASCII lower case, for part-name comparison (part names are ASCII after percent-decoding of
// the relationship target is taken into account, and case folding of the rest is ASCII-only).
std::string FoldPartName(std::string_view name);

} // namespace quillory::spreadsheet::ooxml
