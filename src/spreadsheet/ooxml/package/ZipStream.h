#pragma once
// The zip format itself, written straight to a sink: local headers (patched once an entry's size
// and checksum are known), deflated or raw entry data, and the central directory. It checks no
// names and keeps no order rules: ZipWriter does that on the caller's thread and hands the work
// here, usually on its compressor thread. No ZIP64: a result over 4 GiB is refused.

#include "spreadsheet/ooxml/package/OutputSink.h"

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace quillory::spreadsheet::ooxml {

class ZipStream {
public:
    static constexpr std::uint16_t kMethodStored = 0;
    static constexpr std::uint16_t kMethodDeflate = 8;

    explicit ZipStream(OutputSink& sink);
    ~ZipStream();
    ZipStream(const ZipStream&) = delete;
    ZipStream& operator=(const ZipStream&) = delete;

    void beginEntry(std::string_view name, std::uint16_t method);
    // Deflates and checksums uncompressed bytes of the open entry.
    void deflate(std::string_view bytes);
    void endDeflatedEntry();
    // Bytes as stored in another package, copied unchanged.
    void copyRaw(std::string_view bytes);
    void endRawEntry(std::uint32_t crc, std::uint64_t size);
    void finish();

private:
    struct Entry {
        std::string name;
        std::uint64_t offset = 0;
        std::uint32_t crc = 0;
        std::uint64_t compressedSize = 0;
        std::uint64_t size = 0;
        std::uint16_t method = kMethodDeflate;
    };
    void deflateChunk(std::string_view bytes, bool last);
    void patchLocalHeader(const Entry& entry);

    OutputSink& sink_;
    std::vector<Entry> entries_;
    struct Deflater;
    std::unique_ptr<Deflater> deflater_;
};

} // namespace quillory::spreadsheet::ooxml
