// The merge over the fake spreadsheet application: what it opens, copies and saves, what it does
// on a failure at any step, and the Merge command around it (the result handed to the opener,
// the messages, the temporary folder).

#include "merge/MergeCommand.h"
#include "merge/MergeSheets.h"
#include "support/FakeApplication.h"
#include "support/ListContents.h"
#include "support/RecordingUiPort.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

namespace quillory::merge {
namespace {

using testing::FakeSpreadsheet;
using Saved = FakeSpreadsheet::SavedSheet;
using Strings = std::vector<std::string>;
using Sheets = std::vector<Saved>;
using Paths = std::vector<std::filesystem::path>;
using spreadsheet::ReportKind;

class MergeSheetsTest : public ::testing::Test {
protected:
    MergeSheetsTest() {
        a = dir.write("a.xlsx", "a").string();
        b = dir.write("b.xlsx", "b").string();
        addBooks(world);
        output = dir / "out.xlsx";
        std::filesystem::create_directory(dir / "tmp");
        options.temporaryRoot = dir / "tmp";
        options.clock = [] {
            std::tm local{};
            strptime("2026-12-06 14:03:21", "%Y-%m-%d %H:%M:%S", &local);
            local.tm_isdst = -1;
            return std::mktime(&local);
        };
    }

    void addBooks(FakeSpreadsheet& spreadsheet) const {
        spreadsheet.addWorkbook(a, Strings{"S1", "S2"});
        spreadsheet.addWorkbook(b, Strings{"S1"});
    }

    void addEntry(const std::string& path, const std::string& sheet, bool checked = true) {
        const int row = lists.merge.add(path);
        lists.merge.setSubItem1(row, sheet);
        lists.merge.setChecked(row, checked);
    }

    bool merge() { return MergeSheets(lists, world.factory(), output, outcome); }
    std::optional<std::filesystem::path> command() {
        return Merge(lists, ui, world.factory(), options);
    }

    // The opening, closing and copying calls, which say what happened to the sources.
    Strings sourceTraffic() const {
        Strings traffic;
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
    testing::RecordingUiPort ui;
    MergeCommandOptions options;
};

TEST_F(MergeSheetsTest, AdjacentEntriesOfOneWorkbookShareOneOpeningAndOneThatComesBackReopens) {
    spreadsheet::MergeReport report;
    report.add({ReportKind::SheetRenamed, "b.xlsx", "S1", "S1 (2)", "renamed"});
    world.setReport(report);
    world.setNewWorkbookSheetCount(3);
    addEntry(a, "S1");
    addEntry(a, "S2");
    addEntry(b, "S1");
    addEntry(a, "S2");

    ASSERT_TRUE(merge()) << outcome.failure;

    const std::string before = std::string(",before Result!") + kPlaceholderSheetName + ")";
    EXPECT_EQ(
        sourceTraffic(),
        (Strings{"Open(" + a + ")", "Copy(a.xlsx!S1" + before, "Copy(a.xlsx!S2" + before,
                 "Close(a.xlsx,1)", "Open(" + b + ")", "Copy(b.xlsx!S1" + before, "Close(b.xlsx,1)",
                 "Open(" + a + ")", "Copy(a.xlsx!S2" + before, "Close(a.xlsx,1)"}));
    EXPECT_EQ(*world.saved(output), (Sheets{{"S1", "a.xlsx!S1"},
                                            {"S2", "a.xlsx!S2"},
                                            {"S1 (2)", "b.xlsx!S1"},
                                            {"S2 (2)", "a.xlsx!S2"}}));
    EXPECT_EQ(world.applicationsCreated(), 1);
    EXPECT_EQ(world.applicationsAlive(), 0) << "the instance holds temporary files until it quits";
    ASSERT_EQ(outcome.report.items.size(), 1u) << "the application's report is handed back";
    EXPECT_EQ(outcome.report.items[0].resultSheet, "S1 (2)");
}

TEST_F(MergeSheetsTest, ProgressStepsThroughEveryEntryAndUncheckedOnesDoNotReopen) {
    // 10 entries, 3 checked; the unchecked ones between two of A must not close A.
    for (int i = 1; i <= 10; ++i) {
        addEntry(i <= 8 ? a : b, i <= 8 && i % 2 == 0 ? "S2" : "S1", i == 1 || i == 5 || i == 10);
    }
    std::vector<double> values;
    lists.progress.onChanged = [&] { values.push_back(lists.progress.value()); };
    world.failOn("Quit"); // a Quit that fails keeps the finished result

    ASSERT_TRUE(merge()) << outcome.failure;

    EXPECT_EQ(lists.progress.max(), 10);
    EXPECT_EQ(values, (std::vector<double>{0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10})); // Max set at 0
    EXPECT_EQ(world.callsStartingWith("Open(" + a + ")").size(), 1u);
    EXPECT_EQ(world.saved(output)->size(), 3u);
    EXPECT_TRUE(std::filesystem::exists(output));
}

TEST_F(MergeSheetsTest, NothingLeftToCopyOrARenamedWorksheetFailsTheWholeMerge) {
    std::filesystem::remove(b);
    addEntry(b, "S1");
    addEntry(a, "S1", false);
    EXPECT_FALSE(merge());
    EXPECT_GT(outcome.failureNumber, 0);
    EXPECT_NE(outcome.failure.find("'b.xlsx'"), std::string::npos) << outcome.failure;
    EXPECT_EQ(world.applicationsQuit(), 1);

    lists.merge.clear();
    addEntry(a, "S1");
    addEntry(a, "Renamed");
    addEntry(a, "S2");
    EXPECT_FALSE(merge());
    EXPECT_EQ(outcome.failureNumber, static_cast<int>(spreadsheet::ErrorCode::SheetNotFound));
    EXPECT_NE(outcome.failure.find("Renamed"), std::string::npos) << outcome.failure;
    EXPECT_EQ(world.applicationsAlive(), 0);
    EXPECT_FALSE(std::filesystem::exists(output));
    EXPECT_EQ(lists.progress.value(), 1) << "the bar keeps the value it reached";
}

TEST_F(MergeSheetsTest, ListIsLeftAsItWasAndEachResultOpensOnItsFirstSheet) {
    addEntry(a, "S2");
    addEntry(b, "S1", false);
    addEntry(a, "S1");
    lists.merge.select(2);
    const Strings before = testing::RowEntries(lists.merge, true);

    ASSERT_TRUE(merge()) << outcome.failure;
    ASSERT_TRUE(merge()) << outcome.failure;

    EXPECT_EQ(testing::RowEntries(lists.merge, true), before);
    EXPECT_EQ(lists.merge.selectedPosition(), 2);
    EXPECT_EQ(world.applicationsCreated(), 2);
    EXPECT_EQ(world.callsStartingWith("Select("),
              (Strings{"Select(Result!S2)", "Select(Result!S2)"}));
}

// An engine that cannot start, then every spreadsheet call of a merge, made to fail in turn: the
// merge reports failure, the instance is quit at once and nothing is left at the output.
TEST_F(MergeSheetsTest, FailureAtEachStepQuitsAndLeavesNoOutput) {
    addEntry(a, "S1");
    addEntry(a, "S2");
    addEntry(b, "S1");
    const auto none = [] { return std::unique_ptr<spreadsheet::Application>(); };
    for (const auto& factory : {spreadsheet::ApplicationFactory(none), {}}) {
        EXPECT_FALSE(MergeSheets(lists, factory, output, outcome));
        EXPECT_GT(outcome.failureNumber, 0);
        EXPECT_FALSE(std::filesystem::exists(output));
    }
    ASSERT_TRUE(merge());
    const Strings cleanRun = world.calls();
    // The last call of a clean run is the Quit that follows the finished result.
    ASSERT_EQ(cleanRun.back(), "Quit");

    for (std::size_t step = 1; step < cleanRun.size(); ++step) {
        SCOPED_TRACE("failing call " + std::to_string(step) + ": " + cleanRun[step - 1]);
        FakeSpreadsheet failing;
        addBooks(failing);
        failing.failAtCall(static_cast<int>(step));
        std::filesystem::remove(output);

        EXPECT_FALSE(MergeSheets(lists, failing.factory(), output, outcome));

        EXPECT_NE(outcome.failure.find(FakeSpreadsheet::kInjectedFailure), std::string::npos);
        EXPECT_GT(outcome.failureNumber, 0);
        EXPECT_FALSE(std::filesystem::exists(output));
        EXPECT_EQ(failing.applicationsAlive(), 0);
        // Only the Quit follows the failing call (no instance at the first: nothing to quit).
        EXPECT_EQ(failing.calls().size(), step == 1 ? 1u : step + 1);
        EXPECT_EQ(failing.applicationsQuit(), step == 1 ? 0 : 1);
        EXPECT_EQ(failing.calls().back(), step == 1 ? cleanRun[0] : "Quit");
    }
}

// The sources are named to the application before it opens any: each checked entry's existing
// file, once, in list order (legacy ones are converted together); a wait repaints the window.
// Vanished files and folders are skipped, not silently, and do not close the open source.
TEST_F(MergeSheetsTest, CheckedExistingFilesAreNamedOnceBeforeAnyOpeningAndTheRestSkipped) {
    const std::string c = dir.write("c.ods", "c").string();
    const std::string gone = dir.write("gone.xls", "g").string();
    world.addWorkbook(c, Strings{"S1"});
    world.addWorkbook(gone, Strings{"S1"});
    std::filesystem::remove(gone);
    addEntry(a, "S2");
    addEntry(b, "S1", false);
    addEntry(gone, "S1");
    addEntry(dir.path().string(), "S1"); // a folder
    addEntry(a, "S1");
    addEntry(c, "S1");
    addEntry(b, "S1", false);
    world.waitWhilePreparing = true;
    std::vector<double> barWhenRepainted;
    lists.progress.onChanged = [&] { barWhenRepainted.push_back(lists.progress.value()); };

    ASSERT_TRUE(merge()) << outcome.failure;

    EXPECT_EQ(world.prepared, std::vector<Paths>{(Paths{a, c})});
    for (std::size_t i = 0; i < world.callsBeforePrepare; ++i) {
        EXPECT_NE(world.calls()[i].rfind("Open(", 0), 0u) << "opened before: " << world.calls()[i];
    }
    EXPECT_EQ(world.callsStartingWith("Open("), (Strings{"Open(" + a + ")", "Open(" + c + ")"}));
    EXPECT_EQ(*world.saved(output),
              (Sheets{{"S2", "a.xlsx!S2"}, {"S1", "a.xlsx!S1"}, {"S1 (2)", "c.ods!S1"}}));
    // Max set (value 0), the wait (value still 0), then the seven entries.
    ASSERT_GE(barWhenRepainted.size(), 3u);
    EXPECT_EQ(barWhenRepainted[1], 0.0) << "a wait repaints without moving the bar";
    EXPECT_EQ(barWhenRepainted[2], 1.0);
    EXPECT_EQ(lists.progress.value(), 7);
    ASSERT_EQ(outcome.report.items.size(), 2u);
    EXPECT_EQ(outcome.report.items[0].sourceFile, "gone.xls");
    EXPECT_NE(outcome.report.items[0].message.find("'gone.xls' no longer exists"),
              std::string::npos);
    EXPECT_EQ(outcome.report.items[1].sourceFile, dir.path().filename().string());
}

TEST_F(MergeSheetsTest, CommandWithNothingCheckedStartsNothing) {
    EXPECT_FALSE(command());
    addEntry(a, "S1", false);
    lists.progress.setMax(55);
    EXPECT_FALSE(command());

    EXPECT_EQ(ui.messageTexts(), (Strings{kNothingToMergeMessage, kNothingToMergeMessage}));
    EXPECT_EQ(ui.messages[0].icon, lists::MessageIcon::Information);
    EXPECT_EQ(world.applicationsCreated(), 0);
    EXPECT_EQ(lists.progress.max(), 55) << "the progress bar is not touched";
    EXPECT_TRUE(std::filesystem::is_empty(dir / "tmp"));
}

TEST_F(MergeSheetsTest, CommandFailureGivesItsReasonThenMergeFailedAndLeavesNothing) {
    addEntry(a, "S1");
    addEntry(a, "Renamed since");
    addEntry(a, "S2");
    std::vector<double> progressWhileShown;
    ui.onMessage = [&](const testing::RecordedMessage&) {
        progressWhileShown.push_back(lists.progress.value());
    };
    EXPECT_FALSE(command());
    // An unusable temporary location fails before any application starts.
    options.temporaryRoot = dir / "no" / "such" / "folder";
    EXPECT_FALSE(command());

    ASSERT_EQ(ui.messages.size(), 4u);
    EXPECT_NE(ui.messages[0].text.find("Renamed since"), std::string::npos);
    EXPECT_NE(ui.messages[2].text.find("no/such/folder"), std::string::npos) << ui.messages[2].text;
    for (int i : {1, 3}) {
        EXPECT_EQ(ui.messages[i].text, kMergeFailedMessage);
        EXPECT_EQ(ui.messages[i].icon, lists::MessageIcon::Critical);
    }
    EXPECT_EQ(progressWhileShown, (std::vector<double>{1, 1, 0, 0}));
    EXPECT_EQ(lists.progress.value(), 0);
    EXPECT_TRUE(ui.openedFiles.empty());
    EXPECT_TRUE(std::filesystem::is_empty(dir / "tmp")) << "no output and no folder left";
    EXPECT_EQ(world.applicationsCreated(), 1);
    EXPECT_EQ(world.applicationsAlive(), 0);
}

TEST_F(MergeSheetsTest, CommandWithoutAProgramLetsTheUserSaveTheResultOrKeepsItWhereItIs) {
    addEntry(a, "S1");
    ui.openFileSucceeds = false;
    const auto unwritable = dir / "missing-folder" / "x.xlsx";
    const auto chosen = dir / "chosen.xlsx";
    ui.saveAnswers = {unwritable, chosen};

    EXPECT_EQ(command(), chosen);
    EXPECT_EQ(testing::readFile(chosen), "S1\n");
    ASSERT_EQ(ui.saveRequests.size(), 2u) << "asked again after the failed save";
    EXPECT_EQ(ui.saveRequests[0], "Merged 2026-12-06 14.03.21.xlsx");
    ASSERT_EQ(ui.messages.size(), 1u);
    EXPECT_NE(ui.messages[0].text.find(unwritable.string()), std::string::npos);
    EXPECT_TRUE(std::filesystem::is_empty(dir / "tmp")) << "the temporary copy is gone";
    EXPECT_FALSE(std::filesystem::exists(unwritable.parent_path()));

    // The save cancelled: the result stays in the temporary folder, and the message says where.
    const auto kept = command();
    ASSERT_TRUE(kept);
    EXPECT_TRUE(std::filesystem::exists(*kept));
    ASSERT_EQ(ui.messages.size(), 2u);
    EXPECT_EQ(ui.messages[1].icon, lists::MessageIcon::Information);
    EXPECT_NE(ui.messages[1].text.find(kept->string()), std::string::npos);
}

} // namespace
} // namespace quillory::merge
