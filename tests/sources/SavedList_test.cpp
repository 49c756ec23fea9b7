#include "lists/MainLists.h"
#include "sources/SavedList.h"
#include "sources/SettingsFile.h"
#include "support/ListContents.h"
#include "support/TempDir.h"

#include <csignal>
#include <filesystem>
#include <gtest/gtest.h>
#include <memory>
#include <sys/resource.h>

using quillory::lists::ListModel;
using quillory::sources::FileError;
using quillory::sources::LoadSourceList;
using quillory::sources::LocateProgramFiles;
using quillory::sources::ProgramFiles;
using quillory::sources::ReadAutoSaveBox;
using quillory::sources::SaveResult;
using quillory::sources::SaveSourceList;
using quillory::testing::readFile;
using quillory::testing::RowIcons;
using quillory::testing::RowTexts;
using quillory::testing::TempDir;

namespace fs = std::filesystem;

namespace {

// A program folder in a temporary folder, with its list and settings files.
struct ProgramFolder {
    TempDir dir;
    ProgramFiles files = LocateProgramFiles(dir.path(), {});

    void writeList(const std::string& bytes) const { dir.write("EXCEL.txt", bytes); }
    void writeSettings(const std::string& bytes) const { dir.write("set.txt", bytes); }
    std::string list() const { return readFile(files.sourceListFile()); }
    std::vector<std::string> folderEntries() const {
        std::vector<std::string> names;
        for (const auto& entry : fs::directory_iterator(dir.path())) {
            names.push_back(entry.path().filename().string());
        }
        std::sort(names.begin(), names.end());
        return names;
    }
};

std::unique_ptr<ListModel> loaded(const fs::path& file) {
    auto list = std::make_unique<ListModel>();
    LoadSourceList(*list, file);
    return list;
}

} // namespace

TEST(SavedList, EveryKindOfLineEndEndsALineAndSavingWritesCrLf) {
    struct Case {
        const char* bytes;
        std::vector<std::string> rows;
    };
    const Case cases[] = {
        {"", {}},
        {"\r\n", {""}},
        {"a\r\nb", {"a", "b"}}, // last line without a line end
        {"a\rb\nc\r\n\r\nd\r", {"a", "b", "c", "", "d"}},
        {"a\n\rb", {"a", "", "b"}}, // LF then CR: two line ends, not one
        {"a\r\r\nb", {"a", "", "b"}},
        {"\357\273\277a\r\n", {"a"}}, // a byte-order mark is not part of the first path
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(::testing::PrintToString(std::string(c.bytes)));
        ProgramFolder program;
        program.writeList(c.bytes);
        const auto list = loaded(program.files.sourceListFile());
        EXPECT_EQ(RowTexts(*list), c.rows);
        // Saved through a temporary file that takes the list's place and its mode.
        const auto mode = fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read;
        fs::permissions(program.files.sourceListFile(), mode);
        SaveSourceList(*list, program.files);
        std::string expected;
        for (const std::string& row : c.rows) {
            expected += row + "\r\n";
        }
        EXPECT_EQ(program.list(), expected);
        EXPECT_EQ(fs::status(program.files.sourceListFile()).permissions(), mode);
        EXPECT_EQ(program.folderEntries(), std::vector<std::string>{"EXCEL.txt"});
    }
}

TEST(SavedList, EachLineIsARowWithTheIconOfItsPathAndDamagedFilesLoadWithoutFailing) {
    ProgramFolder program;
    EXPECT_EQ(loaded(program.files.sourceListFile())->count(), 0);

    // A file, a folder, the file with spaces around it (another path), bytes of every value, NULs
    // included, lines that cannot be paths, and the file again (duplicates stay).
    const std::string book = program.dir.write("data/Book 1.xlsx", "x").string();
    std::string bytes =
        book + "\r\n" + (program.dir / "data").string() + "\r\n  " + book + "  \r\n";
    for (int i = 0; i < 4096; ++i) {
        bytes += static_cast<char>((i * 131 + 7) % 256);
    }
    bytes += "\r\n" + std::string(100000, 'x') + "\r\n*.xlsx\r\n/no/such/folder/\r\n" + book;
    program.writeList(bytes);
    const auto list = loaded(program.files.sourceListFile());
    const auto lines = quillory::sources::SplitLines(bytes);
    EXPECT_EQ(RowTexts(*list), lines);
    std::vector<int> icons(lines.size(), quillory::lists::kIconMissing);
    icons.front() = icons.back() = quillory::lists::kIconFile;
    icons[1] = quillory::lists::kIconFolder;
    EXPECT_EQ(RowIcons(*list), icons);
    EXPECT_EQ(list->selectedPosition(), 1);
    // Whatever was loaded is written back byte for byte, line ends aside.
    SaveSourceList(*list, program.files);
    EXPECT_EQ(RowTexts(*loaded(program.files.sourceListFile())), lines);
}

// set.txt holds two rules: the list is saved unless its first line is exactly "0"; the Settings
// box shows ticked only for a first line of exactly "1".
TEST(SavedList, OnlyAFirstLineOfExactlyZeroStopsTheSaveAndOfExactlyOneTicksTheBox) {
    // By whether the list is saved and the box ticked, set.txt's bytes (nullptr: no set.txt;
    // \357\273\277: a byte-order mark).
    const std::tuple<bool, bool, std::vector<const char*>> groups[] = {
        {true, true, {"1\r\n", "1", "1\r\n0\r\n"}},
        {true,
         false,
         {nullptr, "", "\r\n", "0 \r\n", " 0\r\n", "yes\r\n", "1 \r\n", " 1\r\n", "\r\n1\r\n"}},
        {false, false, {"0\r\n", "0", "0\r\n1\r\n", "0\n", "\357\273\2770\r\n"}}};
    for (const auto& [saved, ticked, settingsFiles] : groups) {
        for (const char* settings : settingsFiles) {
            SCOPED_TRACE(::testing::PrintToString(std::string(settings ? settings : "missing")));
            ProgramFolder program;
            program.writeList("old\r\n");
            if (settings != nullptr) {
                program.writeSettings(settings);
            }
            ListModel list;
            list.add("new");
            EXPECT_EQ(SaveSourceList(list, program.files),
                      saved ? SaveResult::Saved : SaveResult::SwitchedOff);
            EXPECT_EQ(program.list(), saved ? "new\r\n" : "old\r\n");
            EXPECT_EQ(ReadAutoSaveBox(program.files.settingsFile()), ticked);
        }
    }
}

// A write that fails half-way (here: the file size limit of the process, which stops the
// superuser too) leaves the old list in place and no temporary file behind.
TEST(SavedList, FailedWriteKeepsTheOldListWhole) {
    ProgramFolder program;
    const std::string old = "/data/old.xlsx\r\n";
    program.writeList(old);
    ListModel list;
    for (int i = 0; i < 1000; ++i) {
        list.add("/a/rather/long/path/to/a/workbook/number/" + std::to_string(i) + ".xlsx");
    }

    rlimit saved{};
    ASSERT_EQ(::getrlimit(RLIMIT_FSIZE, &saved), 0);
    const auto previousHandler = std::signal(SIGXFSZ, SIG_IGN);
    rlimit small = saved;
    small.rlim_cur = 1024;
    ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &small), 0);
    std::string message;
    try {
        SaveSourceList(list, program.files);
    } catch (const FileError& error) {
        message = error.what();
    }
    ::setrlimit(RLIMIT_FSIZE, &saved);
    std::signal(SIGXFSZ, previousHandler);

    EXPECT_NE(message.find(program.files.sourceListFile().string()), std::string::npos) << message;
    EXPECT_EQ(program.list(), old);
    EXPECT_EQ(program.folderEntries(), std::vector<std::string>{"EXCEL.txt"});
}
