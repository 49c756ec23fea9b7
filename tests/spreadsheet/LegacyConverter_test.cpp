// The failure paths of converting legacy sources, with stand-in converter programs that hang,
// fail or are missing: each gives its own description, no converter process outlives the call
// and nothing is left in the temporary folder. The real conversion is tested against LibreOffice
// in LegacyAgainstLibreOffice_test.cpp.

#include "spreadsheet/LegacyTestFiles.h"
#include "spreadsheet/SpreadsheetError.h"
#include "spreadsheet/legacy/ChildProcess.h"
#include "spreadsheet/legacy/LegacyConverter.h"
#include "support/TempDir.h"

#include <csignal>
#include <fstream>
#include <gtest/gtest.h>
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

bool processAlive(const fs::path& pidFile) {
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

TEST_F(LegacyConversion, SourcesThatAreNotWhatTheySayFailBeforeAnyConversion) {
    // The program would fail the test if it ran: each source must be refused first. (Each kind
    // of bad .xls is refused the same way in LegacyHostileFixtures_test.)
    const fs::path mustNotRun =
        script(tools, "never.sh", "touch '" + (tools / "ran").string() + "'\n");
    LegacyConverter converter(options(mustNotRun));
    const fs::path text = sources.write("list.ods", "just,some\ntext,here\n");
    EXPECT_EQ(failureOf(converter, text).code(), ErrorCode::TextNotWorkbook);
    EXPECT_EQ(failureOf(converter, sources / "gone.xlsb").code(), ErrorCode::FileNotFound);
    EXPECT_FALSE(fs::exists(tools / "ran"));
    EXPECT_TRUE(fs::is_empty(temporaryRoot.path()));
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
