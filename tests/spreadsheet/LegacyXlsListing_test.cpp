// Listing the sheets of legacy workbooks built record by record: kinds, visibility and names in
// every encoding the format allows, and each kind of bad input with its own description.

#include "spreadsheet/LegacyTestFiles.h"
#include "spreadsheet/SpreadsheetError.h"
#include "spreadsheet/legacy/LegacyWorkbookListing.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

namespace quillory::spreadsheet::legacy {
namespace {

using namespace testing::legacy;
using quillory::testing::TempDir;

LegacyWorkbookListing listBytes(const std::string& bytes) {
    return ListLegacyWorkbook(std::make_unique<MemoryByteSource>(bytes), "\"book.xls\"");
}

std::vector<std::string> names(const LegacyWorkbookListing& listing) {
    std::vector<std::string> result;
    for (const LegacySheet& sheet : listing.sheets) {
        result.push_back(sheet.name);
    }
    return result;
}

// Writes the bytes to a file of that name and lists it; returns the failure.
SpreadsheetError failureListing(const std::string& fileName, const std::string& bytes) {
    TempDir folder;
    const auto file = folder.write(fileName, bytes);
    try {
        ListLegacyWorkbook(file);
    } catch (const SpreadsheetError& error) {
        EXPECT_NE(error.description().find("\"" + fileName + "\""), std::string::npos)
            << error.description();
        return error;
    }
    ADD_FAILURE() << fileName << " was listed";
    return SpreadsheetError(ErrorCode::Internal, "");
}

void expectDescription(const SpreadsheetError& error, ErrorCode code, const std::string& words) {
    EXPECT_EQ(error.code(), code) << error.description();
    EXPECT_NE(error.description().find(words), std::string::npos) << error.description();
}

class LegacyListingBothStorages : public ::testing::TestWithParam<std::size_t> {};

// Small workbook streams live in the mini stream, large ones in sectors of their own.
TEST_P(LegacyListingBothStorages, ListsEveryKindAndVisibilityInTabOrder) {
    TestSheet dialog = sheetNamed("Dialog1");
    dialog.dialog = true;
    const std::string file =
        biff8Workbook({sheetNamed("Data"), sheetNamed("Chart1", 2), sheetNamed("Macro1", 1),
                       sheetNamed("Module1", 6), dialog, sheetNamed("Hidden", 0, 1),
                       sheetNamed("VeryHidden", 0, 2)},
                      {.fillerBytes = GetParam()});
    const LegacyWorkbookListing listing = listBytes(file);
    EXPECT_EQ(listing.version, BiffVersion::Biff8);
    EXPECT_EQ(names(listing), (std::vector<std::string>{"Data", "Chart1", "Macro1", "Module1",
                                                        "Dialog1", "Hidden", "VeryHidden"}));
    const std::vector<LegacySheetKind> kinds = {
        LegacySheetKind::Worksheet,   LegacySheetKind::ChartSheet,
        LegacySheetKind::MacroSheet,  LegacySheetKind::VisualBasicModule,
        LegacySheetKind::DialogSheet, LegacySheetKind::Worksheet,
        LegacySheetKind::Worksheet};
    for (std::size_t i = 0; i < kinds.size(); ++i) {
        EXPECT_EQ(listing.sheets[i].kind, kinds[i]) << listing.sheets[i].name;
    }
    EXPECT_EQ(listing.sheets[0].visibility, SheetVisibility::Visible);
    EXPECT_EQ(listing.sheets[5].visibility, SheetVisibility::Hidden);
    EXPECT_EQ(listing.sheets[6].visibility, SheetVisibility::VeryHidden);
    EXPECT_EQ(listing.WorksheetNames(), (std::vector<std::string>{"Data", "Hidden", "VeryHidden"}));
    EXPECT_EQ(ToSheetKind(LegacySheetKind::DialogSheet), SheetKind::DialogSheet);
    EXPECT_EQ(ToSheetKind(LegacySheetKind::VisualBasicModule), std::nullopt);
}

INSTANTIATE_TEST_SUITE_P(MiniAndRegular, LegacyListingBothStorages,
                         ::testing::Values(std::size_t{0}, std::size_t{20000}));

TEST(LegacyListing, Biff8NamesInCompressedAndWideCharacters) {
    const LegacyWorkbookListing listing =
        listBytes(biff8Workbook({sheetNamed("Caf\xE9 \xA3"), wideSheetNamed(u"Данные"),
                                 wideSheetNamed(u"表1"), wideSheetNamed(u"Smile \U0001F600"),
                                 wideSheetNamed(std::u16string(u"Bad ") + char16_t(0xD800))}));
    EXPECT_EQ(names(listing),
              (std::vector<std::string>{"Café £", "Данные", "表1", "Smile 😀", "Bad \xEF\xBF\xBD"}));
}

TEST(LegacyListing, Biff5NamesInTheWorkbooksCodePage) {
    auto biff5 = [](const std::vector<TestSheet>& sheets, int codePage) {
        CompoundFileBuilder builder;
        builder.addStream("Book",
                          workbookStream(sheets, {.version = kBiff5, .codePage = codePage}));
        return builder.build();
    };
    const LegacyWorkbookListing western =
        listBytes(biff5({sheetNamed("\x80uro Caf\xE9"), sheetNamed("Stra\xDF"
                                                                   "e \x93q\x94")},
                        1252));
    EXPECT_EQ(western.version, BiffVersion::Biff5);
    EXPECT_EQ(western.codePage, 1252);
    EXPECT_EQ(names(western), (std::vector<std::string>{"€uro Café", "Straße “q”"}));
    // Without a CODEPAGE record the Western code page applies.
    EXPECT_EQ(names(listBytes(biff5({sheetNamed("Caf\xE9")}, -1))),
              std::vector<std::string>{"Café"});
    EXPECT_EQ(names(listBytes(biff5({sheetNamed("\xC4\xE0\xED\xED\xFB\xE5")}, 1251))),
              std::vector<std::string>{"Данные"});
    EXPECT_EQ(names(listBytes(biff5({sheetNamed("\x8A\xE8")}, 1250))),
              std::vector<std::string>{"Šč"});
    EXPECT_EQ(names(listBytes(biff5({sheetNamed("\x95\x5C")}, 932))),
              std::vector<std::string>{"表"});
    try {
        listBytes(biff5({sheetNamed("\xE9t\xE9")}, 1));
        ADD_FAILURE() << "an unknown code page was accepted";
    } catch (const SpreadsheetError& error) {
        expectDescription(error, ErrorCode::UnsupportedPackage, "code page 1");
    }
}

TEST(LegacyListing, PrefersTheBiff8StreamAndReadsABareWorkbookStream) {
    CompoundFileBuilder dual;
    dual.addStream("Book", workbookStream({sheetNamed("Old")}, {.version = kBiff5}));
    dual.addStream("Workbook", workbookStream({sheetNamed("New")}));
    EXPECT_EQ(names(listBytes(dual.build())), std::vector<std::string>{"New"});

    const LegacyWorkbookListing bare = listBytes(workbookStream({sheetNamed("Loose")}));
    EXPECT_EQ(names(bare), std::vector<std::string>{"Loose"});
}

TEST(LegacyListing, SheetRecordsPointingAwayFromTheirSheetAreDamage) {
    const auto outside = failureListing(
        "outside.xls", biff8Workbook({sheetNamed("Data")}, {.positionShift = 1000000}));
    expectDescription(outside, ErrorCode::DamagedLegacyWorkbook, "points outside");
    EXPECT_NE(outside.description().find("Data"), std::string::npos);

    const auto misplaced =
        failureListing("misplaced.xls", biff8Workbook({sheetNamed("Data")}, {.positionShift = 4}));
    expectDescription(misplaced, ErrorCode::DamagedLegacyWorkbook, "does not start where");
}

TEST(LegacyListing, DamagedWorkbookStreamsAreReported) {
    auto inContainer = [](const std::string& stream) {
        CompoundFileBuilder builder;
        builder.addStream("Workbook", stream);
        return builder.build();
    };
    const std::string whole = workbookStream({sheetNamed("Data")});
    expectDescription(failureListing("cut.xls", inContainer(whole.substr(0, 30))),
                      ErrorCode::DamagedLegacyWorkbook, "runs past the end");
    expectDescription(failureListing("nosheets.xls", inContainer(bof(kBiff8, 5) + eof())),
                      ErrorCode::DamagedLegacyWorkbook, "no sheets");
    expectDescription(failureListing("notglobals.xls", inContainer(bof(kBiff8, 0x10) + eof())),
                      ErrorCode::DamagedLegacyWorkbook, "global part");
    expectDescription(failureListing("nobof.xls", inContainer(record(0x0042, u16(1252)))),
                      ErrorCode::DamagedLegacyWorkbook, "beginning-of-file");
    // A name longer than its record.
    std::string longName = bof(kBiff8, 5) + record(0x0085, u32(0) + std::string("\0\0\x40\0ab", 6));
    expectDescription(failureListing("longname.xls", inContainer(longName + eof())),
                      ErrorCode::DamagedLegacyWorkbook, "sheet name");
    expectDescription(failureListing("unnamed.xls", biff8Workbook({sheetNamed("")})),
                      ErrorCode::DamagedLegacyWorkbook, "no name");
    expectDescription(failureListing("kind.xls", biff8Workbook({sheetNamed("X", 9)})),
                      ErrorCode::DamagedLegacyWorkbook, "unknown type 9");
}

TEST(LegacyListing, EncryptedWorkbooksAreReportedAsPasswordProtected) {
    expectDescription(
        failureListing("secret.xls", biff8Workbook({sheetNamed("Data")}, {.filePass = true})),
        ErrorCode::PasswordProtected, "password");
    CompoundFileBuilder package;
    package.addStream("EncryptionInfo", std::string(200, '\x04'));
    package.addStream("EncryptedPackage", std::string(5000, '\x11'));
    expectDescription(failureListing("secret.xlsx", package.build()), ErrorCode::PasswordProtected,
                      "password");
}

TEST(LegacyListing, FilesOlderThanExcel5GetTheirOwnDescription) {
    const std::string biff4 = record(0x0409, u16(0) + u16(0x0100)) + eof();
    expectDescription(failureListing("old4.xls", biff4), ErrorCode::LegacyVersionUnsupported,
                      "Excel 4.0");
    const std::string biff2 = record(0x0009, u16(0) + u16(0x0010)) + eof();
    expectDescription(failureListing("old2.xls", biff2), ErrorCode::LegacyVersionUnsupported,
                      "Excel 2.x");
    CompoundFileBuilder inContainer;
    inContainer.addStream("Book", record(0x0209, u16(0) + u16(0x0010)) + eof());
    expectDescription(failureListing("old3.xls", inContainer.build()),
                      ErrorCode::LegacyVersionUnsupported, "Excel 3.0");
}

TEST(LegacyListing, TextAndWebPagesSavedAsXlsSayWhatTheyAre) {
    expectDescription(failureListing("export.xls", "Name;Amount\r\nApples;3\r\n"),
                      ErrorCode::TextNotWorkbook, "text file");
    expectDescription(failureListing("tabs.xls", "\xEF\xBB\xBFName\tAmount\nPears\t4\n"),
                      ErrorCode::TextNotWorkbook, "text file");
    expectDescription(failureListing("report.xls", "\r\n  <HTML><body><TABLE><tr><td>1</td></tr>"),
                      ErrorCode::TextNotWorkbook, "web page");
    expectDescription(failureListing("fragment.xls", "<table border=1><tr><td>x</td></tr></table>"),
                      ErrorCode::TextNotWorkbook, "web page");
    std::string utf16Html = "\xFF\xFE";
    for (const char c : std::string("<html><body>x</body></html>")) {
        utf16Html += std::string(1, c) + '\0';
    }
    expectDescription(failureListing("unicode.xls", utf16Html), ErrorCode::TextNotWorkbook,
                      "web page");
    expectDescription(
        failureListing("xml2003.xls",
                       "<?xml version=\"1.0\"?>\n<Workbook "
                       "xmlns=\"urn:schemas-microsoft-com:office:spreadsheet\"></Workbook>"),
        ErrorCode::TextNotWorkbook, "XML format of 2003");
}

TEST(LegacyListing, OtherFilesThatAreNotWorkbooks) {
    expectDescription(failureListing("empty.xls", ""), ErrorCode::NotAWorkbook, "empty");
    expectDescription(failureListing("noise.xls", std::string("\x01\x02\x00\xFF\xFE\x00\x07", 7)),
                      ErrorCode::NotAWorkbook, "not a workbook");
    CompoundFileBuilder letter;
    letter.addStream("WordDocument", std::string(600, 'w'));
    expectDescription(failureListing("letter.xls", letter.build()), ErrorCode::NotAWorkbook,
                      "word-processing");
    CompoundFileBuilder other;
    other.addStream("Contents", "x");
    expectDescription(failureListing("other.xls", other.build()), ErrorCode::NotAWorkbook,
                      "no workbook data");
    try {
        ListLegacyWorkbook("/nonexistent/folder/gone.xls");
        ADD_FAILURE() << "a missing file was listed";
    } catch (const SpreadsheetError& error) {
        expectDescription(error, ErrorCode::FileNotFound, "\"gone.xls\"");
    }
}

} // namespace
} // namespace quillory::spreadsheet::legacy
