// Reading legacy workbooks built record by record: the compound file around the workbook data,
// the sheets' kinds, visibility and names in every encoding the format allows, their formats,
// and each kind of bad input with its own description.

#include "spreadsheet/LegacyTestFiles.h"
#include "spreadsheet/SpreadsheetError.h"
#include "spreadsheet/legacy/CompoundFile.h"
#include "spreadsheet/legacy/LegacyFormats.h"
#include "spreadsheet/legacy/LegacyWorkbookListing.h"
#include "support/ExpectFailure.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>
#include <random>

namespace quillory::spreadsheet::legacy {
namespace {

using namespace testing::legacy;
using quillory::testing::ExpectFailure;
using quillory::testing::TempDir;

LegacyWorkbookListing listBytes(const std::string& bytes) {
    return ListLegacyWorkbook(std::make_unique<MemoryByteSource>(bytes), "\"book.xls\"");
}

std::string inContainer(const std::string& stream, const std::string& name = "Workbook") {
    CompoundFileBuilder builder;
    builder.addStream(name, stream);
    return builder.build();
}

// A workbook stream large enough for sectors of its own (the other tests' small ones live in the
// mini stream).
TEST(LegacyListing, ListsEveryKindAndVisibilityInTabOrder) {
    TestSheet dialog = sheetNamed("Dialog1");
    dialog.dialog = true;
    const std::string file =
        biff8Workbook({sheetNamed("Data"), sheetNamed("Chart1", 2), sheetNamed("Macro1", 1),
                       sheetNamed("Module1", 6), dialog, sheetNamed("Hidden", 0, 1),
                       sheetNamed("VeryHidden", 0, 2)},
                      {.fillerBytes = 20000});
    const LegacyWorkbookListing listing = listBytes(file);
    EXPECT_EQ(listing.version, BiffVersion::Biff8);
    using enum LegacySheetKind;
    const std::pair<std::string, LegacySheetKind> sheets[] = {
        {"Data", Worksheet},      {"Chart1", ChartSheet},
        {"Macro1", MacroSheet},   {"Module1", VisualBasicModule},
        {"Dialog1", DialogSheet}, {"Hidden", Worksheet},
        {"VeryHidden", Worksheet}};
    ASSERT_EQ(listing.sheets.size(), std::size(sheets));
    for (std::size_t i = 0; i < std::size(sheets); ++i) {
        EXPECT_EQ(listing.sheets[i].name, sheets[i].first);
        EXPECT_EQ(listing.sheets[i].kind, sheets[i].second) << sheets[i].first;
    }
    EXPECT_EQ(listing.sheets[0].visibility, SheetVisibility::Visible);
    EXPECT_EQ(listing.sheets[5].visibility, SheetVisibility::Hidden);
    EXPECT_EQ(listing.sheets[6].visibility, SheetVisibility::VeryHidden);
    EXPECT_EQ(listing.WorksheetNames(), (std::vector<std::string>{"Data", "Hidden", "VeryHidden"}));
    EXPECT_EQ(ToSheetKind(LegacySheetKind::DialogSheet), SheetKind::DialogSheet);
    EXPECT_EQ(ToSheetKind(LegacySheetKind::VisualBasicModule), std::nullopt);
}

TEST(LegacyListing, Biff8NamesInCompressedAndWideCharactersFromTheBiff8Stream) {
    const LegacyWorkbookListing listing =
        listBytes(biff8Workbook({sheetNamed("Caf\xE9 \xA3"), wideSheetNamed(u"Данные"),
                                 wideSheetNamed(u"表1"), wideSheetNamed(u"Smile \U0001F600"),
                                 wideSheetNamed(std::u16string(u"Bad ") + char16_t(0xD800))}));
    EXPECT_EQ(listing.WorksheetNames(),
              (std::vector<std::string>{"Café £", "Данные", "表1", "Smile 😀", "Bad \xEF\xBF\xBD"}));
    // With both, the Biff8 stream is read; a bare workbook stream is read too.
    CompoundFileBuilder dual;
    dual.addStream("Book", workbookStream({sheetNamed("Old")}, {.version = kBiff5}));
    dual.addStream("Workbook", workbookStream({sheetNamed("New")}));
    EXPECT_EQ(listBytes(dual.build()).WorksheetNames(), std::vector<std::string>{"New"});
    EXPECT_EQ(listBytes(workbookStream({sheetNamed("Loose")})).WorksheetNames(),
              std::vector<std::string>{"Loose"});
}

TEST(LegacyListing, Biff5NamesInTheWorkbooksCodePage) {
    auto biff5 = [](const std::vector<TestSheet>& sheets, int codePage) {
        return inContainer(workbookStream(sheets, {.version = kBiff5, .codePage = codePage}),
                           "Book");
    };
    const LegacyWorkbookListing western =
        listBytes(biff5({sheetNamed("\x80uro Caf\xE9"), sheetNamed("Stra\xDF"
                                                                   "e \x93q\x94")},
                        1252));
    EXPECT_EQ(western.version, BiffVersion::Biff5);
    EXPECT_EQ(western.codePage, 1252);
    EXPECT_EQ(western.WorksheetNames(), (std::vector<std::string>{"€uro Café", "Straße “q”"}));
    // Without a CODEPAGE record the Western code page applies.
    EXPECT_EQ(listBytes(biff5({sheetNamed("Caf\xE9")}, -1)).WorksheetNames(),
              std::vector<std::string>{"Café"});
    EXPECT_EQ(listBytes(biff5({sheetNamed("\xC4\xE0\xED\xED\xFB\xE5")}, 1251)).WorksheetNames(),
              std::vector<std::string>{"Данные"});
    EXPECT_EQ(listBytes(biff5({sheetNamed("\x8A\xE8")}, 1250)).WorksheetNames(),
              std::vector<std::string>{"Šč"});
    EXPECT_EQ(listBytes(biff5({sheetNamed("\x95\x5C")}, 932)).WorksheetNames(),
              std::vector<std::string>{"表"});
}

// Each kind of bad input, written to a file of its name: its own code and words, naming the file.
TEST(LegacyListing, EachKindOfBadInputGetsItsOwnDescription) {
    using enum ErrorCode;
    const std::string whole = workbookStream({sheetNamed("Data")});
    CompoundFileBuilder encrypted;
    encrypted.addStream("EncryptionInfo", std::string(200, '\x04'));
    encrypted.addStream("EncryptedPackage", std::string(5000, '\x11'));
    const BadFile cases[] = {
        {"outside.xls", biff8Workbook({sheetNamed("Data")}, {.positionShift = 1000000}),
         DamagedLegacyWorkbook, "points outside the workbook data for sheet \"Data\""},
        {"misplaced.xls", biff8Workbook({sheetNamed("Data")}, {.positionShift = 4}),
         DamagedLegacyWorkbook, "does not start where"},
        {"cut.xls", inContainer(whole.substr(0, 30)), DamagedLegacyWorkbook, "runs past the end"},
        {"nosheets.xls", inContainer(bof(kBiff8, 5) + eof()), DamagedLegacyWorkbook, "no sheets"},
        {"notglobals.xls", inContainer(bof(kBiff8, 0x10) + eof()), DamagedLegacyWorkbook,
         "global part"},
        {"nobof.xls", inContainer(record(0x0042, u16(1252))), DamagedLegacyWorkbook,
         "beginning-of-file"},
        // A name longer than its record.
        {"longname.xls",
         inContainer(bof(kBiff8, 5) + record(0x0085, u32(0) + std::string("\0\0\x40\0ab", 6)) +
                     eof()),
         DamagedLegacyWorkbook, "sheet name"},
        {"unnamed.xls", biff8Workbook({sheetNamed("")}), DamagedLegacyWorkbook, "no name"},
        {"kind.xls", biff8Workbook({sheetNamed("X", 9)}), DamagedLegacyWorkbook, "unknown type 9"},
        {"codepage.xls",
         inContainer(workbookStream({sheetNamed("\xE9t\xE9")}, {.version = kBiff5, .codePage = 1}),
                     "Book"),
         UnsupportedPackage, "code page 1"},
        {"secret.xls", biff8Workbook({sheetNamed("Data")}, {.filePass = true}), PasswordProtected,
         "password"},
        {"secret.xlsx", encrypted.build(), PasswordProtected, "password"},
        {"old4.xls", record(0x0409, u16(0) + u16(0x0100)) + eof(), LegacyVersionUnsupported,
         "Excel 4.0"},
        {"old2.xls", record(0x0009, u16(0) + u16(0x0010)) + eof(), LegacyVersionUnsupported,
         "Excel 2.x"},
        {"old3.xls", inContainer(record(0x0209, u16(0) + u16(0x0010)) + eof(), "Book"),
         LegacyVersionUnsupported, "Excel 3.0"},
        {"export.xls", "Name;Amount\r\nApples;3\r\n", TextNotWorkbook, "text file"},
        {"tabs.xls", "\xEF\xBB\xBFName\tAmount\nPears\t4\n", TextNotWorkbook, "text file"},
        {"report.xls", "\r\n  <HTML><body><TABLE><tr><td>1</td></tr>", TextNotWorkbook, "web page"},
        {"fragment.xls", "<table border=1><tr><td>x</td></tr></table>", TextNotWorkbook,
         "web page"},
        {"unicode.xls", "\xFF\xFE" + utf16(u"<html><body>x</body></html>"), TextNotWorkbook,
         "web page"},
        {"xml2003.xls",
         "<?xml version=\"1.0\"?>\n<Workbook "
         "xmlns=\"urn:schemas-microsoft-com:office:spreadsheet\"></Workbook>",
         TextNotWorkbook, "XML format of 2003"},
        {"empty.xls", "", NotAWorkbook, "empty"},
        {"noise.xls", std::string("\x01\x02\x00\xFF\xFE\x00\x07", 7), NotAWorkbook,
         "not a workbook"},
        {"letter.xls", inContainer(std::string(600, 'w'), "WordDocument"), NotAWorkbook,
         "word-processing"},
        {"other.xls", inContainer("x", "Contents"), NotAWorkbook, "no workbook data"},
    };
    TempDir folder;
    for (const BadFile& bad : cases) {
        SCOPED_TRACE(bad.name);
        const auto file = folder.write(bad.name, bad.bytes);
        ExpectFailure([&] { ListLegacyWorkbook(file); }, bad.code,
                      {bad.words, "\"" + bad.name + "\""});
    }
    ExpectFailure([] { ListLegacyWorkbook("/nonexistent/folder/gone.xls"); },
                  ErrorCode::FileNotFound, {"\"gone.xls\""});
}

// FONT record: height, options, colour, weight, escapement, underline kind, family, character
// set, reserved, then the name (BIFF8: length, wide flag, characters).
std::string fontRecord(const std::string& nameBytes, bool wide, std::uint8_t underline) {
    std::string data = u16(200) + u16(0) + u16(0x7FFF) + u16(400) + u16(0);
    data += std::string{static_cast<char>(underline), 0, 0, 0};
    data.push_back(static_cast<char>(wide ? nameBytes.size() / 2 : nameBytes.size()));
    data.push_back(wide ? '\x01' : '\x00');
    return record(0x0031, data + nameBytes);
}

// XF record (BIFF8, 20 bytes): font index, format, options, alignment (bits 0-2 horizontal),
// ..., fill pattern (bits 26-31 at 14), fill colour (bits 0-6 at 18).
std::string xfRecord(std::uint16_t font, std::uint8_t horizontal = 0, std::uint16_t format = 0,
                     std::uint8_t fillColour = 0) {
    std::string data = u16(font) + u16(format) + u16(0);
    data.push_back(static_cast<char>(horizontal));
    data += std::string(7, '\0') + u32(fillColour != 0 ? 1u << 26 : 0) + u16(fillColour);
    return record(0x00E0, data);
}

std::string rowRecord(std::uint16_t row, std::uint16_t height, std::uint32_t options) {
    return record(0x0208, u16(row) + u16(0) + u16(3) + u16(height) + u32(0) + u32(options));
}

TEST(LegacyFormats, FontsFormatsRowsAndCellFormatsAreReadFromTheRecords) {
    std::string fonts;
    for (int i = 0; i < 4; ++i) {
        fonts += fontRecord("Arial", false, 0);
    }
    fonts += fontRecord("\x19\x6A\x77\x69\xD4\x9A", true, 0x21); // 標楷體, single accounting
    const std::string format = record(0x041E, u16(59) + u16(11) + '\0' + "mmm d, yyyy");
    // Shared strings: plain; rich, its characters continued wide and its runs split between two
    // CONTINUE records; a run past its text; one cut short by the end of the records.
    const std::string strings =
        record(0x00FC, u32(4) + u32(4) + u16(1) + '\0' + 'x' + u16(4) + '\x08' + u16(2) + "ab") +
        record(0x003C, std::string("\x01\x19\x6A\x77\x69", 5) + u16(0) + u16(5)) +
        record(0x003C, u16(2) + u16(5) + u16(1) + '\x08' + u16(1) + 'z' + u16(3) + u16(5) + u16(5) +
                           '\x08' + u16(1) + "ab");
    TestSheet sheet = sheetNamed("Data");
    sheet.records = record(0x0225, u16(0) + u16(255)) + rowRecord(0, 300, 0x40) +
                    rowRecord(1, 0x8000 | 255, 0) +
                    record(0x0203, u16(0) + u16(2) + u16(1) + std::string(8, '\0')) +
                    record(0x00BE, u16(1) + u16(0) + u16(1) + u16(0) + u16(2) + u16(2)) +
                    record(0x00E5, u16(1) + u16(0) + u16(0) + u16(0) + u16(1));
    const std::uint32_t stringOfColumn[] = {1, 0, 2}; // the rich string, plain, run past
    for (std::uint16_t column = 0; column < 3; ++column) {
        sheet.records +=
            record(0x00FD, u16(2) + u16(column) + u16(0) + u32(stringOfColumn[column]));
    }
    sheet.records +=
        record(0x00D6, u16(3) + u16(0) + u16(0) + u16(2) + '\0' + "hi" + u16(1) + u16(1) + u16(5));
    TempDir folder;
    const auto path = folder.write(
        "formats.xls",
        biff8Workbook({sheet}, {.globalRecords = fonts + format + strings + xfRecord(0) +
                                                 xfRecord(5, 6, 59, 65) + xfRecord(9)}));
    const LegacyWorkbookFormats formats = ReadLegacyWorkbookFormats(path);
    ASSERT_EQ(formats.xfs.size(), 3u);
    ASSERT_EQ(formats.worksheets.size(), 1u);
    const LegacyFont* east = formats.fontOf(formats.xfs[1]);
    ASSERT_NE(east, nullptr);
    EXPECT_EQ(east->name, "標楷體");
    EXPECT_EQ(east->underline, LegacyUnderline::SingleAccounting);
    EXPECT_EQ(formats.xfs[1].horizontalAlignment, kLegacyAlignCenterAcross);
    EXPECT_EQ(formats.xfs[1].fillPattern, kLegacySolidFill);
    EXPECT_EQ(formats.xfs[1].fillForeground, kLegacySystemBackground);
    EXPECT_EQ(formats.numberFormats.at(formats.xfs[1].formatIndex), "mmm d, yyyy");
    EXPECT_EQ(formats.fontOf(formats.xfs[2]), nullptr); // past the font table: left as converted
    const LegacySheetFormats& data = formats.worksheets[0];
    EXPECT_EQ(data.defaultRowHeightTwips, 255);
    EXPECT_EQ(data.rows.at(0).heightTwips, 300);
    EXPECT_TRUE(data.rows.at(0).customHeight);
    EXPECT_TRUE(data.rows.at(1).defaultHeight);
    EXPECT_EQ(data.xfs.at(LegacySheetFormats::CellKey(0, 2)), 1);
    EXPECT_EQ(data.xfs.at(LegacySheetFormats::CellKey(1, 0)), 1);
    EXPECT_EQ(data.xfs.at(LegacySheetFormats::CellKey(1, 1)), 0);
    EXPECT_EQ(data.xfs.at(LegacySheetFormats::CellKey(1, 2)), 2);
    ASSERT_EQ(data.merged.size(), 1u);
    EXPECT_EQ(data.merged[0].lastColumn, 1);
    using Runs = std::vector<std::pair<std::uint16_t, std::uint16_t>>;
    ASSERT_EQ(formats.richStrings.count(1), 1u);
    EXPECT_EQ(formats.richStrings.at(1).text, u"ab標楷");
    EXPECT_EQ(formats.richStrings.at(1).runs, (Runs{{0, 5}, {2, 5}}));
    EXPECT_EQ(data.richStrings.at(LegacySheetFormats::CellKey(2, 0)), 1u);
    EXPECT_EQ(data.richStrings.count(LegacySheetFormats::CellKey(2, 1)), 0u);
    EXPECT_EQ(data.richStrings.count(LegacySheetFormats::CellKey(2, 2)), 0u);
    const LegacyRichString& inCell =
        formats.richStrings.at(data.richStrings.at(LegacySheetFormats::CellKey(3, 0)));
    EXPECT_EQ(inCell.text, u"hi");
    EXPECT_EQ(inCell.runs, (Runs{{1, 5}}));
    EXPECT_EQ(formats.richStrings.size(), 2u); // neither the run past its text nor the cut one

    // Damage anywhere in the records: a reading or an error that names the file, nothing else.
    const std::string stream = workbookStream(
        {sheet}, {.globalRecords = fonts + format + strings + xfRecord(5, 6, 59, 65)});
    int read = 0;
    int refused = 0;
    for (unsigned seed = 1; seed <= 300; ++seed) {
        std::mt19937 random(seed);
        std::string damaged = stream;
        for (int i = 0; i < 4; ++i) {
            damaged[random() % damaged.size()] = static_cast<char>(random() & 0xFF);
        }
        try {
            ReadLegacyWorkbookFormats(folder.write("damaged.xls", inContainer(damaged)));
            ++read;
        } catch (const SpreadsheetError& error) {
            EXPECT_NE(error.description().find("\"damaged.xls\""), std::string::npos);
            ++refused;
        }
    }
    EXPECT_GT(read, 0);
    EXPECT_GT(refused, 0);

    // A cell record that runs past the end of the workbook data.
    std::string cut = workbookStream({sheet}, {.globalRecords = fonts});
    cut.resize(cut.size() - 4);
    cut += u16(0x0203) + u16(200);
    const auto cutFile = folder.write("cut.xls", inContainer(cut));
    ExpectFailure([&] { ReadLegacyWorkbookFormats(cutFile); }, ErrorCode::DamagedLegacyWorkbook,
                  {"runs past the end"});
}

// The compound-file reader on files that are whole, cut short, or damaged on purpose: whole files
// read back exactly; broken ones end in a SpreadsheetError that names the file, never in a hang
// or a crash.

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

void readEveryStream(const std::string& bytes) {
    const CompoundFile file = open(bytes);
    for (const DirectoryEntry& entry : file.rootChildren()) {
        if (entry.type == EntryType::Stream) {
            const CompoundStream stream = file.openStream(entry);
            stream.read(0, static_cast<std::size_t>(stream.size()));
        }
    }
}

std::optional<SpreadsheetError> failureOf(const std::string& bytes) {
    try {
        readEveryStream(bytes);
    } catch (const SpreadsheetError& error) {
        return error;
    }
    return std::nullopt;
}

std::size_t fatEntry(std::uint32_t sector) {
    return CompoundFileBuilder::sectorOffset(0) + 4 * sector;
}

TEST(LegacyCompoundFile, ReadsRegularMiniAndEmptyStreamsByNameInAnyCase) {
    const Sample sample;
    const CompoundFile file = open(sample.file);
    EXPECT_EQ(readWhole(file, "big"), sample.big);
    EXPECT_EQ(readWhole(file, "SMALL"), sample.small);
    EXPECT_EQ(readWhole(file, "Tiny"), sample.tiny);
    EXPECT_EQ(readWhole(file, "Empty"), "");
    EXPECT_EQ(file.findRootStream("Missing"), nullptr);
}

TEST(LegacyCompoundFile, EveryCutShortCopyFailsCleanlyUntilTheDataIsWhole) {
    const Sample sample;
    const std::size_t dataEnd =
        CompoundFileBuilder::sectorOffset(sample.layout.firstSector.at("Big")) + sample.big.size();
    for (std::size_t length = 0; length < sample.file.size(); length += 37) {
        SCOPED_TRACE("cut to " + std::to_string(length) + " bytes");
        const std::optional<SpreadsheetError> failure = failureOf(sample.file.substr(0, length));
        // Once only the padding of the last sector is missing, everything reads.
        ASSERT_EQ(failure.has_value(), length < dataEnd) << (failure ? failure->description() : "");
        if (failure) {
            EXPECT_TRUE(failure->code() == ErrorCode::TruncatedPackage ||
                        failure->code() == ErrorCode::DamagedLegacyWorkbook)
                << failure->description();
            EXPECT_NE(failure->description().find(kName), std::string::npos);
        }
    }
    ExpectFailure([&] { readEveryStream(sample.file.substr(0, 300)); }, ErrorCode::TruncatedPackage,
                  {kName, "shorter than its header"});
}

TEST(LegacyCompoundFile, EachKindOfDamageIsReportedNotFollowed) {
    using enum ErrorCode;
    const Sample sample;
    const std::uint32_t big = sample.layout.firstSector.at("Big");
    const std::uint32_t directory = sample.layout.firstDirectorySector;
    const auto entry = [&](const char* name) { return sample.layout.entryOffset.at(name); };
    const struct {
        std::string what;
        std::size_t at; // where value is written, little-endian, in `bytes` bytes
        std::uint32_t value;
        ErrorCode code;
        std::string words;
        int bytes = 4;
    } cases[] = {
        {"stream loop", fatEntry(big + 5), big + 2, DamagedLegacyWorkbook, "loops back on itself"},
        {"self loop", fatEntry(big), big, DamagedLegacyWorkbook, "loops back on itself"},
        // The directory has no size of its own: only the loop check ends it.
        {"directory loop", fatEntry(directory), directory, DamagedLegacyWorkbook, "directory"},
        {"past the end", fatEntry(big), 1000000, TruncatedPackage, "past the end of the file"},
        {"broken chain", fatEntry(big + 3), kFreeSector, DamagedLegacyWorkbook, "is broken"},
        {"short chain", fatEntry(big + 3), kEndOfChain, DamagedLegacyWorkbook,
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
        {"mini sector shift", 32, 7, DamagedLegacyWorkbook, "mini sector size", 1},
        {"table sector outside", 76, 5000, TruncatedPackage, "sector 5000 lies past the end"},
        {"huge table", 44, 0xFFFFFFFF, DamagedLegacyWorkbook, "allocation table claims"},
        {"table larger than the file", 44, 1000, TruncatedPackage, "larger than the file"},
    };
    for (const auto& damage : cases) {
        std::string damaged = sample.file;
        for (int k = 0; k < damage.bytes; ++k) {
            damaged[damage.at + k] = static_cast<char>((damage.value >> (8 * k)) & 0xFF);
        }
        SCOPED_TRACE(damage.what);
        ExpectFailure([&] { readEveryStream(damaged); }, damage.code, {kName, damage.words});
    }

    // A loop after the sectors the stream needs is never followed: the data reads whole.
    std::string loopAfterTheEnd = sample.file;
    putU32(loopAfterTheEnd, fatEntry(big + 19), big); // 10000 bytes span 20 sectors
    EXPECT_EQ(readWhole(open(loopAfterTheEnd), "Big"), sample.big);

    // A table longer than the header's list continues in DIFAT sectors; here they loop.
    std::string difatLoop = sample.file + std::string(420 * kSectorSize, '\0');
    putU32(difatLoop, 44, 400);
    putU32(difatLoop, 68, 1);
    putU32(difatLoop, 72, 5);
    putU32(difatLoop, CompoundFileBuilder::sectorOffset(1) + 508, 1);
    ExpectFailure([&] { readEveryStream(difatLoop); }, DamagedLegacyWorkbook, {kName, "loops"});
}

} // namespace
} // namespace quillory::spreadsheet::legacy
