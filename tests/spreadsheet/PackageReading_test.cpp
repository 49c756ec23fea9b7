// Reading packages: the zip reader's limits and hostile inputs, the zip writer read back through
// libzip, what a file that is not a workbook package is called, and XML refusals.

#include "EngineTestSupport.h"
#include "spreadsheet/ooxml/InputDetection.h"
#include "spreadsheet/ooxml/Limits.h"
#include "spreadsheet/ooxml/SourcePackage.h"
#include "spreadsheet/ooxml/package/ContentTypes.h"
#include "spreadsheet/ooxml/package/OutputSink.h"
#include "spreadsheet/ooxml/package/Relationships.h"
#include "spreadsheet/ooxml/package/ZipReader.h"
#include "spreadsheet/ooxml/package/ZipWriter.h"

namespace quillory::testing {
namespace {

using namespace spreadsheet::ooxml;
using spreadsheet::ErrorCode;
using spreadsheet::SpreadsheetError;

// The error an opening of these bytes ends in, with its description.
std::pair<ErrorCode, std::string> OpenFailure(const TempDir& dir, const std::string& name,
                                              const std::string& bytes) {
    const auto file = dir.write(name, bytes);
    try {
        SourcePackage::OpenFile(file);
    } catch (const SpreadsheetError& error) {
        return {error.code(), error.description()};
    }
    return {ErrorCode::Internal, "opened without a failure"};
}

std::string CompoundFile(bool encrypted) {
    std::string bytes("\xD0\xCF\x11\xE0\xA1\xB1\x1A\xE1", 8);
    bytes.resize(4096, '\0');
    if (encrypted) {
        const std::string name = "EncryptedPackage";
        for (char c : name) {
            bytes += c;
            bytes += '\0';
        }
    }
    return bytes;
}

TEST(ZipWriterRoundTrip, LibzipReadsBackEveryEntry) {
    MemorySink sink;
    ZipWriter writer(sink);
    std::string large;
    for (int i = 0; i < 200000; ++i) {
        large += std::to_string(i * 2654435761u) + ";";
    }
    writer.beginEntry("xl/worksheets/sheet1.xml");
    for (std::size_t at = 0; at < large.size(); at += 7777) {
        writer.write(std::string_view(large).substr(at, 7777));
    }
    writer.endEntry();
    writer.addEntry("empty.txt", "");
    writer.addEntry("Données/été.xml", "<a>é</a>");
    EXPECT_THROW(writer.addEntry("EMPTY.TXT", "again"), SpreadsheetError);
    writer.finish();

    const auto first = ZipReader::OpenBytes(sink.bytes(), "written.zip");
    EXPECT_EQ(first->readWhole("xl/worksheets/sheet1.xml", kMaxWholePartBytes), large);
    EXPECT_EQ(first->readWhole("empty.txt", 10), "");
    EXPECT_EQ(first->readWhole("DONNéES/été.XML", 100), "<a>é</a>");

    // A raw copy keeps the compressed bytes and the checksum.
    MemorySink second;
    ZipWriter copier(second);
    copier.addRawEntry("copy.xml", *first, "xl/worksheets/sheet1.xml");
    copier.finish();
    const auto copied = ZipReader::OpenBytes(second.bytes(), "copy.zip");
    EXPECT_EQ(copied->readWhole("copy.xml", kMaxWholePartBytes), large);
    EXPECT_EQ(copied->info("copy.xml").crc, first->info("xl/worksheets/sheet1.xml").crc);
}

TEST(ZipReaderLimits, BombIsRefusedBeforeInflating) {
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
}

TEST(ZipReaderLimits, ChecksumMismatchIsReported) {
    MemorySink sink;
    ZipWriter writer(sink);
    writer.addEntry("a.xml", std::string(5000, 'a') + "distinctive tail");
    writer.finish();
    std::string bytes = sink.bytes();
    const auto at = bytes.find("a.xml") + 5; // first byte of the compressed data
    bytes[at + 3] = static_cast<char>(bytes[at + 3] ^ 0x55);
    const auto reader = ZipReader::OpenBytes(bytes, "flipped.xlsx");
    ExpectFailure([&] { reader->readWhole("a.xml", 100000); }, ErrorCode::CorruptEntry, {"a.xml"});
}

TEST(BadInput, EachKindGetsItsOwnDescription) {
    TempDir dir;
    const std::string workbook = [] {
        TempDir tmp;
        MiniWorkbook book;
        book.sheets = {{"Data"}};
        return readFile(WriteBook(tmp, "w.xlsx", book));
    }();
    struct Case {
        std::string name;
        std::string bytes;
        ErrorCode code;
        std::string words;
    };
    const std::vector<Case> cases = {
        {"random.xlsx", std::string("\x01\x02\x03\x04\xFF\xFE", 6), ErrorCode::NotAZip, "zip"},
        {"notes.xlsx", "name,amount\nx,1\n", ErrorCode::TextNotWorkbook, "text"},
        {"empty.xlsx", "", ErrorCode::NotAZip, "empty"},
        {"cut.xlsx", workbook.substr(0, workbook.size() / 2), ErrorCode::TruncatedPackage,
         "cut short"},
        {"Q3.xlsx", CompoundFile(true), ErrorCode::PasswordProtected, "password-protected"},
        {"old.xlsx", CompoundFile(false), ErrorCode::LegacyBinaryWorkbook, ".xls"},
    };
    for (const auto& c : cases) {
        const auto [code, description] = OpenFailure(dir, c.name, c.bytes);
        EXPECT_EQ(code, c.code) << c.name << ": " << description;
        EXPECT_NE(description.find("'" + c.name + "'"), std::string::npos) << description;
        EXPECT_NE(description.find(c.words), std::string::npos) << description;
    }
}

TEST(BadInput, PackagesThatAreNotUsableWorkbooks) {
    TempDir dir;
    MiniWorkbook book;
    book.sheets = {{"Data"}};
    const auto failure = [&](const std::function<void(PackageEntries&)>& change) {
        PackageEntries package = BuildPackage(book);
        change(package);
        package.write(dir / "case.xlsx");
        return OpenFailure(dir, "case.xlsx", readFile(dir / "case.xlsx"));
    };
    EXPECT_EQ(failure([](PackageEntries& p) {
                  p = PackageEntries();
                  p.set("hello.txt", "just a zip");
              }).first,
              ErrorCode::NotAWorkbook);
    EXPECT_EQ(failure([](PackageEntries& p) {
                  p.replaceOnce("[Content_Types].xml", "spreadsheetml.sheet.main+xml", "BINARY");
                  p.replaceOnce("[Content_Types].xml",
                                "application/vnd.openxmlformats-officedocument.BINARY",
                                "application/vnd.ms-excel.sheet.binary.macroEnabled.main");
              }).first,
              ErrorCode::BinaryWorkbook);
    const auto missing = failure([](PackageEntries& p) { p.remove("xl/worksheets/sheet1.xml"); });
    EXPECT_EQ(missing.first, ErrorCode::MissingPart);
    EXPECT_NE(missing.second.find("xl/worksheets/sheet1.xml"), std::string::npos);
    const auto doctype = failure([](PackageEntries& p) {
        p.replaceOnce("xl/workbook.xml", "<?xml version=\"1.0\"?>",
                      "<?xml version=\"1.0\"?><!DOCTYPE lol [<!ENTITY lol \"lol\">]>");
    });
    EXPECT_EQ(doctype.first, ErrorCode::XmlDeclarationsRefused);
    EXPECT_NE(doctype.second.find("xl/workbook.xml"), std::string::npos);
}

TEST(InputDetection, JudgesTheFirstBytes) {
    EXPECT_EQ(DetectFormat(std::string("PK\x03\x04rest", 8)), FileFormat::ZipPackage);
    EXPECT_EQ(DetectFormat(CompoundFile(true)), FileFormat::EncryptedPackage);
    EXPECT_EQ(DetectFormat(CompoundFile(false)), FileFormat::LegacyBinary);
    EXPECT_EQ(DetectFormat("<html><body>table</body></html>"), FileFormat::Text);
    EXPECT_EQ(DetectFormat(std::string("\x00\x01\x02", 3)), FileFormat::Unknown);
    EXPECT_EQ(DetectFormat(""), FileFormat::Empty);
}

TEST(XmlParsing, RefusesDeclarationsAndKeepsEscapes) {
    const auto code = [](std::string_view xml) {
        try {
            ParseXmlTree(xml, "f.xlsx", "part.xml");
        } catch (const SpreadsheetError& error) {
            return error.code();
        }
        return ErrorCode::Internal;
    };
    EXPECT_EQ(code("<!DOCTYPE a SYSTEM \"http://example.invalid/a.dtd\"><a/>"),
              ErrorCode::XmlDeclarationsRefused);
    EXPECT_EQ(code("<?xml version=\"1.0\"?><!DOCTYPE a [<!ENTITY x \"y\">]><a>&x;</a>"),
              ErrorCode::XmlDeclarationsRefused);
    EXPECT_EQ(code("<a><b></a>"), ErrorCode::MalformedXml);
    std::string nested;
    for (int i = 0; i < kMaxXmlDepth + 5; ++i) {
        nested += "<a>";
    }
    EXPECT_EQ(code(nested), ErrorCode::MalformedXml);
    // Values survive a parse and a write unchanged, including characters that need escaping.
    const XmlNode node = ParseXmlTree(
        "<r a=\"x&#10;y&#9;&quot;&lt;\"><t xml:space=\"preserve\"> a&amp;b&#13; _x000D_ </t></r>",
        "f.xlsx", "p.xml");
    const XmlNode again = ParseXmlTree(SerializeNode(node), "f.xlsx", "p.xml");
    EXPECT_EQ(*again.attribute("a"), "x\ny\t\"<");
    EXPECT_EQ(again.child("t")->textContent(), " a&b\r _x000D_ ");
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

TEST(ContentTypes, OverrideBeforeDefaultWithoutRegardToCase) {
    const ContentTypes types = ContentTypes::Parse(
        "<Types xmlns=\"http://schemas.openxmlformats.org/package/2006/content-types\">"
        "<Default Extension=\"XML\" ContentType=\"application/xml\"/><Default Extension=\"png\""
        " ContentType=\"image/png\"/><Override PartName=\"/xl/Workbook.xml\" ContentType=\"wb\"/>"
        "</Types>",
        "f.xlsx");
    EXPECT_EQ(types.typeOf("xl/workbook.xml"), "wb");
    EXPECT_EQ(types.typeOf("/xl/other.xml"), "application/xml");
    EXPECT_EQ(types.typeOf("xl/media/image1.PNG"), "image/png");
    EXPECT_EQ(types.typeOf("xl/printerSettings/p.bin"), "");
    EXPECT_EQ(TransitionalUri("http://purl.oclc.org/ooxml/spreadsheetml/main"),
              "http://schemas.openxmlformats.org/spreadsheetml/2006/main");
    EXPECT_EQ(TransitionalUri("http://purl.oclc.org/ooxml/officeDocument/relationships/table"),
              "http://schemas.openxmlformats.org/officeDocument/2006/relationships/table");
}

} // namespace
} // namespace quillory::testing
