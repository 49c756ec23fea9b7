#include "sources/SettingsFile.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

using quillory::sources::ReadAutoSaveBox;
using quillory::testing::TempDir;

TEST(SettingsFile, TheBoxIsTickedOnlyForAFirstLineOfExactlyOne) {
    TempDir dir;
    EXPECT_FALSE(ReadAutoSaveBox(dir / "set.txt")); // missing
    struct Case {
        const char* bytes;
        bool ticked;
    };
    for (const Case& c :
         {Case{"1\r\n", true}, Case{"1", true}, Case{"1\r\n0\r\n", true}, Case{"", false},
          Case{"0\r\n", false}, Case{"1 \r\n", false}, Case{" 1\r\n", false},
          Case{"yes\r\n", false}, Case{"\r\n1\r\n", false}}) {
        SCOPED_TRACE(::testing::PrintToString(std::string(c.bytes)));
        EXPECT_EQ(ReadAutoSaveBox(dir.write("set.txt", c.bytes)), c.ticked);
    }
}
