#include "merge/MergeCommand.h"
#include "merge/ReportText.h"
#include "support/FakeApplication.h"
#include "support/RecordingUiPort.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

namespace quillory::merge {
namespace {

using Strings = std::vector<std::string>;
using spreadsheet::ReportItem;
using spreadsheet::ReportKind;
using testing::FakeSpreadsheet;

std::time_t LocalTime(int year, int month, int day, int hour, int minute, int second) {
    std::tm parts{};
    parts.tm_year = year - 1900;
    parts.tm_mon = month - 1;
    parts.tm_mday = day;
    parts.tm_hour = hour;
    parts.tm_min = minute;
    parts.tm_sec = second;
    parts.tm_isdst = -1;
    return std::mktime(&parts);
}

std::vector<std::filesystem::path> FolderContents(const std::filesystem::path& folder) {
    std::vector<std::filesystem::path> found;
    for (const auto& entry : std::filesystem::recursive_directory_iterator(folder)) {
        found.push_back(entry.path());
    }
    return found;
}

class MergeCommandTest : public ::testing::Test {
protected:
    MergeCommandTest() {
        book = sources.write("book.xlsx", "x").string();
        world.addWorkbook(book, Strings{"S1", "S2"});
        std::filesystem::create_directory(temporaryRoot());
        options.temporaryRoot = temporaryRoot();
        options.clock = [] { return LocalTime(2026, 12, 6, 14, 3, 21); };
    }

    std::filesystem::path temporaryRoot() const { return sources / "tmp"; }

    void addEntry(const std::string& sheet, bool checked = true) {
        const int row = lists.merge.add(book);
        lists.merge.setSubItem1(row, sheet);
        lists.merge.setChecked(row, checked);
    }

    std::optional<std::filesystem::path> merge() {
        return Merge(lists, ui, world.factory(), options);
    }

    testing::TempDir sources;
    std::string book;
    FakeSpreadsheet world;
    testing::RecordingUiPort ui;
    lists::MainLists lists;
    MergeCommandOptions options;
};

TEST_F(MergeCommandTest, NothingCheckedStartsNothing) {
    EXPECT_FALSE(merge());
    addEntry("S1", false);
    lists.progress.setMax(55);
    EXPECT_FALSE(merge());

    EXPECT_EQ(ui.messageTexts(), (Strings{kNothingToMergeMessage, kNothingToMergeMessage}));
    EXPECT_EQ(ui.messages[0].icon, lists::MessageIcon::Information);
    EXPECT_EQ(world.applicationsCreated(), 0);
    EXPECT_EQ(lists.progress.max(), 55) << "the progress bar is not touched";
    EXPECT_TRUE(FolderContents(temporaryRoot()).empty());
}

TEST_F(MergeCommandTest, ResultIsANewFileInAFolderOfItsOwnHandedToTheOpener) {
    addEntry("S1");
    addEntry("S2", false);

    const auto result = merge();
    const auto again = merge();

    ASSERT_TRUE(result);
    ASSERT_TRUE(again);
    EXPECT_EQ(result->filename(), "Merged 2026-12-06 14.03.21.xlsx");
    EXPECT_EQ(result->parent_path().parent_path(), temporaryRoot());
    EXPECT_NE(result->parent_path(), again->parent_path()) << "each run has its own folder";
    EXPECT_EQ(ui.openedFiles, (std::vector<std::filesystem::path>{*result, *again}));
    EXPECT_EQ(world.saved(*result)->size(), 1u);
    EXPECT_TRUE(ui.messages.empty()) << "a merge that changed nothing says nothing";
    EXPECT_EQ(lists.progress.max(), 2);
    EXPECT_EQ(lists.progress.value(), 0);
}

TEST_F(MergeCommandTest, FailureGivesItsReasonThenMergeFailedAndLeavesNothing) {
    addEntry("S1");
    addEntry("Renamed since");
    addEntry("S2");
    std::vector<double> progressWhileShown;
    ui.onMessage = [&](const testing::RecordedMessage&) {
        progressWhileShown.push_back(lists.progress.value());
    };

    EXPECT_FALSE(merge());

    ASSERT_EQ(ui.messages.size(), 2u);
    EXPECT_NE(ui.messages[0].text.find("Renamed since"), std::string::npos);
    EXPECT_EQ(ui.messages[1].text, kMergeFailedMessage);
    EXPECT_EQ(ui.messages[1].icon, lists::MessageIcon::Critical);
    EXPECT_EQ(progressWhileShown, (std::vector<double>{1, 1}));
    EXPECT_EQ(lists.progress.value(), 0);
    EXPECT_TRUE(ui.openedFiles.empty());
    EXPECT_TRUE(FolderContents(temporaryRoot()).empty()) << "no output and no folder left";
    EXPECT_EQ(world.applicationsAlive(), 0);
}

TEST_F(MergeCommandTest, UnusableTemporaryLocationIsAFailureWithItsReason) {
    addEntry("S1");
    options.temporaryRoot = sources / "no" / "such" / "folder";

    EXPECT_FALSE(merge());

    ASSERT_EQ(ui.messages.size(), 2u);
    EXPECT_NE(ui.messages[0].text.find("no/such/folder"), std::string::npos) << ui.messages[0].text;
    EXPECT_EQ(ui.messages[1].text, kMergeFailedMessage);
    EXPECT_EQ(world.applicationsCreated(), 0);
}

TEST_F(MergeCommandTest, WithoutAProgramTheUserSavesTheResultWhereTheyChoose) {
    addEntry("S1");
    ui.openFileSucceeds = false;
    const auto unwritable = sources / "missing-folder" / "x.xlsx";
    const auto chosen = sources / "chosen.xlsx";
    ui.saveAnswers = {unwritable, chosen};

    const auto kept = merge();

    ASSERT_TRUE(kept);
    EXPECT_EQ(*kept, chosen);
    EXPECT_EQ(testing::readFile(chosen), "S1\n");
    ASSERT_EQ(ui.saveRequests.size(), 2u) << "asked again after the failed save";
    EXPECT_EQ(ui.saveRequests[0], "Merged 2026-12-06 14.03.21.xlsx");
    ASSERT_EQ(ui.messages.size(), 1u);
    EXPECT_NE(ui.messages[0].text.find(unwritable.string()), std::string::npos);
    EXPECT_TRUE(FolderContents(temporaryRoot()).empty()) << "the temporary copy is gone";
    EXPECT_FALSE(std::filesystem::exists(unwritable.parent_path()));
}

TEST_F(MergeCommandTest, CancellingTheSaveKeepsTheResultAndSaysWhere) {
    addEntry("S1");
    ui.openFileSucceeds = false;

    const auto kept = merge();

    ASSERT_TRUE(kept);
    EXPECT_TRUE(std::filesystem::exists(*kept));
    ASSERT_EQ(ui.messages.size(), 1u);
    EXPECT_EQ(ui.messages[0].icon, lists::MessageIcon::Information);
    EXPECT_NE(ui.messages[0].text.find(kept->string()), std::string::npos);
}

TEST_F(MergeCommandTest, ReportIsShownOnceAfterTheResultOpens) {
    spreadsheet::MergeReport report;
    report.add({ReportKind::SheetRenamed, "book.xlsx", "S1", "S1 (2)",
                "'S1' of book.xlsx is 'S1 (2)' in the result."});
    report.add({ReportKind::FormulaAsValue, "book.xlsx", "S1", "S1", "A formula was kept."});
    world.setReport(report);
    addEntry("S1");
    bool openedBeforeMessage = false;
    ui.onMessage = [&](const testing::RecordedMessage&) {
        openedBeforeMessage = !ui.openedFiles.empty();
    };

    ASSERT_TRUE(merge());

    ASSERT_EQ(ui.messages.size(), 1u);
    EXPECT_EQ(ui.messages[0].icon, lists::MessageIcon::Information);
    EXPECT_EQ(ui.messages[0].text, ReportMessage(report));
    EXPECT_EQ(ui.messages[0].details, ReportDetails(report));
    EXPECT_TRUE(openedBeforeMessage);
}

} // namespace
} // namespace quillory::merge
