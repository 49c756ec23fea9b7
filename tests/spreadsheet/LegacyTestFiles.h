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

inline std::string u16(std::uint16_t value) {
    return {static_cast<char>(value & 0xFF), static_cast<char>(value >> 8)};
}

inline std::string u32(std::uint32_t value) {
    return u16(static_cast<std::uint16_t>(value & 0xFFFF)) +
           u16(static_cast<std::uint16_t>(value >> 16));
}

inline void putU16(std::string& bytes, std::size_t at, std::uint16_t value) {
    bytes.replace(at, 2, u16(value));
}

inline void putU32(std::string& bytes, std::size_t at, std::uint32_t value) {
    bytes.replace(at, 4, u32(value));
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
        const auto sectorsFor = [](std::size_t bytes, std::size_t unit) {
            return static_cast<std::uint32_t>((bytes + unit - 1) / unit);
        };
        // Small streams in 64-byte mini sectors, chained in the mini FAT.
        std::string miniStream;
        std::string miniFat;
        std::vector<std::uint32_t> start(streams_.size(), kEndOfChain);
        for (std::size_t i = 0; i < streams_.size(); ++i) {
            const std::string& data = streams_[i].data;
            if (!data.empty() && data.size() < kMiniCutoff) {
                start[i] = static_cast<std::uint32_t>(miniStream.size() / 64);
                const std::uint32_t count = sectorsFor(data.size(), 64);
                for (std::uint32_t k = 1; k <= count; ++k) {
                    miniFat += u32(k == count ? kEndOfChain : start[i] + k);
                }
                miniStream += data + std::string(count * 64 - data.size(), '\0');
            }
        }
        // Unused mini FAT entries and directory slots must read as free.
        miniFat.resize(sectorsFor(miniFat.size(), kSectorSize) * kSectorSize, '\xFF');
        std::string directory(sectorsFor((streams_.size() + 1) * 128, kSectorSize) * kSectorSize,
                              '\0');
        for (std::size_t at = 0; at < directory.size(); at += 128) {
            directory.replace(at + 68, 12, std::string(12, '\xFF'));
        }
        // The sectors' contents in the order they are chained: directory, mini FAT, mini stream,
        // then the large streams.
        std::vector<const std::string*> contents = {&directory, &miniFat, &miniStream};
        for (const Stream& stream : streams_) {
            if (stream.data.size() >= kMiniCutoff) {
                contents.push_back(&stream.data);
            }
        }
        std::uint32_t contentSectors = 0;
        for (const std::string* content : contents) {
            contentSectors += sectorsFor(content->size(), kSectorSize);
        }
        std::uint32_t fatSectors = 1;
        while (fatSectors * (kSectorSize / 4) < contentSectors + fatSectors) {
            ++fatSectors;
        }
        if (fatSectors > 109) {
            throw std::logic_error("test compound files stay below 109 allocation sectors");
        }
        std::vector<std::uint32_t> fat(fatSectors * (kSectorSize / 4), kFreeSector);
        std::fill_n(fat.begin(), fatSectors, kFatSector);
        std::vector<std::uint32_t> first;
        for (std::uint32_t next = fatSectors; const std::string* content : contents) {
            const std::uint32_t count = sectorsFor(content->size(), kSectorSize);
            first.push_back(count == 0 ? kEndOfChain : next);
            for (std::uint32_t k = 1; k <= count; ++k, ++next) {
                fat[next] = k == count ? kEndOfChain : next + 1;
            }
        }
        const auto writeEntry = [&](std::size_t slot, const std::string& name, std::uint8_t type,
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
        writeEntry(0, "Root Entry", 5, kFreeSector, streams_.empty() ? kFreeSector : 1, first[2],
                   static_cast<std::uint32_t>(miniStream.size()));
        for (std::size_t i = 0, large = 3; i < streams_.size(); ++i) {
            const std::string& data = streams_[i].data;
            if (data.size() >= kMiniCutoff) {
                start[i] = first[large++];
            }
            const auto right =
                i + 1 < streams_.size() ? static_cast<std::uint32_t>(i + 2) : kFreeSector;
            writeEntry(i + 1, streams_[i].name, 2, right, kFreeSector, start[i],
                       static_cast<std::uint32_t>(data.size()));
            if (layout != nullptr) {
                layout->entryOffset[streams_[i].name] = sectorOffset(first[0]) + (i + 1) * 128;
                if (data.size() >= kMiniCutoff) {
                    layout->firstSector[streams_[i].name] = start[i];
                }
            }
        }
        if (layout != nullptr) {
            layout->firstDirectorySector = first[0];
        }

        std::string file(kSectorSize, '\0');
        file.replace(0, 8, "\xD0\xCF\x11\xE0\xA1\xB1\x1A\xE1");
        putU16(file, 24, 0x003E);
        putU16(file, 26, 3);
        putU16(file, 28, 0xFFFE);
        putU16(file, 30, 9);
        putU16(file, 32, 6);
        putU32(file, 44, fatSectors);
        putU32(file, 48, first[0]);
        putU32(file, 56, kMiniCutoff);
        putU32(file, 60, first[1]);
        putU32(file, 64, sectorsFor(miniFat.size(), kSectorSize));
        putU32(file, 68, kEndOfChain);
        for (std::uint32_t k = 0; k < 109; ++k) {
            putU32(file, 76 + 4 * k, k < fatSectors ? k : kFreeSector);
        }
        for (const std::uint32_t entry : fat) {
            file += u32(entry);
        }
        for (const std::string* content : contents) {
            file += *content;
            file.resize(sectorOffset(sectorsFor(file.size(), kSectorSize) - 1), '\0');
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
