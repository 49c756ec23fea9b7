#include "merge/MergeSheets.h"
#include "support/FakeApplication.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

namespace quillory::merge {
namespace {

using testing::FakeSpreadsheet;
using Saved = FakeSpreadsheet::SavedSheet;
using Strings = std::vector<std::string>;
using Sheets = std::vector<Saved>;

class MergeSheetsTest : public ::testing::Test {
protected:
    MergeSheetsTest() {
        a = dir.write("a.xlsx", "a").string();
        b = dir.write("b.xlsx", "b").string();
        world.addWorkbook(a, std::vector<std::string>{"S1", "S2"});
        world.addWorkbook(b, std::vector<std::string>{"S1"});
        output = dir / "out.xlsx";
    }

    void addEntry(const std::string& path, const std::string& sheet, bool checked = true) {
        const int row = lists.merge.add(path);
        lists.merge.setSubItem1(row, sheet);
        lists.merge.setChecked(row, checked);
    }

    bool merge() { return MergeSheets(lists, world.factory(), output, outcome); }

    // The opening, closing and copying calls, which say what happened to the sources.
    std::vector<std::string> sourceTraffic() const {
        std::vector<std::string> traffic;
        for (const auto& call : world.calls()) {
            if (call.rfind("Open(", 0) == 0 || call.rfind("Close(", 0) == 0 ||
                call.rfind("Copy(", 0) == 0) {
                traffic.push_back(call);
            }
        }
        return traffic;
    }

    testing::TempDir dir;
    std::string a, b;
    std::filesystem::path output;
    FakeSpreadsheet world;
    lists::MainLists lists;
    MergeOutcome outcome;
};

TEST_F(MergeSheetsTest, AdjacentEntriesOfOneWorkbookShareOneOpening) {
    addEntry(a, "S1");
    addEntry(a, "S2");
    addEntry(b, "S1");

    ASSERT_TRUE(merge()) << outcome.failure;

    const std::string placeholder = kPlaceholderSheetName;
    EXPECT_EQ(sourceTraffic(),
              (Strings{"Open(" + a + ")", "Copy(a.xlsx!S1,before Result!" + placeholder + ")",
                       "Copy(a.xlsx!S2,before Result!" + placeholder + ")", "Close(a.xlsx,1)",
                       "Open(" + b + ")", "Copy(b.xlsx!S1,before Result!" + placeholder + ")",
                       "Close(b.xlsx,1)"}));
    EXPECT_EQ(*world.saved(output),
              (Sheets{{"S1", "a.xlsx!S1"}, {"S2", "a.xlsx!S2"}, {"S1 (2)", "b.xlsx!S1"}}));
    EXPECT_EQ(world.applicationsCreated(), 1);
    EXPECT_EQ(world.applicationsAlive(), 0) << "the instance holds temporary files until it quits";
    EXPECT_TRUE(std::filesystem::exists(output));
    EXPECT_EQ(outcome.failureNumber, 0);
}

TEST_F(MergeSheetsTest, WorkbookThatComesBackIsOpenedAgain) {
    addEntry(a, "S1");
    addEntry(b, "S1");
    addEntry(a, "S2");

    ASSERT_TRUE(merge()) << outcome.failure;

    EXPECT_EQ(world.callsStartingWith("Open(" + a + ")").size(), 2u);
    EXPECT_EQ(world.callsStartingWith("Open(" + b + ")").size(), 1u);
    EXPECT_EQ(*world.saved(output),
              (Sheets{{"S1", "a.xlsx!S1"}, {"S1 (2)", "b.xlsx!S1"}, {"S2", "a.xlsx!S2"}}));
}

TEST_F(MergeSheetsTest, ProgressStepsThroughEveryEntryAndUncheckedOnesDoNotReopen) {
    // 10 entries, 3 checked; the unchecked ones between two of A must not close A.
    for (int i = 1; i <= 10; ++i) {
        addEntry(i <= 8 ? a : b, i <= 8 && i % 2 == 0 ? "S2" : "S1", i == 1 || i == 5 || i == 10);
    }
    std::vector<double> values;
    lists.progress.onChanged = [&] { values.push_back(lists.progress.value()); };

    ASSERT_TRUE(merge()) << outcome.failure;

    EXPECT_EQ(lists.progress.max(), 10);
    std::vector<double> expected;
    for (int i = 1; i <= 10; ++i) {
        expected.push_back(i);
    }
    values.erase(values.begin()); // the change of Max, at value 0
    EXPECT_EQ(values, expected);
    EXPECT_EQ(world.callsStartingWith("Open(" + a + ")").size(), 1u);
    EXPECT_EQ(world.saved(output)->size(), 3u);
}

TEST_F(MergeSheetsTest, VanishedFilesAndFoldersAreSkippedWithoutClosingTheOpenSource) {
    const std::string gone = dir.write("gone.xlsx", "g").string();
    world.addWorkbook(gone, std::vector<std::string>{"S1"});
    std::filesystem::remove(gone);
    addEntry(a, "S1");
    addEntry(gone, "S1");
    addEntry(dir.path().string(), "S1"); // a folder
    addEntry(a, "S2");

    ASSERT_TRUE(merge()) << outcome.failure;

    EXPECT_EQ(world.callsStartingWith("Open("), (Strings{"Open(" + a + ")"}));
    EXPECT_EQ(*world.saved(output), (Sheets{{"S1", "a.xlsx!S1"}, {"S2", "a.xlsx!S2"}}));
    EXPECT_EQ(lists.progress.value(), 4);
    // Skipped, but not silently: the report names each entry that was left out.
    ASSERT_EQ(outcome.report.items.size(), 2u);
    EXPECT_EQ(outcome.report.items[0].sourceFile, "gone.xlsx");
    EXPECT_NE(outcome.report.items[0].message.find("'gone.xlsx' no longer exists"),
              std::string::npos);
    EXPECT_EQ(outcome.report.items[1].sourceFile, dir.path().filename().string());
}

TEST_F(MergeSheetsTest, NothingLeftToCopyFailsAndQuits) {
    std::filesystem::remove(b);
    addEntry(b, "S1");
    addEntry(a, "S1", false);

    EXPECT_FALSE(merge());

    EXPECT_GT(outcome.failureNumber, 0);
    EXPECT_NE(outcome.failure.find("'b.xlsx'"), std::string::npos) << outcome.failure;
    EXPECT_EQ(world.applicationsQuit(), 1);
    EXPECT_FALSE(std::filesystem::exists(output));
}

TEST_F(MergeSheetsTest, RenamedWorksheetFailsTheWholeMerge) {
    addEntry(a, "S1");
    addEntry(b, "Renamed");
    addEntry(a, "S2");

    EXPECT_FALSE(merge());

    EXPECT_EQ(outcome.failureNumber, static_cast<int>(spreadsheet::ErrorCode::SheetNotFound));
    EXPECT_NE(outcome.failure.find("Renamed"), std::string::npos) << outcome.failure;
    EXPECT_EQ(world.calls().back(), "Quit");
    EXPECT_EQ(world.applicationsAlive(), 0);
    EXPECT_TRUE(world.callsStartingWith("SaveAs").empty());
    EXPECT_FALSE(std::filesystem::exists(output));
    EXPECT_EQ(lists.progress.value(), 1) << "the bar keeps the value it reached";
}

TEST_F(MergeSheetsTest, NewWorkbookIsReducedToThePlaceholderFromTheLastSheetDown) {
    world.setNewWorkbookSheetCount(3);
    addEntry(b, "S1");

    ASSERT_TRUE(merge()) << outcome.failure;

    const std::string placeholder = kPlaceholderSheetName;
    EXPECT_EQ(world.callsStartingWith("SetName("),
              (Strings{"SetName(Result!Sheet1," + placeholder + ")"}));
    EXPECT_EQ(world.callsStartingWith("Delete("),
              (Strings{"Delete(Result!Sheet3)", "Delete(Result!Sheet2)",
                       "Delete(Result!" + placeholder + ")"}));
    EXPECT_EQ(*world.saved(output), (Sheets{{"S1", "b.xlsx!S1"}}));
    EXPECT_EQ(world.callsStartingWith("Select("), (Strings{"Select(Result!S1)"}));
}

TEST_F(MergeSheetsTest, ListIsLeftAsItWasSoItCanBeMergedAgain) {
    addEntry(a, "S2");
    addEntry(b, "S1", false);
    addEntry(a, "S1");
    lists.merge.select(2);

    ASSERT_TRUE(merge()) << outcome.failure;
    ASSERT_TRUE(merge()) << outcome.failure;

    ASSERT_EQ(lists.merge.count(), 3);
    EXPECT_EQ(lists.merge.text(1), a);
    EXPECT_EQ(lists.merge.subItem1(1), "S2");
    EXPECT_FALSE(lists.merge.checked(2));
    EXPECT_EQ(lists.merge.subItem1(3), "S1");
    EXPECT_EQ(lists.merge.selectedPosition(), 2);
    EXPECT_EQ(world.applicationsCreated(), 2);
    // Each result opens on its first merged sheet.
    EXPECT_EQ(world.callsStartingWith("Select("),
              (Strings{"Select(Result!S2)", "Select(Result!S2)"}));
}

TEST_F(MergeSheetsTest, ReportOfTheApplicationIsHandedBack) {
    spreadsheet::MergeReport report;
    report.add({spreadsheet::ReportKind::SheetRenamed, "b.xlsx", "S1", "S1 (2)", "renamed"});
    world.setReport(report);
    addEntry(a, "S1");
    addEntry(b, "S1");

    ASSERT_TRUE(merge()) << outcome.failure;

    ASSERT_EQ(outcome.report.items.size(), 1u);
    EXPECT_EQ(outcome.report.items[0].resultSheet, "S1 (2)");
}

TEST_F(MergeSheetsTest, ApplicationThatCannotStartIsAFailure) {
    addEntry(a, "S1");
    EXPECT_FALSE(MergeSheets(
        lists, [] { return std::unique_ptr<spreadsheet::Application>(); }, output, outcome));
    EXPECT_GT(outcome.failureNumber, 0);
    EXPECT_FALSE(MergeSheets(lists, spreadsheet::ApplicationFactory(), output, outcome));
    EXPECT_FALSE(std::filesystem::exists(output));
}

// Every spreadsheet call of a merge, made to fail in turn: the merge reports failure, the
// instance is quit at once and nothing is left at the output.
TEST_F(MergeSheetsTest, FailureAtEachStepQuitsAndLeavesNoOutput) {
    addEntry(a, "S1");
    addEntry(a, "S2");
    addEntry(b, "S1");
    ASSERT_TRUE(merge());
    const std::vector<std::string> cleanRun = world.calls();
    ASSERT_GT(cleanRun.size(), 15u);
    // The last call of a clean run is the Quit that follows the finished result.
    ASSERT_EQ(cleanRun.back(), "Quit");

    for (std::size_t step = 1; step < cleanRun.size(); ++step) {
        SCOPED_TRACE("failing call " + std::to_string(step) + ": " + cleanRun[step - 1]);
        FakeSpreadsheet failing;
        failing.addWorkbook(a, std::vector<std::string>{"S1", "S2"});
        failing.addWorkbook(b, std::vector<std::string>{"S1"});
        failing.failAtCall(static_cast<int>(step));
        std::filesystem::remove(output);

        EXPECT_FALSE(MergeSheets(lists, failing.factory(), output, outcome));

        EXPECT_NE(outcome.failure.find(FakeSpreadsheet::kInjectedFailure), std::string::npos);
        EXPECT_GT(outcome.failureNumber, 0);
        EXPECT_FALSE(std::filesystem::exists(output));
        EXPECT_EQ(failing.applicationsAlive(), 0);
        const auto& calls = failing.calls();
        ASSERT_GE(calls.size(), step);
        if (step == 1) {
            EXPECT_EQ(calls.size(), 1u) << "no instance, nothing to quit";
        } else {
            // Only the Quit follows the failing call.
            EXPECT_EQ(calls.size(), step + 1);
            EXPECT_EQ(calls.back(), "Quit");
            EXPECT_EQ(failing.applicationsQuit(), 1);
        }
    }
}

TEST_F(MergeSheetsTest, FailingQuitAfterTheResultIsWrittenKeepsTheResult) {
    world.failOn("Quit");
    addEntry(a, "S1");

    EXPECT_TRUE(merge()) << outcome.failure;
    EXPECT_TRUE(std::filesystem::exists(output));
}

} // namespace
} // namespace quillory::merge
