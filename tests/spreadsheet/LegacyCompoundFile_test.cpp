// The compound-file reader on files that are whole, cut short, or damaged on purpose: whole files
// read back exactly; broken ones end in a SpreadsheetError that names the file, never in a hang
// or a crash.

#include "spreadsheet/LegacyTestFiles.h"
#include "spreadsheet/SpreadsheetError.h"
#include "spreadsheet/legacy/CompoundFile.h"
#include "spreadsheet/legacy/LegacyWorkbookListing.h"

#include <gtest/gtest.h>
#include <random>

namespace quillory::spreadsheet::legacy {
namespace {

using testing::legacy::CompoundFileBuilder;
using testing::legacy::putU32;

const std::string kName = "\"broken.xls\"";

std::string pattern(std::size_t size, unsigned seed) {
    std::string bytes(size, '\0');
    std::mt19937 random(seed);
    for (char& byte : bytes) {
        byte = static_cast<char>(random() & 0xFF);
    }
    return bytes;
}

struct Sample {
    std::string big = pattern(10000, 1); // regular sectors
    std::string small = pattern(700, 2); // mini stream
    std::string tiny = pattern(64, 3);   // exactly one mini sector
    CompoundFileBuilder::Layout layout;
    std::string file;

    Sample() {
        CompoundFileBuilder builder;
        builder.addStream("Big", big);
        builder.addStream("Small", small);
        builder.addStream("Tiny", tiny);
        builder.addStream("Empty", "");
        file = builder.build(&layout);
    }
};

CompoundFile open(const std::string& bytes) {
    return CompoundFile(std::make_unique<MemoryByteSource>(bytes), kName);
}

std::string readWhole(const CompoundFile& file, const std::string& name) {
    const DirectoryEntry* entry = file.findRootStream(name);
    if (entry == nullptr) {
        throw std::runtime_error("no stream " + name);
    }
    const CompoundStream stream = file.openStream(*entry);
    return stream.read(0, static_cast<std::size_t>(stream.size()));
}

// Opens and reads every stream; returns the failure, if any.
std::optional<SpreadsheetError> failureOf(const std::string& bytes) {
    try {
        const CompoundFile file = open(bytes);
        for (const DirectoryEntry& entry : file.rootChildren()) {
            if (entry.type == EntryType::Stream) {
                const CompoundStream stream = file.openStream(entry);
                stream.read(0, static_cast<std::size_t>(stream.size()));
            }
        }
    } catch (const SpreadsheetError& error) {
        return error;
    }
    return std::nullopt;
}

void expectFailure(const std::string& bytes, ErrorCode code, const std::string& words,
                   const std::string& damage) {
    SCOPED_TRACE(damage);
    const std::optional<SpreadsheetError> failure = failureOf(bytes);
    ASSERT_TRUE(failure.has_value()) << "expected: " << words;
    EXPECT_EQ(failure->code(), code) << failure->description();
    EXPECT_NE(failure->description().find(kName), std::string::npos) << failure->description();
    EXPECT_NE(failure->description().find(words), std::string::npos) << failure->description();
}

std::size_t fatEntry(std::uint32_t sector) {
    return CompoundFileBuilder::sectorOffset(0) + 4 * sector;
}

TEST(LegacyCompoundFile, ReadsRegularMiniAndEmptyStreamsByNameInAnyCase) {
    const Sample sample;
    const CompoundFile file = open(sample.file);
    ASSERT_EQ(file.rootChildren().size(), 4U);
    EXPECT_EQ(readWhole(file, "big"), sample.big);
    EXPECT_EQ(readWhole(file, "SMALL"), sample.small);
    EXPECT_EQ(readWhole(file, "Tiny"), sample.tiny);
    EXPECT_EQ(readWhole(file, "Empty"), "");
    EXPECT_EQ(file.findRootStream("Missing"), nullptr);

    // Reads that start inside a sector and cross into the next, and reads past the end.
    const CompoundStream big = file.openStream(*file.findRootStream("Big"));
    EXPECT_EQ(big.read(500, 30), sample.big.substr(500, 30));
    EXPECT_EQ(big.read(9990, 100), sample.big.substr(9990));
    EXPECT_EQ(big.read(10000, 10), "");
    const CompoundStream small = file.openStream(*file.findRootStream("Small"));
    EXPECT_EQ(small.read(60, 10), sample.small.substr(60, 10));
    EXPECT_EQ(small.read(650, 100), sample.small.substr(650));
}

TEST(LegacyCompoundFile, EveryCutShortCopyFailsCleanlyUntilTheDataIsWhole) {
    const Sample sample;
    const std::size_t dataEnd =
        CompoundFileBuilder::sectorOffset(sample.layout.firstSector.at("Big")) + sample.big.size();
    for (std::size_t length = 0; length < sample.file.size(); length += 37) {
        SCOPED_TRACE("cut to " + std::to_string(length) + " bytes");
        const std::optional<SpreadsheetError> failure = failureOf(sample.file.substr(0, length));
        if (length < dataEnd) {
            ASSERT_TRUE(failure.has_value());
            EXPECT_TRUE(failure->code() == ErrorCode::TruncatedPackage ||
                        failure->code() == ErrorCode::DamagedLegacyWorkbook)
                << failure->description();
            EXPECT_NE(failure->description().find(kName), std::string::npos);
        } else {
            // Only the padding of the last sector is missing: everything still reads.
            EXPECT_FALSE(failure.has_value()) << failure->description();
        }
    }
    expectFailure(sample.file.substr(0, 300), ErrorCode::TruncatedPackage,
                  "shorter than its header", "cut inside the header");
}

struct Damage {
    std::string what;
    std::size_t at; // where value is written, little-endian, in `bytes` bytes
    std::uint32_t value;
    ErrorCode code;
    std::string words;
    int bytes = 4;
};

TEST(LegacyCompoundFile, EachKindOfDamageIsReportedNotFollowed) {
    using enum ErrorCode;
    const Sample sample;
    const std::uint32_t big = sample.layout.firstSector.at("Big");
    const std::uint32_t directory = sample.layout.firstDirectorySector;
    const auto entry = [&](const char* name) { return sample.layout.entryOffset.at(name); };
    const Damage cases[] = {
        {"stream loop", fatEntry(big + 5), big + 2, DamagedLegacyWorkbook, "loops back on itself"},
        {"self loop", fatEntry(big), big, DamagedLegacyWorkbook, "loops back on itself"},
        // The directory has no size of its own: only the loop check ends it.
        {"directory loop", fatEntry(directory), directory, DamagedLegacyWorkbook, "directory"},
        {"past the end", fatEntry(big), 1000000, TruncatedPackage, "past the end of the file"},
        {"broken chain", fatEntry(big + 3), testing::legacy::kFreeSector, DamagedLegacyWorkbook,
         "is broken"},
        {"short chain", fatEntry(big + 3), testing::legacy::kEndOfChain, DamagedLegacyWorkbook,
         "shorter than its recorded size"},
        {"huge stream", entry("Big") + 120, 0x7FFFFFFF, TruncatedPackage, "larger than the file"},
        {"huge mini stream", entry("Small") + 120, 4000, DamagedLegacyWorkbook, "mini stream"},
        {"start outside", entry("Big") + 116, 5000, TruncatedPackage, "past the end of the file"},
        {"own sibling", entry("Small") + 72, 2, DamagedLegacyWorkbook, "loops back on itself"},
        {"dangling child", entry("Tiny") + 68, 4000, DamagedLegacyWorkbook, "does not exist"},
        {"no root", CompoundFileBuilder::sectorOffset(directory) + 66, 1, DamagedLegacyWorkbook,
         "no root entry", 1},
        {"sector shift", 30, 20, DamagedLegacyWorkbook, "sector size", 1},
        {"byte order", 28, 0, DamagedLegacyWorkbook, "byte order", 1},
        {"huge table", 44, 0xFFFFFFFF, DamagedLegacyWorkbook, "allocation table claims"},
        {"table larger than the file", 44, 1000, TruncatedPackage, "larger than the file"},
    };
    for (const Damage& damage : cases) {
        std::string damaged = sample.file;
        for (int k = 0; k < damage.bytes; ++k) {
            damaged[damage.at + k] = static_cast<char>((damage.value >> (8 * k)) & 0xFF);
        }
        expectFailure(damaged, damage.code, damage.words, damage.what);
    }

    // A loop after the sectors the stream needs is never followed: the data reads whole.
    std::string loopAfterTheEnd = sample.file;
    putU32(loopAfterTheEnd, fatEntry(big + 19), big); // 10000 bytes span 20 sectors
    EXPECT_EQ(readWhole(open(loopAfterTheEnd), "Big"), sample.big);

    // A table longer than the header's list continues in DIFAT sectors; here they loop.
    std::string difatLoop = sample.file + std::string(420 * testing::legacy::kSectorSize, '\0');
    putU32(difatLoop, 44, 400);
    putU32(difatLoop, 68, 1);
    putU32(difatLoop, 72, 5);
    putU32(difatLoop, CompoundFileBuilder::sectorOffset(1) + 508, 1);
    expectFailure(difatLoop, DamagedLegacyWorkbook, "loops", "difatLoop");
}

// Random damage to the header, allocation table and directory: every outcome is either a listing
// or a SpreadsheetError. Run under the sanitizers this also proves no read leaves its buffer.
TEST(LegacyCompoundFile, RandomDamageNeverEscapesAsAnythingButSpreadsheetError) {
    CompoundFileBuilder builder;
    using namespace testing::legacy;
    builder.addStream("Workbook",
                      workbookStream({sheetNamed("One"), sheetNamed("Two", 2), sheetNamed("Three")},
                                     {.fillerBytes = 5000}));
    const std::string whole = builder.build();
    int listed = 0;
    int refused = 0;
    for (unsigned seed = 1; seed <= 400; ++seed) {
        std::mt19937 random(seed);
        std::string damaged = whole;
        const std::size_t flips = 1 + random() % 8;
        for (std::size_t i = 0; i < flips; ++i) {
            // Most damage where the structure is: header, allocation table, directory.
            const std::size_t span = (random() % 4 == 0) ? damaged.size() : 2048;
            damaged[random() % span] = static_cast<char>(random() & 0xFF);
        }
        try {
            ListLegacyWorkbook(std::make_unique<MemoryByteSource>(damaged), kName);
            ++listed;
        } catch (const SpreadsheetError& error) {
            EXPECT_GT(error.number(), 0);
            EXPECT_NE(error.description().find(kName), std::string::npos)
                << "seed " << seed << ": " << error.description();
            ++refused;
        }
    }
    // Both outcomes occur: the damage is neither always fatal nor always harmless.
    EXPECT_GT(listed, 0);
    EXPECT_GT(refused, 0);
}

} // namespace
} // namespace quillory::spreadsheet::legacy
