// Reading packages: the zip reader's limits and hostile inputs, what a file that is not a
// workbook package is called and how relationship targets resolve.

#include "EngineTestSupport.h"
#include "spreadsheet/LegacyTestFiles.h"
#include "spreadsheet/ooxml/Limits.h"
#include "spreadsheet/ooxml/SourcePackage.h"
#include "spreadsheet/ooxml/package/OutputSink.h"
#include "spreadsheet/ooxml/package/Relationships.h"
#include "spreadsheet/ooxml/package/ZipReader.h"
#include "spreadsheet/ooxml/package/ZipWriter.h"

namespace quillory::testing {
namespace {

using namespace spreadsheet::ooxml;
using spreadsheet::ErrorCode;
using spreadsheet::SpreadsheetError;

// A compound file, as legacy and encrypted workbooks are, holding one stream of this name.
std::string CompoundFile(const std::string& stream) {
    legacy::CompoundFileBuilder builder;
    builder.addStream(stream, "data");
    return builder.build();
}

TEST(ZipReaderLimits, BombIsRefusedBeforeInflatingAndAChecksumMismatchReported) {
    MemorySink sink;
    ZipWriter writer(sink);
    writer.beginEntry("xl/worksheets/sheet1.xml");
    const std::string zeros(kMiB, '\0');
    for (int i = 0; i < 64; ++i) {
        writer.write(zeros);
    }
    writer.endEntry();
    writer.finish();
    const auto reader = ZipReader::OpenBytes(sink.bytes(), "bomb.xlsx");
    std::size_t delivered = 0;
    ExpectFailure(
        [&] {
            reader->readChunks("xl/worksheets/sheet1.xml",
                               [&](std::string_view chunk) { delivered += chunk.size(); });
        },
        ErrorCode::TooLarge, {"bomb.xlsx"});
    EXPECT_EQ(delivered, 0u);
    EXPECT_THROW(reader->readWhole("xl/worksheets/sheet1.xml", 1000), SpreadsheetError);

    // A flipped byte in the compressed data fails the entry's checksum.
    MemorySink small;
    ZipWriter flipped(small);
    flipped.addEntry("a.xml", std::string(5000, 'a') + "distinctive tail");
    flipped.finish();
    std::string bytes = small.bytes();
    const auto at = bytes.find("a.xml") + 5; // first byte of the compressed data
    bytes[at + 3] = static_cast<char>(bytes[at + 3] ^ 0x55);
    const auto flippedReader = ZipReader::OpenBytes(bytes, "flipped.xlsx");
    ExpectFailure([&] { flippedReader->readWhole("a.xml", 100000); }, ErrorCode::CorruptEntry,
                  {"a.xml"});
}

// Each kind of file that is not a usable workbook package, with its own code and words, naming
// the file.
TEST(BadInput, EachKindGetsItsOwnDescription) {
    TempDir dir;
    MiniWorkbook book;
    book.sheets = {{"Data"}};
    const auto zipped = [&](const std::function<void(PackageEntries&)>& change) {
        PackageEntries package = BuildPackage(book);
        change(package);
        package.write(dir / "package.xlsx");
        return readFile(dir / "package.xlsx");
    };
    const std::string workbook = zipped([](PackageEntries&) {});
    const legacy::BadFile cases[] = {
        {"random.xlsx", std::string("\x01\x02\x03\x04\xFF\xFE", 6), ErrorCode::NotAZip, "zip"},
        {"notes.xlsx", "name,amount\nx,1\n", ErrorCode::TextNotWorkbook, "text"},
        {"empty.xlsx", "", ErrorCode::NotAZip, "empty"},
        {"cut.xlsx", workbook.substr(0, workbook.size() / 2), ErrorCode::TruncatedPackage,
         "cut short"},
        {"Q3.xlsx", CompoundFile("EncryptedPackage"), ErrorCode::PasswordProtected,
         "password-protected"},
        {"old.xlsx", CompoundFile("Workbook"), ErrorCode::LegacyBinaryWorkbook, ".xls"},
        {"plain.xlsx", zipped([](PackageEntries& p) {
             p = PackageEntries();
             p.set("a.txt", "x");
         }),
         ErrorCode::NotAWorkbook, ""},
        {"binary.xlsx", zipped([](PackageEntries& p) {
             p.replaceOnce(
                 "[Content_Types].xml",
                 "application/vnd.openxmlformats-officedocument.spreadsheetml.sheet.main+xml",
                 "application/vnd.ms-excel.sheet.binary.macroEnabled.main");
         }),
         ErrorCode::BinaryWorkbook, ""},
        {"missing.xlsx", zipped([](PackageEntries& p) { p.remove("xl/worksheets/sheet1.xml"); }),
         ErrorCode::MissingPart, "xl/worksheets/sheet1.xml"},
        {"doctype.xlsx", zipped([](PackageEntries& p) {
             p.replaceOnce("xl/workbook.xml", "<?xml version=\"1.0\"?>",
                           "<?xml version=\"1.0\"?><!DOCTYPE lol [<!ENTITY lol \"lol\">]>");
         }),
         ErrorCode::XmlDeclarationsRefused, "xl/workbook.xml"},
    };
    for (const auto& c : cases) {
        const auto file = dir.write(c.name, c.bytes);
        ExpectFailure([&] { SourcePackage::OpenFile(file); }, c.code,
                      {"'" + c.name + "'", c.words});
    }
}

TEST(Relationships, TargetsResolveLikePartNames) {
    EXPECT_EQ(ResolveTarget("xl/workbook.xml", "worksheets/sheet1.xml"),
              "xl/worksheets/sheet1.xml");
    EXPECT_EQ(ResolveTarget("xl/worksheets/sheet1.xml", "../tables/table1.xml"),
              "xl/tables/table1.xml");
    EXPECT_EQ(ResolveTarget("xl/workbook.xml", "/xl/worksheets/sheet1.xml"),
              "xl/worksheets/sheet1.xml");
    EXPECT_EQ(ResolveTarget("xl/workbook.xml", "worksheets/my%20sheet.xml"),
              "xl/worksheets/my sheet.xml");
    EXPECT_EQ(ResolveTarget("", "xl/./a/../workbook.xml"), "xl/workbook.xml");
    EXPECT_EQ(ResolveTarget("xl/workbook.xml", "../../../../etc/passwd"), "etc/passwd");
    EXPECT_EQ(RelationshipsPartFor("xl/workbook.xml"), "xl/_rels/workbook.xml.rels");
    EXPECT_EQ(RelationshipsPartFor(""), "_rels/.rels");
    EXPECT_EQ(RelativeTarget("xl/worksheets/sheet1.xml", "xl/tables/table1.xml"),
              "../tables/table1.xml");
    EXPECT_EQ(RelativeTarget("xl/workbook.xml", "xl/worksheets/sheet2.xml"),
              "worksheets/sheet2.xml");

    const Relationships rels = Relationships::Parse(
        "<Relationships xmlns=\"http://schemas.openxmlformats.org/package/2006/relationships\">"
        "<Relationship Id=\"rId1\" Type=\"http://purl.oclc.org/ooxml/officeDocument/"
        "relationships/worksheet\" Target=\"sheet1.xml\"/><Relationship Id=\"rId2\" Type=\"x/"
        "hyperlink\" Target=\"http://example.com/a b\" TargetMode=\"External\"/>"
        "</Relationships>",
        "xl/worksheets/sheet9.xml", "f.xlsx");
    ASSERT_NE(rels.firstOfKind("worksheet"), nullptr);
    EXPECT_EQ(rels.firstOfKind("worksheet")->partName, "xl/worksheets/sheet1.xml");
    EXPECT_TRUE(rels.byId("rId2")->external);
    EXPECT_EQ(rels.byId("rId2")->partName, "");
}

} // namespace
} // namespace quillory::testing
