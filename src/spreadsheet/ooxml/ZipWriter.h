#pragma once
// A small streaming zip writer on zlib: deflated entries written as they are produced (the local
// header is patched once the size is known), entries copied still compressed from another
// package, and the central directory at the end. No ZIP64: a result over 4 GiB is refused.

#include "spreadsheet/ooxml/OutputSink.h"
#include "spreadsheet/ooxml/ZipReader.h"

#include <cstdint>
#include <memory>
#include <set>
#include <string>
#include <string_view>
#include <vector>

namespace quillory::spreadsheet::ooxml {

class ZipWriter {
public:
    explicit ZipWriter(OutputSink& sink);
    ~ZipWriter();
    ZipWriter(const ZipWriter&) = delete;
    ZipWriter& operator=(const ZipWriter&) = delete;

    // A deflated entry, written in pieces between begin and end.
    void beginEntry(std::string_view name);
    void write(std::string_view bytes);
    void endEntry();
    // A whole entry at once.
    void addEntry(std::string_view name, std::string_view bytes);
    // An entry copied as stored in `source` (no inflate/deflate round trip).
    void addRawEntry(std::string_view name, const ZipReader& source, std::string_view sourceName);
    // Writes the central directory. The writer takes no entries after this.
    void finish();

private:
    struct Entry {
        std::string name;
        std::uint64_t offset = 0;
        std::uint32_t crc = 0;
        std::uint64_t compressedSize = 0;
        std::uint64_t size = 0;
        std::uint16_t method = 8;
    };
    void startLocalHeader(std::string_view name, std::uint16_t method);
    void patchLocalHeader(const Entry& entry);
    void deflateChunk(std::string_view bytes, bool last);
    void checkOffset(std::uint64_t value) const;

    OutputSink& sink_;
    std::vector<Entry> entries_;
    std::set<std::string> names_; // folded, to refuse duplicates
    struct Deflater;
    std::unique_ptr<Deflater> deflater_;
    bool inEntry_ = false;
    bool finished_ = false;
};

} // namespace quillory::spreadsheet::ooxml
