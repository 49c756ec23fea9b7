// The failure paths of converting legacy sources, with stand-in converter programs that hang,
// fail or are missing: each gives its own description, no converter process outlives the call
// and nothing is left in the temporary folder. Zipped .xlsb and .ods sources are looked into
// first: LibreOffice would turn a damaged one into an empty sheet, merged as if it were the
// workbook. The real conversion is tested against LibreOffice
// in legacy_formats_test.py.

#include "spreadsheet/LegacyTestFiles.h"
#include "spreadsheet/SpreadsheetError.h"
#include "spreadsheet/legacy/ChildProcess.h"
#include "spreadsheet/legacy/LegacyConverter.h"
#include "spreadsheet/ooxml/package/OutputSink.h"
#include "spreadsheet/ooxml/package/ZipWriter.h"
#include "support/TempDir.h"

#include <csignal>
#include <fstream>
#include <gtest/gtest.h>
#include <map>
#include <sys/stat.h>
#include <thread>

namespace quillory::spreadsheet::legacy {
namespace {

namespace fs = std::filesystem;
using quillory::testing::readFile;
using quillory::testing::TempDir;
using namespace testing::legacy;

fs::path script(const TempDir& folder, const std::string& name, const std::string& body) {
    const fs::path file = folder.write(name, "#!/bin/sh\n" + body);
    fs::permissions(file, fs::perms::owner_all);
    return file;
}

bool processRunning(const fs::path& pidFile) {
    std::ifstream in(pidFile);
    pid_t pid = 0;
    if (!(in >> pid) || pid <= 0) {
        return false;
    }
    if (::kill(pid, 0) != 0) {
        return false;
    }
    // A zombie waiting for its (killed) parent's reaper is not running either.
    std::ifstream status("/proc/" + std::to_string(pid) + "/stat");
    std::string skip;
    char state = '?';
    status >> skip >> skip >> state;
    return state != 'Z';
}

// A process killed with its group dies when it is next scheduled: allow it that moment.
bool processAlive(const fs::path& pidFile) {
    for (int wait = 0; wait < 100 && processRunning(pidFile); ++wait) {
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return processRunning(pidFile);
}

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

struct LegacyConversion : ::testing::Test {
    TempDir sources;
    TempDir temporaryRoot;
    TempDir tools;
    fs::path workbook = sources.write("Budget 2024.xls", biff8Workbook({sheetNamed("Data")}));

    ConverterOptions options(const fs::path& program,
                             std::chrono::milliseconds limit = std::chrono::seconds(60)) const {
        return ConverterOptions{program, limit, temporaryRoot.path()};
    }

    SpreadsheetError failureOf(LegacyConverter& converter, const fs::path& source) {
        try {
            converter.Convert(source);
        } catch (const SpreadsheetError& error) {
            return error;
        }
        ADD_FAILURE() << "conversion succeeded";
        return SpreadsheetError(ErrorCode::Internal, "");
    }

    // Converts a source of these bytes with a stand-in that leaves a mark and converts nothing: a
    // source that passes the look inside fails afterwards with ConversionFailed; one refused
    // before never leaves the mark.
    SpreadsheetError failureConverting(const std::string& name, const std::string& bytes) {
        fs::remove(tools / "ran");
        LegacyConverter converter(
            options(script(tools, "mark.sh", "touch '" + (tools / "ran").string() + "'\n")));
        const SpreadsheetError error = failureOf(converter, sources.write(name, bytes));
        EXPECT_NE(error.description().find(name), std::string::npos) << error.description();
        return error;
    }
};

TEST_F(LegacyConversion, AConverterThatHangsIsStoppedWithEveryProcessItStarted) {
    // The stand-in starts a helper of its own, as LibreOffice does, then never finishes.
    const fs::path pids = tools / "pids";
    const fs::path hanging = script(tools, "hang.sh",
                                    "sleep 600 &\necho $! > '" + (pids.string() + ".child") +
                                        "'\necho $$ > '" + pids.string() + "'\nwait\n");
    const std::string before = readFile(workbook);
    {
        LegacyConverter converter(options(hanging, std::chrono::milliseconds(1500)));
        const SpreadsheetError error = failureOf(converter, workbook);
        EXPECT_EQ(error.code(), ErrorCode::ConversionTimedOut);
        EXPECT_NE(error.description().find("\"Budget 2024.xls\""), std::string::npos);
        EXPECT_NE(error.description().find("did not finish"), std::string::npos);
        EXPECT_FALSE(processAlive(pids)) << "the converter outlived its time limit";
        EXPECT_FALSE(processAlive(fs::path(pids.string() + ".child")))
            << "a process the converter started outlived it";
        EXPECT_TRUE(converter.ConvertedSources().empty());
    }
    EXPECT_TRUE(fs::is_empty(temporaryRoot.path()));
    EXPECT_EQ(readFile(workbook), before);
}

TEST_F(LegacyConversion, AConverterThatWritesNothingFailsWithItsOwnWords) {
    const fs::path failing =
        script(tools, "fail.sh", "echo 'Error: source file could not be loaded'\nexit 0\n");
    {
        LegacyConverter converter(options(failing));
        const SpreadsheetError error = failureOf(converter, workbook);
        EXPECT_EQ(error.code(), ErrorCode::ConversionFailed);
        EXPECT_NE(error.description().find("\"Budget 2024.xls\""), std::string::npos);
        EXPECT_NE(error.description().find("source file could not be loaded"), std::string::npos)
            << error.description();
        // A second request tries again rather than handing out a file that does not exist.
        EXPECT_EQ(failureOf(converter, workbook).code(), ErrorCode::ConversionFailed);
    }
    EXPECT_TRUE(fs::is_empty(temporaryRoot.path()));
}

TEST_F(LegacyConversion, AMissingConverterNamesThePackageToInstall) {
    LegacyConverter converter(options(tools / "no-such-program"));
    const SpreadsheetError error = failureOf(converter, workbook);
    EXPECT_EQ(error.code(), ErrorCode::ConverterMissing);
    EXPECT_NE(error.description().find(kConverterPackage), std::string::npos);
    EXPECT_NE(error.description().find("\"Budget 2024.xls\""), std::string::npos);
    EXPECT_TRUE(fs::is_empty(temporaryRoot.path()));

    // A program that exists but cannot be run is as good as missing.
    const fs::path notExecutable = tools.write("soffice", "not a program");
    LegacyConverter second(options(notExecutable));
    EXPECT_EQ(failureOf(second, workbook).code(), ErrorCode::ConverterMissing);
}

struct Refusal {
    std::string name;
    std::string bytes;
    ErrorCode code;
    std::string words;
};

// Sources that are not what their names say, the hostile legacy files kept in
// tests/fixtures/legacy, and zipped .xlsb and .ods sources that are damaged: converting looks into
// each first and refuses it with its own description, before the converter runs.
TEST_F(LegacyConversion, SourcesThatAreNotWhatTheySayFailBeforeAnyConversion) {
    using enum ErrorCode;
    const std::string part = binaryWorkbookPart();
    std::string scrambled = part;
    scrambled[0] = '\x01';
    Entries missing = binaryWorkbook("xl/workbook.bin", part);
    missing.erase("xl/workbook.bin");
    const std::string spreadsheet = "application/vnd.oasis.opendocument.spreadsheet";
    Entries empty = openDocument(spreadsheet);
    empty.erase("content.xml");
    Entries plainZip = openDocument("");
    plainZip.erase("mimetype");
    const auto fixture = [](const char* name) {
        return readFile(fs::path(QUILLORY_SOURCE_DIR) / "tests" / "fixtures" / "legacy" / name);
    };
    const Refusal cases[] = {
        {"list.ods", "just,some\ntext,here\n", TextNotWorkbook, ""},
        {"truncated-compound-file.xls", fixture("truncated-compound-file.xls"), TruncatedPackage,
         "cut short"},
        {"sheet-record-outside-stream.xls", fixture("sheet-record-outside-stream.xls"),
         DamagedLegacyWorkbook, "points outside"},
        {"looping-fat-chain.xls", fixture("looping-fat-chain.xls"), DamagedLegacyWorkbook, "loops"},
        {"encrypted-filepass.xls", fixture("encrypted-filepass.xls"), PasswordProtected,
         "password"},
        {"excel4-biff4.xls", fixture("excel4-biff4.xls"), LegacyVersionUnsupported, "Excel 4.0"},
        {"html-saved-as.xls", fixture("html-saved-as.xls"), TextNotWorkbook, "web page"},
        {"csv-saved-as.xls", fixture("csv-saved-as.xls"), TextNotWorkbook, "text file"},
        // Only the begin-book record: what LibreOffice turns into an empty "Sheet1".
        {"stub.xlsb", zipOf(binaryWorkbook("xl/workbook.bin", "\x83\x01\x00")),
         DamagedLegacyWorkbook, "xl/workbook.bin"},
        {"scrambled.xlsb", zipOf(binaryWorkbook("xl/workbook.bin", scrambled)),
         DamagedLegacyWorkbook, ""},
        {"missing.xlsb", zipOf(missing), DamagedLegacyWorkbook, ""},
        {"xml-inside.xlsb",
         zipOf(binaryWorkbook("xl/workbook.xml", part,
                              "application/vnd.openxmlformats-officedocument."
                              "spreadsheetml.sheet.main+xml")),
         NotAWorkbook, ""},
        {"letter.ods", zipOf(openDocument("application/vnd.oasis.opendocument.text")), NotAWorkbook,
         "opendocument.text"},
        {"empty.ods", zipOf(empty), DamagedLegacyWorkbook, ""},
        {"archive.ods", zipOf(plainZip), NotAWorkbook, ""},
    };
    for (const Refusal& refusal : cases) {
        SCOPED_TRACE(refusal.name);
        const SpreadsheetError error = failureConverting(refusal.name, refusal.bytes);
        EXPECT_EQ(error.code(), refusal.code) << error.description();
        EXPECT_NE(error.description().find("\"" + refusal.name + "\""), std::string::npos);
        EXPECT_NE(error.description().find(refusal.words), std::string::npos)
            << error.description();
        EXPECT_FALSE(fs::exists(tools / "ran"));
    }
    const std::string whole = zipOf(binaryWorkbook("xl/workbook.bin", part));
    const SpreadsheetError cut = failureConverting("cut.xlsb", whole.substr(0, whole.size() - 30));
    EXPECT_NE(cut.code(), ConversionFailed) << cut.description();
    EXPECT_FALSE(fs::exists(tools / "ran"));
    LegacyConverter converter(options(tools / "mark.sh"));
    EXPECT_EQ(failureOf(converter, sources / "gone.xlsb").code(), FileNotFound);
    EXPECT_FALSE(fs::exists(tools / "ran"));
    EXPECT_TRUE(fs::is_empty(temporaryRoot.path()));
}

TEST_F(LegacyConversion, SoundZippedSourcesGoToTheConverter) {
    // The workbook part is found through the package relationships, wherever it lies.
    for (const auto& [name, bytes] :
         {std::pair<std::string, std::string>{
              "sound.xlsb", zipOf(binaryWorkbook("xl/book.bin", binaryWorkbookPart()))},
          {"sound.ods", zipOf(openDocument("application/vnd.oasis.opendocument.spreadsheet"))}}) {
        EXPECT_EQ(failureConverting(name, bytes).code(), ErrorCode::ConversionFailed) << name;
        EXPECT_TRUE(fs::exists(tools / "ran")) << name;
    }
}

TEST(LegacyConverterNames, OnlyXlsXlsbAndOdsNeedConverting) {
    for (const char* name : {"a.xls", "B.XLS", "c.xlsb", "d.Ods"}) {
        EXPECT_TRUE(LegacyConverter::NeedsConversion(name)) << name;
    }
    for (const char* name : {"a.xlsx", "b.xlsm", "c.csv", "xls", "d.xls.txt"}) {
        EXPECT_FALSE(LegacyConverter::NeedsConversion(name)) << name;
    }
}

TEST(LegacyChildProcess, ReportsExitStatusSignalsAndStartFailures) {
    TempDir folder;
    const fs::path log = folder / "log";
    const auto limit = std::chrono::seconds(30);
    const ProcessOutcome exited = RunWithTimeLimit("/bin/sh", {"-c", "echo \"$GREETING\"; exit 3"},
                                                   {{"GREETING", "hello"}}, log, limit);
    EXPECT_EQ(exited.kind, ProcessOutcome::Kind::Exited);
    EXPECT_EQ(exited.exitCode, 3);
    EXPECT_EQ(readFile(log), "hello\n");

    const ProcessOutcome signalled =
        RunWithTimeLimit("/bin/sh", {"-c", "kill -TERM $$"}, {}, log, limit);
    EXPECT_EQ(signalled.kind, ProcessOutcome::Kind::Signalled);
    EXPECT_EQ(signalled.exitCode, SIGTERM);

    const ProcessOutcome missing = RunWithTimeLimit(folder / "absent", {}, {}, log, limit);
    EXPECT_EQ(missing.kind, ProcessOutcome::Kind::CouldNotStart);
    EXPECT_EQ(missing.startError, ENOENT);
}

} // namespace
} // namespace quillory::spreadsheet::legacy
