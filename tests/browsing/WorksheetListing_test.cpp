#include "browsing/WorkbookListing.h"
#include "browsing/WorksheetListing.h"
#include "browsing/WorksheetReading.h"
#include "support/FakeApplication.h"
#include "support/RecordingUiPort.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

namespace quillory::browsing {
namespace {

using Strings = std::vector<std::string>;
using spreadsheet::SheetKind;
using testing::FakeSpreadsheet;

class WorksheetListingTest : public ::testing::Test {
protected:
    WorksheetListingTest() {
        book = dir.write("book.xlsx", "x").string();
        addBook(world);
        lists.sources.add(book);
        ListWorkbooks(lists, book);
    }

    // Three worksheets with a chart sheet between the first two.
    void addBook(FakeSpreadsheet& spreadsheet) const {
        spreadsheet.addWorkbook(
            book, std::vector<FakeSpreadsheet::SheetSpec>{{"One", SheetKind::Worksheet},
                                                          {"Chart", SheetKind::ChartSheet},
                                                          {"Two", SheetKind::Worksheet},
                                                          {"Three", SheetKind::Worksheet}});
    }

    Strings worksheetNames() const {
        Strings names;
        for (int i = 1; i <= lists.worksheets.count(); ++i) {
            names.push_back(lists.worksheets.text(i));
        }
        return names;
    }

    testing::TempDir dir;
    std::string book;
    FakeSpreadsheet world;
    testing::RecordingUiPort ui;
    lists::MainLists lists;
};

TEST_F(WorksheetListingTest, ListsWorksheetsInTabOrderWithoutChartSheets) {
    ListWorksheets(lists, ui, world.factory());

    EXPECT_EQ(worksheetNames(), (Strings{"One", "Two", "Three"}));
    for (int i = 1; i <= 3; ++i) {
        EXPECT_TRUE(lists.worksheets.checked(i));
    }
    EXPECT_EQ(lists.worksheets.selectedPosition(), 1);
    EXPECT_EQ(world.callsStartingWith("Open("), (Strings{"Open(" + book + ")"}));
    EXPECT_EQ(world.callsStartingWith("Close("), (Strings{"Close(book.xlsx,0)"}));
    EXPECT_EQ(world.calls().back(), "Quit");
    EXPECT_EQ(world.applicationsAlive(), 0);
    EXPECT_TRUE(ui.messages.empty());
}

TEST_F(WorksheetListingTest, ListingTwiceGivesTheSameListFromScratch) {
    ListWorksheets(lists, ui, world.factory());
    const Strings first = worksheetNames();
    WorkbookListItemClick(lists, ui, world.factory());

    EXPECT_EQ(worksheetNames(), first);
    EXPECT_EQ(world.applicationsCreated(), 2);
    EXPECT_EQ(ui.busyCalls, (std::vector<bool>{true, false}));
}

TEST_F(WorksheetListingTest, NoChosenWorkbookStartsNothingAndSaysNothing) {
    lists.worksheets.add("stale");
    std::filesystem::remove(book);

    ListWorksheets(lists, ui, world.factory());

    EXPECT_TRUE(lists.worksheets.empty());
    EXPECT_EQ(world.applicationsCreated(), 0);
    EXPECT_TRUE(ui.messages.empty());
}

TEST_F(WorksheetListingTest, UnreadableWorkbookShowsItsReasonThenOpenFailed) {
    world.addUnreadable(book, spreadsheet::ErrorCode::PasswordProtected,
                        "'book.xlsx' is password-protected.");

    ListWorksheets(lists, ui, world.factory());

    EXPECT_TRUE(lists.worksheets.empty());
    ASSERT_EQ(ui.messages.size(), 2u);
    EXPECT_EQ(ui.messages[0].text, "'book.xlsx' is password-protected.");
    EXPECT_EQ(ui.messages[0].icon, lists::MessageIcon::Critical);
    EXPECT_EQ(ui.messages[1].text, kOpenFailedMessage);
    EXPECT_EQ(ui.messages[1].icon, lists::MessageIcon::Critical);
    EXPECT_EQ(world.applicationsQuit(), 1);
}

TEST_F(WorksheetListingTest, FailureHalfWayKeepsTheRowsListedAndClosesWhatWasOpened) {
    world.failOn("Name(book.xlsx!Two)");

    ListWorksheets(lists, ui, world.factory());

    EXPECT_EQ(worksheetNames(), (Strings{"One"}));
    EXPECT_EQ(world.callsStartingWith("Close("), (Strings{"Close(book.xlsx,0)"}));
    EXPECT_EQ(world.calls().back(), "Quit");
    EXPECT_EQ(ui.messageTexts().back(), kOpenFailedMessage);
}

// Every call of a listing, made to fail in turn: the user hears of it, and nothing stays open.
TEST_F(WorksheetListingTest, FailureAtEachStepReportsAndLeavesNothingRunning) {
    ListWorksheets(lists, ui, world.factory());
    const std::size_t callCount = world.calls().size();

    for (std::size_t step = 1; step <= callCount; ++step) {
        SCOPED_TRACE("failing call " + world.calls()[step - 1]);
        FakeSpreadsheet failing;
        addBook(failing);
        failing.failAtCall(static_cast<int>(step));
        testing::RecordingUiPort failingUi;

        ListWorksheets(lists, failingUi, failing.factory());

        ASSERT_EQ(failingUi.messages.size(), 2u);
        EXPECT_NE(failingUi.messages[0].text.find(FakeSpreadsheet::kInjectedFailure),
                  std::string::npos);
        EXPECT_EQ(failingUi.messages[1].text, kOpenFailedMessage);
        EXPECT_EQ(failing.applicationsAlive(), 0);
    }
}

} // namespace
} // namespace quillory::browsing
