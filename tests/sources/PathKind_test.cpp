#include "sources/PathKind.h"
#include "support/TempDir.h"

#include <filesystem>
#include <gtest/gtest.h>
#include <unistd.h>

using quillory::sources::GetPathKind;
using quillory::sources::kMaxNameLength;
using quillory::sources::kMaxPathLength;
using quillory::sources::PathKind;
using quillory::testing::TempDir;

namespace fs = std::filesystem;

TEST(PathKind, FilesAndFoldersAreWhatTheyAreAndAnythingUnusableIsMissing) {
    TempDir dir;
    fs::permissions(dir.write("ReadOnly.xlsx", "x"), fs::perms::owner_read);
    fs::create_directory(dir / "empty folder");
    for (const char* name : {"Book1.xlsx", "Book2.xlsx", "full folder/Sheet.xlsx", ".hidden.xlsx",
                             "~$Book1.xlsx", ".~lock.Book1.xlsx#", ".hidden folder/Book.xlsx"}) {
        dir.write(name, "x");
    }
    dir.write(std::string(kMaxNameLength, 'c'), "x");
    std::string longPath = dir.path().string();
    while (longPath.size() <= kMaxPathLength) {
        longPath += "/folder";
    }
    const std::string root = dir.path().string() + "/";
    const std::pair<std::string, PathKind> cases[] = {
        {root + "Book1.xlsx", PathKind::File},
        {root + "ReadOnly.xlsx", PathKind::File},
        {root + "empty folder", PathKind::Folder},
        {root + "full folder", PathKind::Folder},
        {root + "full folder/Sheet.xlsx", PathKind::File},
        {"", PathKind::Missing},
        {root + "gone.xlsx", PathKind::Missing},
        // A pattern is never a path, even when files match it.
        {root + "*.xlsx", PathKind::Missing},
        {root + "Book?.xlsx", PathKind::Missing},
        {std::string("Book1.xlsx\0tail", 15), PathKind::Missing},
        // Hidden entries and office lock files; only the entry itself counts.
        {root + ".hidden.xlsx", PathKind::Missing},
        {root + "~$Book1.xlsx", PathKind::Missing},
        {root + ".~lock.Book1.xlsx#", PathKind::Missing},
        {root + ".hidden folder", PathKind::Missing},
        {root + ".hidden folder/", PathKind::Missing},
        {root + ".hidden folder/Book.xlsx", PathKind::File},
        {root + ".", PathKind::Folder}, // "." and ".." are not hidden names
        // Overlong names and paths, and just under the limits.
        {root + std::string(kMaxNameLength + 1, 'a'), PathKind::Missing},
        {longPath, PathKind::Missing},
        {root + std::string(kMaxNameLength, 'b'), PathKind::Missing},
        {root + std::string(kMaxNameLength, 'c'), PathKind::File},
    };
    for (const auto& [path, kind] : cases) {
        EXPECT_EQ(GetPathKind(path), kind) << path.substr(0, 200);
    }
}

TEST(PathKind, FolderThatCannotBeListedIsMissing) {
    if (::geteuid() == 0) {
        GTEST_SKIP() << "permissions do not stop the superuser";
    }
    TempDir dir;
    dir.write("locked/Book.xlsx", "x");
    fs::permissions(dir / "locked", fs::perms::none);
    EXPECT_EQ(GetPathKind((dir / "locked").string()), PathKind::Missing);
    EXPECT_EQ(GetPathKind((dir / "locked" / "Book.xlsx").string()), PathKind::Missing);
}
