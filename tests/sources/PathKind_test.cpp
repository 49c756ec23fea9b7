#include "sources/PathKind.h"
#include "support/TempDir.h"

#include <filesystem>
#include <gtest/gtest.h>
#include <unistd.h>

using quillory::sources::GetPathKind;
using quillory::sources::PathKind;
using quillory::testing::TempDir;

namespace fs = std::filesystem;

namespace {

bool runningAsRoot() {
    return ::geteuid() == 0;
}

} // namespace

TEST(PathKind, ExistingFilesAndFoldersAreClassifiedByWhatTheyAre) {
    TempDir dir;
    const fs::path book = dir.write("Book1.xlsx", "not really a workbook");
    const fs::path readOnly = dir.write("ReadOnly.xlsx", "x");
    fs::permissions(readOnly, fs::perms::owner_read | fs::perms::group_read);
    fs::create_directory(dir / "empty folder");
    const fs::path nested = dir.write("full folder/Sheet.xlsx", "x");

    EXPECT_EQ(GetPathKind(book.string()), PathKind::File);
    EXPECT_EQ(GetPathKind(readOnly.string()), PathKind::File);
    EXPECT_EQ(GetPathKind((dir / "empty folder").string()), PathKind::Folder);
    EXPECT_EQ(GetPathKind((dir / "full folder").string()), PathKind::Folder);
    // A folder with or without a trailing separator is the same folder.
    EXPECT_EQ(GetPathKind((dir / "full folder").string() + "/"), PathKind::Folder);
    EXPECT_EQ(GetPathKind(nested.string()), PathKind::File);
}

TEST(PathKind, PathsThatNameNothingUsableAreMissing) {
    TempDir dir;
    dir.write("Book1.xlsx", "x");
    dir.write("Book2.xlsx", "x");

    EXPECT_EQ(GetPathKind(""), PathKind::Missing);
    EXPECT_EQ(GetPathKind((dir / "gone.xlsx").string()), PathKind::Missing);
    EXPECT_EQ(GetPathKind((dir / "no such folder" / "Book1.xlsx").string()), PathKind::Missing);
    // A pattern is never a path, even when files match it.
    EXPECT_EQ(GetPathKind((dir / "*.xlsx").string()), PathKind::Missing);
    EXPECT_EQ(GetPathKind((dir / "Book?.xlsx").string()), PathKind::Missing);
    EXPECT_EQ(GetPathKind(std::string("Book1.xlsx\0tail", 15)), PathKind::Missing);
}

TEST(PathKind, HiddenEntriesAndOfficeLockFilesAreMissing) {
    TempDir dir;
    const fs::path dotFile = dir.write(".hidden.xlsx", "x");
    const fs::path lockFile = dir.write("~$Book1.xlsx", "x");
    const fs::path otherLock = dir.write(".~lock.Book1.xlsx#", "x");
    const fs::path insideHidden = dir.write(".hidden folder/Book.xlsx", "x");

    EXPECT_EQ(GetPathKind(dotFile.string()), PathKind::Missing);
    EXPECT_EQ(GetPathKind(lockFile.string()), PathKind::Missing);
    EXPECT_EQ(GetPathKind(otherLock.string()), PathKind::Missing);
    EXPECT_EQ(GetPathKind((dir / ".hidden folder").string()), PathKind::Missing);
    EXPECT_EQ(GetPathKind((dir / ".hidden folder").string() + "/"), PathKind::Missing);
    // Only the entry itself counts: a plain file inside a hidden folder is found.
    EXPECT_EQ(GetPathKind(insideHidden.string()), PathKind::File);
    // "." and ".." are not hidden names.
    EXPECT_EQ(GetPathKind((dir / ".").string()), PathKind::Folder);
}

TEST(PathKind, OverlongPathsAndNamesAreMissingWithoutFailing) {
    TempDir dir;
    const std::string longName(quillory::sources::kMaxNameLength + 1, 'a');
    EXPECT_EQ(GetPathKind((dir / longName).string()), PathKind::Missing);

    std::string longPath = dir.path().string();
    while (longPath.size() <= quillory::sources::kMaxPathLength) {
        longPath += "/folder";
    }
    EXPECT_EQ(GetPathKind(longPath), PathKind::Missing);
    // Just under the limits the path is looked at as usual.
    EXPECT_EQ(GetPathKind(dir.path().string() + "/" +
                          std::string(quillory::sources::kMaxNameLength, 'b')),
              PathKind::Missing);
    const fs::path atLimit = dir.write(std::string(quillory::sources::kMaxNameLength, 'c'), "x");
    EXPECT_EQ(GetPathKind(atLimit.string()), PathKind::File);
}

TEST(PathKind, FolderThatCannotBeListedIsMissing) {
    if (runningAsRoot()) {
        GTEST_SKIP() << "permissions do not stop the superuser";
    }
    TempDir dir;
    fs::create_directory(dir / "locked");
    dir.write("locked/Book.xlsx", "x");
    fs::permissions(dir / "locked", fs::perms::none);
    EXPECT_EQ(GetPathKind((dir / "locked").string()), PathKind::Missing);
    EXPECT_EQ(GetPathKind((dir / "locked" / "Book.xlsx").string()), PathKind::Missing);
}
