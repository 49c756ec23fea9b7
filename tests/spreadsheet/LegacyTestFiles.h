#pragma once
// Writers of small compound files and workbook streams for the legacy reader's tests, with hooks
// to damage them in the ways real broken files are damaged. The reader's agreement with real
// files is tested against files written by other programs; these exist for what no program writes.

#include "spreadsheet/SpreadsheetError.h"

#include <algorithm>
#include <cstdint>
#include <map>
#include <stdexcept>
#include <string>
#include <vector>

namespace quillory::testing::legacy {

// A file that must be refused: its name and bytes, the code and words of the refusal.
struct BadFile {
    std::string name;
    std::string bytes;
    spreadsheet::ErrorCode code;
    std::string words;
};

inline constexpr std::uint32_t kFreeSector = 0xFFFFFFFF;
inline constexpr std::uint32_t kEndOfChain = 0xFFFFFFFE;
inline constexpr std::uint32_t kFatSector = 0xFFFFFFFD;
inline constexpr std::uint32_t kSectorSize = 512;
inline constexpr std::uint32_t kMiniCutoff = 4096;

inline void putU16(std::string& bytes, std::size_t at, std::uint16_t value) {
    bytes[at] = static_cast<char>(value & 0xFF);
    bytes[at + 1] = static_cast<char>(value >> 8);
}

inline void putU32(std::string& bytes, std::size_t at, std::uint32_t value) {
    putU16(bytes, at, static_cast<std::uint16_t>(value & 0xFFFF));
    putU16(bytes, at + 2, static_cast<std::uint16_t>(value >> 16));
}

inline std::string u16(std::uint16_t value) {
    std::string bytes(2, '\0');
    putU16(bytes, 0, value);
    return bytes;
}

inline std::string u32(std::uint32_t value) {
    std::string bytes(4, '\0');
    putU32(bytes, 0, value);
    return bytes;
}

inline std::string utf16(const std::u16string& text) {
    std::string bytes;
    for (const char16_t unit : text) {
        bytes += u16(static_cast<std::uint16_t>(unit));
    }
    return bytes;
}

// A version 3 compound file (512-byte sectors) holding streams in its root storage. Streams of
// 4096 bytes and more get sectors of their own, smaller ones go to the mini stream.
class CompoundFileBuilder {
public:
    void addStream(const std::string& name, const std::string& data) {
        streams_.push_back({name, data});
    }

    // Where things went in the last build, for damaging the result.
    struct Layout {
        std::uint32_t firstDirectorySector = 0;
        std::map<std::string, std::uint32_t> firstSector; // regular streams
        std::map<std::string, std::size_t> entryOffset;   // directory entry in the file
    };

    static std::size_t sectorOffset(std::uint32_t sector) {
        return (static_cast<std::size_t>(sector) + 1) * kSectorSize;
    }

    std::string build(Layout* layout = nullptr) const {
        auto sectorsFor = [](std::size_t bytes, std::size_t unit) {
            return static_cast<std::uint32_t>((bytes + unit - 1) / unit);
        };
        std::string miniStream;
        std::vector<std::uint32_t> miniFat;
        std::vector<std::uint32_t> miniStart(streams_.size(), kEndOfChain);
        std::uint32_t regularSectors = 0;
        for (std::size_t i = 0; i < streams_.size(); ++i) {
            const std::string& data = streams_[i].data;
            if (data.size() >= kMiniCutoff) {
                regularSectors += sectorsFor(data.size(), kSectorSize);
            } else if (!data.empty()) {
                const auto first = static_cast<std::uint32_t>(miniFat.size());
                const std::uint32_t count = sectorsFor(data.size(), 64);
                for (std::uint32_t k = 0; k < count; ++k) {
                    miniFat.push_back(k + 1 == count ? kEndOfChain : first + k + 1);
                }
                miniStart[i] = first;
                std::string padded = data;
                padded.resize(count * 64, '\0');
                miniStream += padded;
            }
        }
        const std::uint32_t directorySectors = sectorsFor((streams_.size() + 1) * 128, kSectorSize);
        const std::uint32_t miniFatSectors = sectorsFor(miniFat.size() * 4, kSectorSize);
        const std::uint32_t miniStreamSectors = sectorsFor(miniStream.size(), kSectorSize);
        const std::uint32_t contentSectors =
            directorySectors + miniFatSectors + miniStreamSectors + regularSectors;
        std::uint32_t fatSectors = 1;
        while (fatSectors * (kSectorSize / 4) < contentSectors + fatSectors) {
            ++fatSectors;
        }
        if (fatSectors > 109) {
            throw std::logic_error("test compound files stay below 109 allocation sectors");
        }
        const std::uint32_t total = fatSectors + contentSectors;
        std::vector<std::uint32_t> fat(fatSectors * (kSectorSize / 4), kFreeSector);
        std::uint32_t next = 0;
        auto chain = [&](std::uint32_t count) {
            const std::uint32_t first = next;
            for (std::uint32_t k = 0; k < count; ++k) {
                fat[next] = k + 1 == count ? kEndOfChain : next + 1;
                ++next;
            }
            return count == 0 ? kEndOfChain : first;
        };
        for (std::uint32_t k = 0; k < fatSectors; ++k) {
            fat[next++] = kFatSector;
        }
        const std::uint32_t directoryStart = chain(directorySectors);
        const std::uint32_t miniFatStart = chain(miniFatSectors);
        const std::uint32_t miniStreamStart = chain(miniStreamSectors);
        std::vector<std::uint32_t> regularStart(streams_.size(), kEndOfChain);
        for (std::size_t i = 0; i < streams_.size(); ++i) {
            if (streams_[i].data.size() >= kMiniCutoff) {
                regularStart[i] = chain(sectorsFor(streams_[i].data.size(), kSectorSize));
            }
        }

        std::string file(sectorOffset(total), '\0');
        const unsigned char signature[] = {0xD0, 0xCF, 0x11, 0xE0, 0xA1, 0xB1, 0x1A, 0xE1};
        for (std::size_t k = 0; k < sizeof signature; ++k) {
            file[k] = static_cast<char>(signature[k]);
        }
        putU16(file, 24, 0x003E);
        putU16(file, 26, 3);
        putU16(file, 28, 0xFFFE);
        putU16(file, 30, 9);
        putU16(file, 32, 6);
        putU32(file, 44, fatSectors);
        putU32(file, 48, directoryStart);
        putU32(file, 56, kMiniCutoff);
        putU32(file, 60, miniFatStart);
        putU32(file, 64, miniFatSectors);
        putU32(file, 68, kEndOfChain);
        putU32(file, 72, 0);
        for (std::uint32_t k = 0; k < 109; ++k) {
            putU32(file, 76 + 4 * k, k < fatSectors ? k : kFreeSector);
        }
        for (std::size_t k = 0; k < fat.size(); ++k) {
            putU32(file, sectorOffset(0) + 4 * k, fat[k]);
        }
        // Unused directory slots and mini FAT entries must read as free.
        std::string directory(directorySectors * kSectorSize, '\0');
        for (std::size_t slot = 0; slot < directorySectors * kSectorSize / 128; ++slot) {
            putU32(directory, slot * 128 + 68, kFreeSector);
            putU32(directory, slot * 128 + 72, kFreeSector);
            putU32(directory, slot * 128 + 76, kFreeSector);
        }
        auto writeEntry = [&](std::size_t slot, const std::string& name, std::uint8_t type,
                              std::uint32_t right, std::uint32_t child, std::uint32_t start,
                              std::uint32_t size) {
            const std::size_t at = slot * 128;
            for (std::size_t c = 0; c < name.size(); ++c) {
                directory[at + 2 * c] = name[c];
            }
            putU16(directory, at + 64, static_cast<std::uint16_t>(2 * (name.size() + 1)));
            directory[at + 66] = static_cast<char>(type);
            directory[at + 67] = 1; // black
            putU32(directory, at + 72, right);
            putU32(directory, at + 76, child);
            putU32(directory, at + 116, start);
            putU32(directory, at + 120, size);
        };
        writeEntry(0, "Root Entry", 5, kFreeSector, streams_.empty() ? kFreeSector : 1,
                   miniStreamStart, static_cast<std::uint32_t>(miniStream.size()));
        for (std::size_t i = 0; i < streams_.size(); ++i) {
            const std::string& data = streams_[i].data;
            const auto right =
                i + 1 < streams_.size() ? static_cast<std::uint32_t>(i + 2) : kFreeSector;
            writeEntry(i + 1, streams_[i].name, 2, right, kFreeSector,
                       data.size() >= kMiniCutoff ? regularStart[i]
                       : data.empty()             ? kEndOfChain
                                                  : miniStart[i],
                       static_cast<std::uint32_t>(data.size()));
        }
        file.replace(sectorOffset(directoryStart), directory.size(), directory);
        std::string miniFatBytes(miniFatSectors * kSectorSize, '\xFF');
        for (std::size_t k = 0; k < miniFat.size(); ++k) {
            putU32(miniFatBytes, 4 * k, miniFat[k]);
        }
        if (miniFatSectors > 0) {
            file.replace(sectorOffset(miniFatStart), miniFatBytes.size(), miniFatBytes);
        }
        if (!miniStream.empty()) {
            file.replace(sectorOffset(miniStreamStart), miniStream.size(), miniStream);
        }
        for (std::size_t i = 0; i < streams_.size(); ++i) {
            if (streams_[i].data.size() >= kMiniCutoff) {
                file.replace(sectorOffset(regularStart[i]), streams_[i].data.size(),
                             streams_[i].data);
            }
        }
        if (layout != nullptr) {
            layout->firstDirectorySector = directoryStart;
            for (std::size_t i = 0; i < streams_.size(); ++i) {
                layout->entryOffset[streams_[i].name] =
                    sectorOffset(directoryStart + static_cast<std::uint32_t>((i + 1) / 4)) +
                    ((i + 1) % 4) * 128;
                if (streams_[i].data.size() >= kMiniCutoff) {
                    layout->firstSector[streams_[i].name] = regularStart[i];
                }
            }
        }
        return file;
    }

private:
    struct Stream {
        std::string name;
        std::string data;
    };
    std::vector<Stream> streams_;
};

// Workbook streams, record by record.
inline std::string record(std::uint16_t id, const std::string& data) {
    return u16(id) + u16(static_cast<std::uint16_t>(data.size())) + data;
}

inline constexpr std::uint16_t kBiff8 = 0x0600;
inline constexpr std::uint16_t kBiff5 = 0x0500;

inline std::string bof(std::uint16_t version, std::uint16_t type) {
    std::string data = u16(version) + u16(type) + u16(0x0DBB) + u16(0x07CC);
    if (version == kBiff8) {
        data += u32(0) + u32(0x06);
    }
    return record(0x0809, data);
}

inline std::string eof() {
    return record(0x000A, "");
}

struct TestSheet {
    std::string nameBytes; // as stored: 8-bit bytes, or UTF-16LE when wide
    bool wide = false;     // BIFF8 only
    std::uint8_t type = 0; // 0 worksheet or dialog, 1 macro sheet, 2 chart, 6 module
    std::uint8_t state = 0;
    bool dialog = false;
    std::string records = {}; // more records of the sheet, before its EOF
};

struct WorkbookStreamOptions {
    std::uint16_t version = kBiff8;
    int codePage = -1; // no CODEPAGE record when negative
    bool filePass = false;
    // Added to every sheet position, to make the sheet records point elsewhere.
    std::int64_t positionShift = 0;
    // Bytes of filler records in the global part, to make the stream as large as wanted.
    std::size_t fillerBytes = 0;
    std::string globalRecords = {}; // more records of the global part (fonts, formats)
};

inline std::string boundSheet(std::uint32_t position, const TestSheet& sheet,
                              std::uint16_t version) {
    std::string data = u32(position);
    data.push_back(static_cast<char>(sheet.state));
    data.push_back(static_cast<char>(sheet.type));
    const std::size_t characters = sheet.wide ? sheet.nameBytes.size() / 2 : sheet.nameBytes.size();
    data.push_back(static_cast<char>(characters));
    if (version == kBiff8) {
        data.push_back(sheet.wide ? '\x01' : '\x00');
    }
    return record(0x0085, data + sheet.nameBytes);
}

inline std::string sheetSubstream(const TestSheet& sheet, std::uint16_t version) {
    const std::uint16_t bofType = sheet.type == 2 ? 0x0020 : sheet.type == 1 ? 0x0040 : 0x0010;
    std::string bytes = bof(version, bofType);
    bytes += record(0x000D, u16(1));                              // CALCMODE
    bytes += record(0x0081, u16(sheet.dialog ? 0x0411 : 0x0401)); // WSBOOL
    bytes += record(0x0200, std::string(version == kBiff8 ? 14 : 10, '\0'));
    return bytes + sheet.records + eof();
}

inline std::string workbookStream(const std::vector<TestSheet>& sheets,
                                  const WorkbookStreamOptions& options = {}) {
    std::string head = bof(options.version, 0x0005);
    if (options.filePass) {
        head += record(0x002F, u16(1) + std::string(52, '\x5A'));
    }
    if (options.codePage >= 0) {
        head += record(0x0042, u16(static_cast<std::uint16_t>(options.codePage)));
    }
    head += options.globalRecords;
    for (std::size_t left = options.fillerBytes; left > 0;) {
        const std::size_t chunk = std::min<std::size_t>(left, 8000);
        head += record(0x005C, std::string(chunk, ' ')); // WRITEACCESS
        left -= chunk;
    }
    std::size_t globalsSize = head.size() + eof().size();
    for (const TestSheet& sheet : sheets) {
        globalsSize += boundSheet(0, sheet, options.version).size();
    }
    std::string globals = head;
    std::string bodies;
    for (const TestSheet& sheet : sheets) {
        const auto position =
            static_cast<std::int64_t>(globalsSize + bodies.size()) + options.positionShift;
        globals += boundSheet(static_cast<std::uint32_t>(position), sheet, options.version);
        if (sheet.type != 6) {
            bodies += sheetSubstream(sheet, options.version);
        }
    }
    return globals + eof() + bodies;
}

// A sheet named with ASCII or 8-bit bytes.
inline TestSheet sheetNamed(const std::string& bytes, std::uint8_t type = 0,
                            std::uint8_t state = 0) {
    return TestSheet{bytes, false, type, state, false, {}};
}

// A BIFF8 sheet with a name stored as UTF-16LE.
inline TestSheet wideSheetNamed(const std::u16string& name) {
    return TestSheet{utf16(name), true, 0, 0, false, {}};
}

inline std::string biff8Workbook(const std::vector<TestSheet>& sheets,
                                 const WorkbookStreamOptions& options = {}) {
    CompoundFileBuilder builder;
    builder.addStream("Workbook", workbookStream(sheets, options));
    return builder.build();
}

} // namespace quillory::testing::legacy
