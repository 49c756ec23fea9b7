#include "spreadsheet/ooxml/package/ZipWriter.h"

#include "spreadsheet/ooxml/Limits.h"
#include "spreadsheet/ooxml/PackageError.h"

#include <algorithm>

namespace quillory::spreadsheet::ooxml {

namespace {

// Uncompressed bytes gathered before they go to the compressor: large enough that handing
// over costs nothing next to deflating, small enough to stay below malloc's mmap threshold.
constexpr std::size_t kHandOffBytes = 96 * 1024;
// Work waiting for the compressor: a producer faster than it waits beyond this.
constexpr std::size_t kMaxQueuedBytes = 2 * 1024 * 1024;
constexpr std::size_t kMaxEntries16 = 0xFFFF;

} // namespace

ZipWriter::ZipWriter(OutputSink& sink, OrderedWorker::Mode threading)
    : stream_(sink), worker_(kMaxQueuedBytes, threading) {
    pending_.reserve(kHandOffBytes);
}

ZipWriter::~ZipWriter() = default;

void ZipWriter::startEntry(std::string_view name) {
    if (inEntry_ || finished_) {
        ThrowError(ErrorCode::Internal, "Zip entries were written out of order.");
    }
    if (names_.size() >= kMaxEntries16) {
        ThrowError(ErrorCode::LimitExceeded, "The result would hold too many parts.");
    }
    if (!names_.insert(FoldPartName(name)).second) {
        ThrowError(ErrorCode::Internal,
                   "The result would hold the part " + std::string(name) + " twice.");
    }
}

void ZipWriter::beginEntry(std::string_view name) {
    startEntry(name);
    worker_.submit(
        [this, entry = std::string(name)] { stream_.beginEntry(entry, ZipStream::kMethodDeflate); },
        name.size());
    inEntry_ = true;
}

void ZipWriter::handOffPending() {
    if (pending_.empty()) {
        return;
    }
    std::string piece;
    piece.reserve(kHandOffBytes);
    piece.swap(pending_);
    const std::size_t bytes = piece.size();
    worker_.submit([this, piece = std::move(piece)] { stream_.deflate(piece); }, bytes);
}

void ZipWriter::write(std::string_view bytes) {
    if (!inEntry_) {
        ThrowError(ErrorCode::Internal, "Zip data was written outside an entry.");
    }
    while (!bytes.empty()) {
        const std::size_t room = kHandOffBytes - pending_.size();
        const std::size_t taken = std::min(room, bytes.size());
        pending_.append(bytes.substr(0, taken));
        bytes.remove_prefix(taken);
        if (pending_.size() >= kHandOffBytes) {
            handOffPending();
        }
    }
}

void ZipWriter::endEntry() {
    if (!inEntry_) {
        ThrowError(ErrorCode::Internal, "A zip entry was ended twice.");
    }
    handOffPending();
    inEntry_ = false;
    worker_.submit([this] { stream_.endDeflatedEntry(); }, 0);
}

void ZipWriter::addEntry(std::string_view name, std::string_view bytes) {
    beginEntry(name);
    write(bytes);
    endEntry();
}

void ZipWriter::addRawEntry(std::string_view name, const ZipReader& source,
                            std::string_view sourceName) {
    const ZipEntryInfo info = source.info(sourceName);
    startEntry(name);
    worker_.submit([this, entry = std::string(name),
                    method = info.method] { stream_.beginEntry(entry, method); },
                   name.size());
    // The source is read here: a package is read by one thread only.
    source.readRaw(sourceName, [&](std::string_view chunk) {
        worker_.submit([this, piece = std::string(chunk)] { stream_.copyRaw(piece); },
                       chunk.size());
    });
    worker_.submit([this, crc = info.crc, size = info.size] { stream_.endRawEntry(crc, size); }, 0);
}

void ZipWriter::finish() {
    if (inEntry_ || finished_) {
        ThrowError(ErrorCode::Internal, "The zip directory was written out of order.");
    }
    finished_ = true;
    worker_.submit([this] { stream_.finish(); }, 0);
    worker_.drain();
}

} // namespace quillory::spreadsheet::ooxml
