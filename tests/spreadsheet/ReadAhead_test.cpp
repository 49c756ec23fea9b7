// Inflating a part on a second thread: the consumer sees exactly the bytes of the plain read, a
// consumer that throws stops the reading (and leaves the archive usable), and damaged or missing
// parts fail with the same error as the plain read.

#include "spreadsheet/SpreadsheetError.h"
#include "spreadsheet/ooxml/xml/ReadAhead.h"
#include "support/PackageEntries.h"
#include "support/TempDir.h"

#include <fstream>
#include <functional>
#include <gtest/gtest.h>
#include <stdexcept>

namespace quillory::testing {
namespace {

using spreadsheet::SpreadsheetError;
using spreadsheet::ooxml::kReadAheadFromBytes;
using spreadsheet::ooxml::ReadChunksAhead;
using spreadsheet::ooxml::ZipReader;

// Text that deflates only moderately, so that the part spans many chunks in the archive too.
std::string NoisyText(std::size_t size) {
    std::string text;
    text.reserve(size);
    std::uint32_t state = 12345;
    while (text.size() < size) {
        state = state * 1103515245U + 12345U;
        text += static_cast<char>('a' + (state >> 16) % 26);
    }
    return text;
}

// The error code a read throws, or -1 when it does not throw.
int ErrorOf(const std::function<void()>& read) {
    try {
        read();
    } catch (const SpreadsheetError& error) {
        return error.number();
    }
    return -1;
}

// A consumer that throws stops the read (no chunk comes after it) and leaves the archive usable:
// every part then reads as the plain read gives it. Damaged and missing parts then fail with the
// plain read's error.
TEST(ReadAhead, AThrowingConsumerStopsTheReadThenPartsReadOrFailAsThePlainReadDoes) {
    TempDir dir;
    const std::string large = NoisyText(4 * kReadAheadFromBytes);
    const std::string small = NoisyText(1000);
    PackageEntries package;
    package.set("large.xml", large);
    package.set("small.xml", small);
    const auto file = dir / "parts.zip";
    package.write(file);
    auto zip = ZipReader::OpenFile(file, "parts.zip");
    int calls = 0;
    EXPECT_THROW(ReadChunksAhead(*zip, "large.xml",
                                 [&](std::string_view) {
                                     if (++calls == 3) {
                                         throw std::runtime_error("stop");
                                     }
                                 }),
                 std::runtime_error);
    EXPECT_EQ(calls, 3) << "chunks were delivered after the consumer failed";
    for (const auto& [name, expected] : {std::pair{"large.xml", large}, {"small.xml", small}}) {
        std::string read;
        int chunks = 0;
        ReadChunksAhead(*zip, name, [&](std::string_view chunk) {
            read.append(chunk);
            ++chunks;
        });
        EXPECT_TRUE(read == expected) << name << ": bytes differ";
        EXPECT_EQ(chunks > 1, expected.size() > kReadAheadFromBytes) << name;
    }

    zip.reset();
    {
        std::fstream bytes(file, std::ios::in | std::ios::out | std::ios::binary);
        bytes.seekp(static_cast<std::streamoff>(std::filesystem::file_size(file)) / 2);
        bytes.write(std::string(64, '\xA5').data(), 64);
    }
    zip = ZipReader::OpenFile(file, "parts.zip");
    const auto ignore = [](std::string_view) {};
    for (const char* name : {"large.xml", "absent.xml"}) {
        const int plain = ErrorOf([&] { zip->readChunks(name, ignore); });
        ASSERT_NE(plain, -1) << name << ": the plain read did not fail";
        EXPECT_EQ(ErrorOf([&] { ReadChunksAhead(*zip, name, ignore); }), plain) << name;
    }
}

} // namespace
} // namespace quillory::testing
