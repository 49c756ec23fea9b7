// The compressor thread behind the zip writer: its first failure reaches the caller and stops the
// rest; threaded, the writer gives the one-thread writer's bytes for any way of cutting the data.

#include "spreadsheet/SpreadsheetError.h"
#include "spreadsheet/ooxml/Limits.h"
#include "spreadsheet/ooxml/package/OrderedWorker.h"
#include "spreadsheet/ooxml/package/OutputSink.h"
#include "spreadsheet/ooxml/package/ZipReader.h"
#include "spreadsheet/ooxml/package/ZipWriter.h"
#include "support/ExpectFailure.h"

#include <atomic>
#include <gtest/gtest.h>
#include <stdexcept>
#include <string>

namespace {

using namespace quillory;
using namespace spreadsheet::ooxml;
using spreadsheet::ErrorCode;
using spreadsheet::SpreadsheetError;

TEST(OrderedWorker, FirstFailureReachesTheProducerAndStopsTheRest) {
    for (const auto mode : {OrderedWorker::Mode::Background, OrderedWorker::Mode::Inline}) {
        std::atomic<int> ranAfterFailure{0};
        OrderedWorker worker(1 << 20, mode);
        quillory::testing::ExpectFailure(
            [&] {
                worker.submit([] {}, 1);
                worker.submit([] { throw SpreadsheetError(ErrorCode::DiskFull, "first failure"); },
                              1);
                worker.submit([] { throw std::runtime_error("second failure"); }, 1);
                for (int i = 0; i < 100; ++i) {
                    worker.submit([&ranAfterFailure] { ++ranAfterFailure; }, 1);
                }
                worker.drain();
            },
            ErrorCode::DiskFull, {"first failure"});
        EXPECT_EQ(ranAfterFailure.load(), 0);
        // Every later call keeps failing the same way instead of running more work.
        EXPECT_THROW(worker.submit([&ranAfterFailure] { ++ranAfterFailure; }, 1), SpreadsheetError);
        EXPECT_THROW(worker.drain(), SpreadsheetError);
        EXPECT_EQ(ranAfterFailure.load(), 0);
    }
}

// Data with long repeats and incompressible stretches, like a sheet with text and numbers.
std::string SheetLikeBytes(std::size_t size) {
    std::string bytes;
    std::uint32_t state = 12345;
    while (bytes.size() < size) {
        state = state * 1664525u + 1013904223u;
        bytes += "<c r=\"A" + std::to_string(state % 100000) + "\"><v>";
        bytes += std::to_string(state);
        bytes += "</v></c>";
    }
    bytes.resize(size);
    return bytes;
}

std::string WritePackage(OrderedWorker::Mode mode, const std::string& data, std::size_t piece) {
    MemorySink sink;
    ZipWriter writer(sink, mode);
    writer.beginEntry("xl/worksheets/sheet1.xml");
    for (std::size_t at = 0; at < data.size(); at += piece) {
        writer.write(std::string_view(data).substr(at, piece));
    }
    writer.endEntry();
    writer.addEntry("empty.xml", "");
    writer.addEntry("small.xml", "<a/>");
    writer.finish();
    return sink.bytes();
}

TEST(ThreadedZipWriter, SameBytesAsOneThreadForAnyCutOfTheData) {
    const std::string data = SheetLikeBytes(700 * 1024 + 17);
    const std::size_t handOff = 96 * 1024; // the writer's hand-off size
    for (const std::size_t piece :
         {std::size_t{1} << 20, std::size_t{1}, std::size_t{7}, std::size_t{4096}, handOff - 1,
          handOff, handOff + 1, data.size()}) {
        // One byte at a time over the whole part is slow under sanitizers: a prefix does.
        const std::string input = piece == 1 ? data.substr(0, 100000) : data;
        const std::string threaded = WritePackage(OrderedWorker::Mode::Background, input, piece);
        EXPECT_EQ(threaded, WritePackage(OrderedWorker::Mode::Inline, input, piece))
            << "pieces of " << piece;
        const auto reader = ZipReader::OpenBytes(threaded, "threaded.xlsx");
        EXPECT_EQ(reader->readWhole("xl/worksheets/sheet1.xml", kMaxWholePartBytes), input);
        EXPECT_EQ(reader->readWhole("empty.xml", 10), "");
        EXPECT_EQ(reader->readWhole("small.xml", 10), "<a/>");
    }
}

TEST(ThreadedZipWriter, RefusesDuplicatesAndDisorderAtOnce) {
    MemorySink sink;
    ZipWriter writer(sink);
    writer.addEntry("a.xml", "1");
    EXPECT_THROW(writer.addEntry("A.XML", "2"), SpreadsheetError);
    EXPECT_THROW(writer.write("outside an entry"), SpreadsheetError);
    EXPECT_THROW(writer.endEntry(), SpreadsheetError);
    writer.beginEntry("b.xml");
    EXPECT_THROW(writer.finish(), SpreadsheetError);
    writer.endEntry();
    writer.finish();
    EXPECT_THROW(writer.addEntry("c.xml", "3"), SpreadsheetError);
    const auto reader = ZipReader::OpenBytes(sink.bytes(), "written.zip");
    EXPECT_EQ(reader->readWhole("a.xml", 10), "1");
    EXPECT_EQ(reader->readWhole("b.xml", 10), "");
}

} // namespace
