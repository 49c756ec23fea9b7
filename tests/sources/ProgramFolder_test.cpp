#include "sources/ProgramFolder.h"
#include "support/ScopedEnv.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

using quillory::sources::DefaultConfigFolder;
using quillory::sources::LocateProgramFiles;
using quillory::testing::ScopedEnv;
using quillory::testing::TempDir;

namespace fs = std::filesystem;

TEST(ProgramFolder, FilesStayBesideAWritableProgramElseTheListMovesToTheConfigFolder) {
    TempDir dir;
    const auto beside = LocateProgramFiles(dir.path(), dir / "config");
    EXPECT_FALSE(beside.relocated);
    EXPECT_EQ(beside.sourceListFile(), dir / "EXCEL.txt");
    EXPECT_EQ(beside.settingsFile(), dir / "set.txt");
    EXPECT_EQ(beside.helpFile(), dir / "help.chm");
    EXPECT_FALSE(fs::exists(dir / "config"));
    EXPECT_EQ(quillory::sources::DescribeDataFolder(beside), "");

    // A program folder this process cannot create files in (even as the superuser: it does not
    // exist as a folder).
    const fs::path program = dir.write("bin", "a file, not a folder");
    const auto files = LocateProgramFiles(program, dir / "config" / "quillory");
    EXPECT_TRUE(files.relocated);
    EXPECT_TRUE(fs::is_directory(dir / "config" / "quillory"));
    EXPECT_EQ(files.sourceListFile(), dir / "config" / "quillory" / "EXCEL.txt");
    // help.chm is still looked for beside the program.
    EXPECT_EQ(files.helpFile(), program / "help.chm");
    const std::string note = quillory::sources::DescribeDataFolder(files);
    EXPECT_NE(note.find((dir / "config" / "quillory").string()), std::string::npos) << note;
}

TEST(ProgramFolder, ConfigFolderFollowsTheDesktopConventions) {
    const ScopedEnv home("HOME", "/home/someone");
    {
        const ScopedEnv xdg("XDG_CONFIG_HOME", "/custom/config");
        EXPECT_EQ(DefaultConfigFolder(), fs::path("/custom/config/quillory"));
    }
    const ScopedEnv xdg("XDG_CONFIG_HOME", nullptr);
    EXPECT_EQ(DefaultConfigFolder(), fs::path("/home/someone/.config/quillory"));
}
