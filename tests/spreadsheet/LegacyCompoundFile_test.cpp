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

TEST(LegacyCompoundFile, LoopingChainsAreReportedNotFollowed) {
    const Sample sample;
    const std::uint32_t first = sample.layout.firstSector.at("Big");
    const std::uint32_t last = first + 19; // 10000 bytes span 20 sectors

    std::string streamLoop = sample.file;
    putU32(streamLoop, fatEntry(first + 5), first + 2);
    expectFailure(streamLoop, ErrorCode::DamagedLegacyWorkbook, "loops back on itself",
                  "streamLoop");

    // A loop after the sectors the stream needs is never followed: the data reads whole.
    std::string loopAfterTheEnd = sample.file;
    putU32(loopAfterTheEnd, fatEntry(last), first);
    EXPECT_EQ(readWhole(open(loopAfterTheEnd), "Big"), sample.big);

    std::string selfLoop = sample.file;
    putU32(selfLoop, fatEntry(first), first);
    expectFailure(selfLoop, ErrorCode::DamagedLegacyWorkbook, "loops back on itself", "selfLoop");

    // The directory has no size of its own: only the loop check ends it.
    std::string directoryLoop = sample.file;
    putU32(directoryLoop, fatEntry(sample.layout.firstDirectorySector),
           sample.layout.firstDirectorySector);
    expectFailure(directoryLoop, ErrorCode::DamagedLegacyWorkbook, "directory", "directoryLoop");
}

TEST(LegacyCompoundFile, ChainsAndSizesThatLeaveTheFileAreReported) {
    const Sample sample;
    const std::uint32_t first = sample.layout.firstSector.at("Big");

    std::string pastEnd = sample.file;
    putU32(pastEnd, fatEntry(first), 1000000);
    expectFailure(pastEnd, ErrorCode::TruncatedPackage, "past the end of the file", "pastEnd");

    std::string brokenChain = sample.file;
    putU32(brokenChain, fatEntry(first + 3), testing::legacy::kFreeSector);
    expectFailure(brokenChain, ErrorCode::DamagedLegacyWorkbook, "is broken", "brokenChain");

    std::string shortChain = sample.file;
    putU32(shortChain, fatEntry(first + 3), testing::legacy::kEndOfChain);
    expectFailure(shortChain, ErrorCode::DamagedLegacyWorkbook, "shorter than its recorded size",
                  "shortChain");

    std::string hugeStream = sample.file;
    putU32(hugeStream, sample.layout.entryOffset.at("Big") + 120, 0x7FFFFFFF);
    expectFailure(hugeStream, ErrorCode::TruncatedPackage, "larger than the file", "hugeStream");

    std::string hugeMiniStream = sample.file;
    putU32(hugeMiniStream, sample.layout.entryOffset.at("Small") + 120, 4000);
    expectFailure(hugeMiniStream, ErrorCode::DamagedLegacyWorkbook, "mini stream",
                  "hugeMiniStream");

    std::string outsideTable = sample.file;
    putU32(outsideTable, sample.layout.entryOffset.at("Big") + 116, 5000);
    expectFailure(outsideTable, ErrorCode::TruncatedPackage, "past the end of the file",
                  "outsideTable");
}

TEST(LegacyCompoundFile, DirectoryTreesThatLoopOrPointNowhereAreReported) {
    const Sample sample;
    std::string selfSibling = sample.file;
    putU32(selfSibling, sample.layout.entryOffset.at("Small") + 72, 2); // its own index
    expectFailure(selfSibling, ErrorCode::DamagedLegacyWorkbook, "loops back on itself",
                  "selfSibling");

    std::string danglingChild = sample.file;
    putU32(danglingChild, sample.layout.entryOffset.at("Tiny") + 68, 4000);
    expectFailure(danglingChild, ErrorCode::DamagedLegacyWorkbook, "does not exist",
                  "danglingChild");

    std::string noRoot = sample.file;
    noRoot[CompoundFileBuilder::sectorOffset(sample.layout.firstDirectorySector) + 66] = 1;
    expectFailure(noRoot, ErrorCode::DamagedLegacyWorkbook, "no root entry", "noRoot");
}

TEST(LegacyCompoundFile, HeadersWithImpossibleValuesAreReported) {
    const Sample sample;
    std::string sectorShift = sample.file;
    sectorShift[30] = 20;
    expectFailure(sectorShift, ErrorCode::DamagedLegacyWorkbook, "sector size", "sectorShift");

    std::string byteOrder = sample.file;
    byteOrder[28] = 0;
    expectFailure(byteOrder, ErrorCode::DamagedLegacyWorkbook, "byte order", "byteOrder");

    std::string hugeTable = sample.file;
    putU32(hugeTable, 44, 0xFFFFFFFF);
    expectFailure(hugeTable, ErrorCode::DamagedLegacyWorkbook, "allocation table claims",
                  "hugeTable");

    std::string tableLargerThanFile = sample.file;
    putU32(tableLargerThanFile, 44, 1000);
    expectFailure(tableLargerThanFile, ErrorCode::TruncatedPackage, "larger than the file",
                  "tableLargerThanFile");

    // A table longer than the header's list continues in DIFAT sectors; here they loop.
    std::string difatLoop = sample.file + std::string(420 * testing::legacy::kSectorSize, '\0');
    putU32(difatLoop, 44, 400);
    putU32(difatLoop, 68, 1);
    putU32(difatLoop, 72, 5);
    const std::size_t difat = CompoundFileBuilder::sectorOffset(1);
    putU32(difatLoop, difat + 508, 1);
    expectFailure(difatLoop, ErrorCode::DamagedLegacyWorkbook, "loops", "difatLoop");
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
