#include "spreadsheet/legacy/CompoundFile.h"

#include "spreadsheet/legacy/LegacyErrors.h"
#include "spreadsheet/legacy/TextEncoding.h"

#include <algorithm>
#include <cstring>
#include <limits>

namespace quillory::spreadsheet::legacy {

namespace {

constexpr std::size_t kHeaderSize = 512;
constexpr std::size_t kHeaderDifatEntries = 109;
constexpr std::size_t kHeaderDifatOffset = 76;
constexpr std::uint16_t kByteOrderMark = 0xFFFE;
constexpr std::uint16_t kSectorShiftVersion3 = 9;
constexpr std::uint16_t kSectorShiftVersion4 = 12;
constexpr std::uint16_t kMiniSectorShift = 6;
constexpr std::uint32_t kMiniSectorSize = 1U << kMiniSectorShift;
// Streams smaller than this live in the mini stream (fixed by the format).
constexpr std::uint64_t kMiniStreamCutoff = 4096;
constexpr std::size_t kDirectoryEntrySize = 128;
constexpr std::size_t kDirectoryNameBytes = 64;

constexpr std::uint32_t kMaxRegularSector = 0xFFFFFFFA;
constexpr std::uint32_t kEndOfChain = 0xFFFFFFFE;
constexpr std::uint32_t kNoStream = 0xFFFFFFFF;
constexpr std::uint64_t kWholeChain = std::numeric_limits<std::uint64_t>::max();

std::uint16_t u16(const std::string& bytes, std::size_t at) {
    return static_cast<std::uint16_t>(static_cast<unsigned char>(bytes[at]) |
                                      (static_cast<unsigned char>(bytes[at + 1]) << 8));
}

std::uint32_t u32(const std::string& bytes, std::size_t at) {
    return static_cast<std::uint32_t>(u16(bytes, at)) |
           (static_cast<std::uint32_t>(u16(bytes, at + 2)) << 16);
}

std::uint64_t u64(const std::string& bytes, std::size_t at) {
    return static_cast<std::uint64_t>(u32(bytes, at)) |
           (static_cast<std::uint64_t>(u32(bytes, at + 4)) << 32);
}

std::uint64_t divideRoundingUp(std::uint64_t value, std::uint64_t divisor) {
    return value / divisor + (value % divisor != 0 ? 1 : 0);
}

bool equalIgnoringAsciiCase(std::string_view a, std::string_view b) {
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               const auto lower = [](char c) {
                   return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
               };
               return lower(x) == lower(y);
           });
}

} // namespace

std::string CompoundStream::read(std::uint64_t offset, std::size_t length) const {
    if (offset >= size_) {
        return {};
    }
    length = static_cast<std::size_t>(std::min<std::uint64_t>(length, size_ - offset));
    std::string out(length, '\0');
    std::size_t done = 0;
    while (done < length) {
        const std::uint64_t position = offset + done;
        const auto index = static_cast<std::size_t>(position / sectorSize_);
        const auto within = static_cast<std::size_t>(position % sectorSize_);
        const std::size_t chunk = std::min<std::size_t>(sectorSize_ - within, length - done);
        const std::size_t got =
            source_->readAt(sectorOffsets_[index] + within, chunk, out.data() + done);
        if (got < chunk) {
            ThrowTruncated(quotedName_, "a stream's data runs past the end of the file");
        }
        done += chunk;
    }
    return out;
}

bool CompoundFile::HasSignature(const ByteSource& source) {
    std::array<char, kCompoundFileSignature.size()> start{};
    if (source.readAt(0, start.size(), start.data()) < start.size()) {
        return false;
    }
    return std::memcmp(start.data(), kCompoundFileSignature.data(), start.size()) == 0;
}

CompoundFile::CompoundFile(std::unique_ptr<ByteSource> source, std::string quotedName)
    : source_(std::move(source)), quotedName_(std::move(quotedName)) {
    readHeader();
    readAllocationTable();
    readDirectory();
    readMiniAllocationTable();
    collectRootChildren();
}

void CompoundFile::readHeader() {
    std::string header(kHeaderSize, '\0');
    const std::size_t got = source_->readAt(0, kHeaderSize, header.data());
    if (got < kHeaderSize) {
        ThrowTruncated(quotedName_, "the file is only " + std::to_string(got) +
                                        " bytes long, shorter than its header");
    }
    if (std::memcmp(header.data(), kCompoundFileSignature.data(), kCompoundFileSignature.size()) !=
        0) {
        ThrowDamaged(quotedName_, "it is not a compound file");
    }
    if (u16(header, 28) != kByteOrderMark) {
        ThrowDamaged(quotedName_, "the header's byte order mark is wrong");
    }
    const std::uint16_t sectorShift = u16(header, 30);
    if (sectorShift != kSectorShiftVersion3 && sectorShift != kSectorShiftVersion4) {
        ThrowDamaged(quotedName_, "unknown sector size 2^" + std::to_string(sectorShift));
    }
    if (u16(header, 32) != kMiniSectorShift) {
        ThrowDamaged(quotedName_, "unknown mini sector size");
    }
    version3_ = sectorShift == kSectorShiftVersion3;
    sectorSize_ = 1U << sectorShift;
    const std::uint64_t fileSize = source_->size();
    sectorsInFile_ =
        fileSize <= sectorSize_ ? 0 : divideRoundingUp(fileSize - sectorSize_, sectorSize_);
    fatSectorCount_ = u32(header, 44);
    firstDirectorySector_ = u32(header, 48);
    firstMiniFatSector_ = u32(header, 60);
    miniFatSectorCount_ = u32(header, 64);
    firstDifatSector_ = u32(header, 68);
    difatSectorCount_ = u32(header, 72);
    headerDifat_.resize(kHeaderDifatEntries);
    for (std::size_t i = 0; i < kHeaderDifatEntries; ++i) {
        headerDifat_[i] = u32(header, kHeaderDifatOffset + 4 * i);
    }
}

std::uint64_t CompoundFile::sectorOffset(std::uint32_t sector) const {
    return (static_cast<std::uint64_t>(sector) + 1) * sectorSize_;
}

// A whole sector; the file's last sector may be cut short, the rest of it reads as 0xFF
// (free sectors in a table, unused entries in the directory).
std::string CompoundFile::readSector(std::uint32_t sector) const {
    if (sector >= sectorsInFile_) {
        ThrowTruncated(quotedName_,
                       "sector " + std::to_string(sector) + " lies past the end of the file");
    }
    std::string bytes(sectorSize_, '\xFF');
    source_->readAt(sectorOffset(sector), sectorSize_, bytes.data());
    return bytes;
}

void CompoundFile::readAllocationTable() {
    const std::uint64_t entriesPerSector = sectorSize_ / 4;
    if (static_cast<std::uint64_t>(fatSectorCount_) * entriesPerSector >
        kMaxAllocationTableEntries) {
        ThrowDamaged(quotedName_,
                     "its allocation table claims " + std::to_string(fatSectorCount_) + " sectors");
    }
    if (fatSectorCount_ > sectorsInFile_) {
        ThrowTruncated(quotedName_, "its allocation table is larger than the file");
    }
    std::vector<std::uint32_t> fatSectors;
    fatSectors.reserve(fatSectorCount_);
    for (std::size_t i = 0; i < kHeaderDifatEntries && fatSectors.size() < fatSectorCount_; ++i) {
        fatSectors.push_back(headerDifat_[i]);
    }
    // Longer tables continue in a chain of DIFAT sectors, each ending with the next one's number.
    std::vector<bool> seen;
    std::uint32_t difatSector = firstDifatSector_;
    for (std::uint32_t i = 0; i < difatSectorCount_ && fatSectors.size() < fatSectorCount_; ++i) {
        if (difatSector >= sectorsInFile_) {
            ThrowTruncated(quotedName_, "the list of allocation table sectors continues past "
                                        "the end of the file");
        }
        if (seen.empty()) {
            seen.assign(static_cast<std::size_t>(sectorsInFile_), false);
        }
        if (seen[difatSector]) {
            ThrowDamaged(quotedName_, "the list of allocation table sectors loops");
        }
        seen[difatSector] = true;
        const std::string bytes = readSector(difatSector);
        for (std::size_t k = 0; k + 1 < entriesPerSector && fatSectors.size() < fatSectorCount_;
             ++k) {
            fatSectors.push_back(u32(bytes, 4 * k));
        }
        difatSector = u32(bytes, 4 * (entriesPerSector - 1));
    }
    if (fatSectors.size() < fatSectorCount_) {
        ThrowDamaged(quotedName_, "the list of allocation table sectors ends early");
    }
    fat_.reserve(static_cast<std::size_t>(fatSectorCount_ * entriesPerSector));
    for (const std::uint32_t sector : fatSectors) {
        if (sector > kMaxRegularSector) {
            ThrowDamaged(quotedName_, "an allocation table sector is missing");
        }
        const std::string bytes = readSector(sector);
        for (std::size_t k = 0; k < entriesPerSector; ++k) {
            fat_.push_back(u32(bytes, 4 * k));
        }
    }
}

std::vector<std::uint32_t> CompoundFile::followChain(const std::vector<std::uint32_t>& table,
                                                     std::uint32_t start, std::uint64_t wanted,
                                                     std::uint64_t sectorLimit, const char* what,
                                                     ChainKind chainKind) const {
    std::vector<std::uint32_t> chain;
    if (wanted != kWholeChain) {
        chain.reserve(static_cast<std::size_t>(wanted));
    }
    std::vector<bool> visited(table.size(), false);
    std::uint32_t sector = start;
    while (chain.size() < wanted) {
        if (sector == kEndOfChain && wanted == kWholeChain) {
            break;
        }
        if (sector == kEndOfChain) {
            ThrowDamaged(quotedName_, std::string(what) + " is shorter than its recorded size");
        }
        if (sector > kMaxRegularSector) {
            ThrowDamaged(quotedName_,
                         std::string("the chain of sectors of ") + what + " is broken");
        }
        if (sector >= sectorLimit && chainKind == ChainKind::Mini) {
            ThrowDamaged(quotedName_, std::string(what) + " runs outside the mini stream");
        }
        if (sector >= sectorLimit) {
            ThrowTruncated(quotedName_, std::string(what) + " continues past the end of the file");
        }
        if (sector >= table.size()) {
            ThrowDamaged(quotedName_, std::string(what) + " runs outside the allocation table");
        }
        if (visited[sector]) {
            ThrowDamaged(quotedName_,
                         std::string("the chain of sectors of ") + what + " loops back on itself");
        }
        visited[sector] = true;
        chain.push_back(sector);
        sector = table[sector];
    }
    return chain;
}

void CompoundFile::readDirectory() {
    const std::vector<std::uint32_t> chain =
        followChain(fat_, firstDirectorySector_, kWholeChain, sectorsInFile_, "the directory");
    const std::size_t entriesPerSector = sectorSize_ / kDirectoryEntrySize;
    if (chain.empty()) {
        ThrowDamaged(quotedName_, "the directory is empty");
    }
    if (chain.size() * entriesPerSector > kMaxDirectoryEntries) {
        ThrowDamaged(quotedName_, "the directory has more than " +
                                      std::to_string(kMaxDirectoryEntries) + " entries");
    }
    entries_.reserve(chain.size() * entriesPerSector);
    for (const std::uint32_t sector : chain) {
        const std::string bytes = readSector(sector);
        for (std::size_t k = 0; k < entriesPerSector; ++k) {
            const std::size_t at = k * kDirectoryEntrySize;
            DirectoryEntry entry;
            const std::uint16_t nameBytes =
                std::min<std::uint16_t>(u16(bytes, at + kDirectoryNameBytes), kDirectoryNameBytes);
            // The stored length counts the terminating null character.
            const std::size_t nameLength = nameBytes >= 2 ? nameBytes - 2 : 0;
            entry.name = Utf16LeToUtf8(std::string_view(bytes).substr(at, nameLength));
            const auto type = static_cast<unsigned char>(bytes[at + 66]);
            entry.type = (type == 1 || type == 2 || type == 5) ? static_cast<EntryType>(type)
                                                               : EntryType::Unused;
            entry.leftSibling = u32(bytes, at + 68);
            entry.rightSibling = u32(bytes, at + 72);
            entry.child = u32(bytes, at + 76);
            entry.startSector = u32(bytes, at + 116);
            // Version 3 files may leave garbage in the high half of the size.
            entry.size = version3_ ? u32(bytes, at + 120) : u64(bytes, at + 120);
            entries_.push_back(std::move(entry));
        }
    }
    if (entries_.front().type != EntryType::Root) {
        ThrowDamaged(quotedName_, "the directory has no root entry");
    }
}

void CompoundFile::readMiniAllocationTable() {
    if (miniFatSectorCount_ == 0 || firstMiniFatSector_ == kEndOfChain) {
        return;
    }
    const std::vector<std::uint32_t> chain = followChain(
        fat_, firstMiniFatSector_, kWholeChain, sectorsInFile_, "the mini allocation table");
    miniFat_.reserve(chain.size() * (sectorSize_ / 4));
    for (const std::uint32_t sector : chain) {
        const std::string bytes = readSector(sector);
        for (std::size_t k = 0; k < sectorSize_ / 4; ++k) {
            miniFat_.push_back(u32(bytes, 4 * k));
        }
    }
}

// In-order walk of the root storage's tree of children (names sorted as the format sorts them).
void CompoundFile::collectRootChildren() {
    std::vector<bool> visited(entries_.size(), false);
    std::vector<std::uint32_t> pending;
    std::uint32_t current = entries_.front().child;
    while (current != kNoStream || !pending.empty()) {
        while (current != kNoStream) {
            if (current >= entries_.size()) {
                ThrowDamaged(quotedName_, "the directory refers to an entry that does not exist");
            }
            if (visited[current]) {
                ThrowDamaged(quotedName_, "the directory's tree loops back on itself");
            }
            visited[current] = true;
            pending.push_back(current);
            current = entries_[current].leftSibling;
        }
        const std::uint32_t index = pending.back();
        pending.pop_back();
        if (entries_[index].type != EntryType::Unused) {
            rootChildren_.push_back(entries_[index]);
        }
        current = entries_[index].rightSibling;
    }
}

const DirectoryEntry* CompoundFile::findRootStream(std::string_view name) const {
    for (const DirectoryEntry& entry : rootChildren_) {
        if (entry.type == EntryType::Stream && equalIgnoringAsciiCase(entry.name, name)) {
            return &entry;
        }
    }
    return nullptr;
}

CompoundStream CompoundFile::openStream(const DirectoryEntry& entry) const {
    CompoundStream stream;
    stream.source_ = source_.get();
    stream.quotedName_ = quotedName_;
    stream.size_ = entry.size;
    const std::string what = "the stream \"" + entry.name + "\"";
    if (entry.size == 0) {
        stream.sectorSize_ = sectorSize_;
        return stream;
    }
    if (entry.size >= kMiniStreamCutoff) {
        const std::uint64_t needed = divideRoundingUp(entry.size, sectorSize_);
        if (needed > sectorsInFile_) {
            ThrowTruncated(quotedName_, what + " is larger than the file");
        }
        stream.sectorSize_ = sectorSize_;
        for (const std::uint32_t sector :
             followChain(fat_, entry.startSector, needed, sectorsInFile_, what.c_str())) {
            stream.sectorOffsets_.push_back(sectorOffset(sector));
        }
        return stream;
    }
    // Small streams are stored in 64-byte pieces inside the root entry's mini stream.
    const DirectoryEntry& root = entries_.front();
    const std::uint64_t rootSectors = divideRoundingUp(root.size, sectorSize_);
    if (rootSectors > sectorsInFile_) {
        ThrowTruncated(quotedName_, "the mini stream is larger than the file");
    }
    const std::vector<std::uint32_t> rootChain =
        followChain(fat_, root.startSector, rootSectors, sectorsInFile_, "the mini stream");
    const std::uint64_t miniSectorsInStream = divideRoundingUp(root.size, kMiniSectorSize);
    const std::uint64_t needed = divideRoundingUp(entry.size, kMiniSectorSize);
    if (needed > miniSectorsInStream) {
        ThrowDamaged(quotedName_, what + " is larger than the mini stream");
    }
    stream.sectorSize_ = kMiniSectorSize;
    for (const std::uint32_t miniSector :
         followChain(miniFat_, entry.startSector, needed, miniSectorsInStream, what.c_str(),
                     ChainKind::Mini)) {
        const std::uint64_t position = static_cast<std::uint64_t>(miniSector) * kMiniSectorSize;
        stream.sectorOffsets_.push_back(
            sectorOffset(rootChain[static_cast<std::size_t>(position / sectorSize_)]) +
            position % sectorSize_);
    }
    return stream;
}

} // namespace quillory::spreadsheet::legacy
