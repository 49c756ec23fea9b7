#pragma once
// Reader of the compound-file container (a small file system inside one file) that holds legacy
// workbooks and encrypted workbook packages. Every sector number, chain and size read from the
// file is checked against the file before it is used: hostile input ends in a SpreadsheetError,
// never in a hang, a crash or an allocation beyond the limits below.

#include "spreadsheet/legacy/ByteSource.h"

#include <array>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace quillory::spreadsheet::legacy {

inline constexpr std::array<unsigned char, 8> kCompoundFileSignature = {0xD0, 0xCF, 0x11, 0xE0,
                                                                        0xA1, 0xB1, 0x1A, 0xE1};
// A workbook holds a few dozen entries; this keeps a hostile directory from filling memory.
inline constexpr std::uint32_t kMaxDirectoryEntries = 1U << 16;
// Sectors the allocation table may describe (8 GiB of 512-byte sectors, 64 MiB of table).
inline constexpr std::uint64_t kMaxAllocationTableEntries = 1ULL << 24;

enum class EntryType : std::uint8_t { Unused = 0, Storage = 1, Stream = 2, Root = 5 };

struct DirectoryEntry {
    std::string name; // UTF-8
    EntryType type = EntryType::Unused;
    std::uint32_t leftSibling = 0;
    std::uint32_t rightSibling = 0;
    std::uint32_t child = 0;
    std::uint32_t startSector = 0;
    std::uint64_t size = 0;
};

// One stream of a compound file, read at any offset. Valid while its CompoundFile lives.
class CompoundStream {
public:
    std::uint64_t size() const { return size_; }
    // Up to `length` bytes from `offset`; fewer only at the end of the stream.
    std::string read(std::uint64_t offset, std::size_t length) const;

private:
    friend class CompoundFile;
    const ByteSource* source_ = nullptr;
    std::string quotedName_;
    std::vector<std::uint64_t> sectorOffsets_; // where each sector of the stream is in the file
    std::uint32_t sectorSize_ = 0;
    std::uint64_t size_ = 0;
};

class CompoundFile {
public:
    // True when the source starts with the compound-file signature.
    static bool HasSignature(const ByteSource& source);

    // Reads the header, allocation tables and directory. `quotedName` is the file's name as the
    // descriptions of failures show it. Throws SpreadsheetError.
    CompoundFile(std::unique_ptr<ByteSource> source, std::string quotedName);

    // The entries directly inside the root storage.
    const std::vector<DirectoryEntry>& rootChildren() const { return rootChildren_; }
    // A stream directly inside the root storage, by name without regard to case; null if none.
    const DirectoryEntry* findRootStream(std::string_view name) const;
    CompoundStream openStream(const DirectoryEntry& entry) const;

private:
    enum class ChainKind { Regular, Mini };
    std::uint64_t sectorOffset(std::uint32_t sector) const;
    std::string readSector(std::uint32_t sector) const;
    std::vector<std::uint32_t> followChain(const std::vector<std::uint32_t>& table,
                                           std::uint32_t start, std::uint64_t wanted,
                                           std::uint64_t sectorLimit, const char* what,
                                           ChainKind chainKind = ChainKind::Regular) const;
    void readHeader();
    void readAllocationTable();
    void readDirectory();
    void readMiniAllocationTable();
    void collectRootChildren();

    std::unique_ptr<ByteSource> source_;
    std::string quotedName_;
    std::uint32_t sectorSize_ = 0;
    std::uint64_t sectorsInFile_ = 0;
    std::uint32_t fatSectorCount_ = 0;
    std::uint32_t firstDirectorySector_ = 0;
    std::uint32_t firstMiniFatSector_ = 0;
    std::uint32_t miniFatSectorCount_ = 0;
    std::uint32_t firstDifatSector_ = 0;
    std::uint32_t difatSectorCount_ = 0;
    std::vector<std::uint32_t> headerDifat_;
    bool version3_ = true;
    std::vector<std::uint32_t> fat_;
    std::vector<std::uint32_t> miniFat_;
    std::vector<DirectoryEntry> entries_;
    std::vector<DirectoryEntry> rootChildren_;
};

} // namespace quillory::spreadsheet::legacy
