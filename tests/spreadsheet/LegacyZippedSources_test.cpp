// Zipped .xlsb and .ods sources are looked into before LibreOffice converts them: a damaged one
// would otherwise come back as an empty sheet and be merged as if it were the workbook.

#include "spreadsheet/SpreadsheetError.h"
#include "spreadsheet/legacy/LegacyConverter.h"
#include "spreadsheet/ooxml/package/OutputSink.h"
#include "spreadsheet/ooxml/package/ZipWriter.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>
#include <map>

namespace quillory::spreadsheet::legacy {
namespace {

namespace fs = std::filesystem;
using quillory::testing::TempDir;

using Entries = std::map<std::string, std::string>;

std::string zipOf(const Entries& entries) {
    ooxml::MemorySink sink;
    ooxml::ZipWriter zip(sink);
    for (const auto& [name, bytes] : entries) {
        zip.addEntry(name, bytes);
    }
    zip.finish();
    return sink.bytes();
}

std::string utf16(const std::string& ascii) {
    std::string bytes;
    for (const char c : ascii) {
        bytes += c;
        bytes += '\0';
    }
    return bytes;
}

std::string u32(std::uint32_t value) {
    return {static_cast<char>(value & 0xFF), static_cast<char>((value >> 8) & 0xFF),
            static_cast<char>((value >> 16) & 0xFF), static_cast<char>(value >> 24)};
}

// Begin book, the sheet list with one sheet record (relationship id and name), end book.
std::string binaryWorkbookPart() {
    const std::string sheet = u32(0) + u32(1) + u32(4) + utf16("rId1") + u32(6) + utf16("Sheet1");
    return std::string("\x83\x01\x00\x8F\x01\x00", 6) + "\x9C\x01" +
           static_cast<char>(sheet.size()) + sheet + std::string("\x90\x01\x00\x84\x01\x00", 6);
}

std::string contentTypes(const std::string& workbookPart, const std::string& type) {
    return "<?xml version=\"1.0\"?><Types "
           "xmlns=\"http://schemas.openxmlformats.org/package/2006/content-types\">"
           "<Default Extension=\"rels\" "
           "ContentType=\"application/vnd.openxmlformats-package.relationships+xml\"/>"
           "<Override PartName=\"/" +
           workbookPart + "\" ContentType=\"" + type + "\"/></Types>";
}

std::string packageRelationships(const std::string& workbookPart) {
    return "<?xml version=\"1.0\"?><Relationships "
           "xmlns=\"http://schemas.openxmlformats.org/package/2006/relationships\">"
           "<Relationship Id=\"rId1\" Type=\"http://schemas.openxmlformats.org/officeDocument/"
           "2006/relationships/officeDocument\" Target=\"" +
           workbookPart + "\"/></Relationships>";
}

constexpr const char* kBinaryType = "application/vnd.ms-excel.sheet.binary.macroEnabled.main";

Entries binaryWorkbook(const std::string& part, const std::string& bytes,
                       const std::string& type = kBinaryType) {
    return {{"[Content_Types].xml", contentTypes(part, type)},
            {"_rels/.rels", packageRelationships(part)},
            {part, bytes}};
}

Entries openDocument(const std::string& mimetype) {
    return {{"mimetype", mimetype},
            {"content.xml", "<?xml version=\"1.0\"?><office:document-content/>"},
            {"META-INF/manifest.xml", "<?xml version=\"1.0\"?><manifest:manifest/>"}};
}

struct ZippedSources : ::testing::Test {
    TempDir sources;
    TempDir temporaryRoot;
    TempDir tools;
    // Stands in for LibreOffice: it leaves a mark and converts nothing, so a source that passes
    // the check fails afterwards with ConversionFailed, and one refused before never leaves the
    // mark.
    fs::path converter = [this] {
        const fs::path file =
            tools.write("convert.sh", "#!/bin/sh\ntouch '" + (tools / "ran").string() + "'\n");
        fs::permissions(file, fs::perms::owner_all);
        return file;
    }();

    SpreadsheetError failureOf(const std::string& name, const std::string& bytes) {
        const fs::path source = sources.write(name, bytes);
        fs::remove(tools / "ran");
        LegacyConverter legacy(
            ConverterOptions{converter, std::chrono::seconds(60), temporaryRoot.path()});
        try {
            legacy.Convert(source);
        } catch (const SpreadsheetError& error) {
            EXPECT_NE(error.description().find(name), std::string::npos) << error.description();
            return error;
        }
        ADD_FAILURE() << name << " was converted";
        return SpreadsheetError(ErrorCode::Internal, "");
    }
    bool converterRan() const { return fs::exists(tools / "ran"); }
};

TEST_F(ZippedSources, DamagedBinaryWorkbooksAreRefusedBeforeConversion) {
    // Only the begin-book record: what LibreOffice turns into an empty "Sheet1".
    SpreadsheetError error =
        failureOf("stub.xlsb", zipOf(binaryWorkbook("xl/workbook.bin", "\x83\x01\x00")));
    EXPECT_EQ(error.code(), ErrorCode::DamagedLegacyWorkbook);
    EXPECT_NE(error.description().find("xl/workbook.bin"), std::string::npos);
    EXPECT_FALSE(converterRan());

    std::string scrambled = binaryWorkbookPart();
    scrambled[0] = '\x01';
    EXPECT_EQ(
        failureOf("scrambled.xlsb", zipOf(binaryWorkbook("xl/workbook.bin", scrambled))).code(),
        ErrorCode::DamagedLegacyWorkbook);

    Entries missing = binaryWorkbook("xl/workbook.bin", binaryWorkbookPart());
    missing.erase("xl/workbook.bin");
    EXPECT_EQ(failureOf("missing.xlsb", zipOf(missing)).code(), ErrorCode::DamagedLegacyWorkbook);

    EXPECT_EQ(failureOf("xml-inside.xlsb",
                        zipOf(binaryWorkbook("xl/workbook.xml", binaryWorkbookPart(),
                                             "application/vnd.openxmlformats-officedocument."
                                             "spreadsheetml.sheet.main+xml")))
                  .code(),
              ErrorCode::NotAWorkbook);

    const std::string whole = zipOf(binaryWorkbook("xl/workbook.bin", binaryWorkbookPart()));
    const SpreadsheetError cut = failureOf("cut.xlsb", whole.substr(0, whole.size() - 30));
    EXPECT_NE(cut.code(), ErrorCode::ConversionFailed) << cut.description();
    EXPECT_FALSE(converterRan());
}

TEST_F(ZippedSources, SoundBinaryWorkbooksGoToTheConverter) {
    // The workbook part is found through the package relationships, wherever it lies.
    EXPECT_EQ(
        failureOf("sound.xlsb", zipOf(binaryWorkbook("xl/book.bin", binaryWorkbookPart()))).code(),
        ErrorCode::ConversionFailed);
    EXPECT_TRUE(converterRan());
}

TEST_F(ZippedSources, OpenDocumentSourcesMustBeSpreadsheetsWithContent) {
    const SpreadsheetError letter =
        failureOf("letter.ods", zipOf(openDocument("application/vnd.oasis.opendocument.text")));
    EXPECT_EQ(letter.code(), ErrorCode::NotAWorkbook);
    EXPECT_NE(letter.description().find("opendocument.text"), std::string::npos);

    Entries empty = openDocument("application/vnd.oasis.opendocument.spreadsheet");
    empty.erase("content.xml");
    EXPECT_EQ(failureOf("empty.ods", zipOf(empty)).code(), ErrorCode::DamagedLegacyWorkbook);

    Entries plainZip = openDocument("");
    plainZip.erase("mimetype");
    EXPECT_EQ(failureOf("archive.ods", zipOf(plainZip)).code(), ErrorCode::NotAWorkbook);
    EXPECT_FALSE(converterRan());

    EXPECT_EQ(failureOf("sound.ods",
                        zipOf(openDocument("application/vnd.oasis.opendocument.spreadsheet")))
                  .code(),
              ErrorCode::ConversionFailed);
    EXPECT_TRUE(converterRan());
}

} // namespace
} // namespace quillory::spreadsheet::legacy
