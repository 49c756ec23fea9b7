// The source-list commands on the list models, with scripted dialogs, a recording UI port and
// recording stand-ins for the workbook and worksheet listings.

#include "sources/SourceListCommands.h"
#include "support/ListContents.h"
#include "support/RecordingUiPort.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>
#include <stdexcept>

using namespace quillory::lists;
using namespace quillory::sources;
using quillory::testing::RecordingUiPort;
using quillory::testing::RowIcons;
using quillory::testing::RowTexts;
using quillory::testing::TempDir;
using Strings = std::vector<std::string>;

namespace {

struct ScriptedDialogs : SourceDialogs {
    std::optional<std::string> fileAnswer;
    std::optional<std::string> folderAnswer;
    bool fail = false;
    Strings titles;

    std::optional<std::string> ChooseWorkbookFile(const std::string& title) override {
        return answer(title, fileAnswer);
    }
    std::optional<std::string> ChooseFolder(const std::string& title) override {
        return answer(title, folderAnswer);
    }
    std::optional<std::string> answer(const std::string& title,
                                      const std::optional<std::string>& value) {
        titles.push_back(title);
        return fail ? throw std::runtime_error("dialog failed") : value;
    }
};

struct VisibilityRecorder : ListObserver {
    std::vector<int> shown;
    void ensureVisibleRequested(int position) override { shown.push_back(position); }
};

void addSources(ListModel& sources, std::initializer_list<std::string> paths, int icon) {
    for (const std::string& path : paths) {
        sources.setSmallIcon(sources.add(path), icon);
    }
}

// Lists, port, dialogs and listings recording what they were asked.
class SourceCommands : public ::testing::Test {
protected:
    SourceCommands() {
        lists.sources.addObserver(&visibility);
        lists.merge.add("/books/a.xlsx");
        lists.merge.setSubItem1(1, "Sheet1");
    }
    ~SourceCommands() override { lists.sources.removeObserver(&visibility); }

    SourceListContext context() {
        return SourceListContext{
            lists, ui, dialogs,
            [this](const std::string& path) {
                // The workbook list is refilled with the normal pointer.
                calls.push_back(std::string(ui.busy ? "busy " : "") + "workbooks " + path);
                if (failWorkbooks) {
                    throw std::runtime_error("listing failed");
                }
                lists.workbooks.clear();
                lists.workbooks.add("listed from " + path);
            },
            [this] {
                calls.push_back(std::string(ui.busy ? "busy " : "") + "worksheets");
                lists.worksheets.clear();
                lists.worksheets.add("Sheet1");
            }};
    }

    // The four lists as one comparable value.
    std::vector<Strings> snapshot() const {
        return {RowTexts(lists.sources), RowTexts(lists.workbooks), RowTexts(lists.worksheets),
                RowTexts(lists.merge)};
    }

    MainLists lists;
    RecordingUiPort ui;
    ScriptedDialogs dialogs;
    VisibilityRecorder visibility;
    Strings calls;
    bool failWorkbooks = false;
};

TEST_F(SourceCommands, CancelAnEmptyFolderOrAFailingDialogChangesNoneOfTheFourLists) {
    addSources(lists.sources, {"/a.xlsx", "/b"}, kIconFile);
    lists.workbooks.add("a.xlsx");
    lists.worksheets.add("Sheet1");
    const auto before = snapshot();
    AddExcel(context());
    AddFolder(context());
    dialogs.folderAnswer = "";
    AddFolder(context());
    dialogs.fail = true;
    AddExcel(context());
    AddFolder(context());
    EXPECT_EQ(dialogs.titles.size(), 5u);
    EXPECT_EQ(snapshot(), before);
    EXPECT_EQ(lists.sources.selectedPosition(), 1);
    EXPECT_TRUE(calls.empty());
    EXPECT_TRUE(ui.messages.empty());
    EXPECT_FALSE(ui.busy); // the pointer is put back each time

    // A failure after the row was appended leaves the row in the list, silently.
    dialogs.fail = false;
    failWorkbooks = true;
    dialogs.fileAnswer = "/books/c.xlsx";
    AddExcel(context());
    EXPECT_EQ(lists.sources.text(3), "/books/c.xlsx");
    EXPECT_EQ(calls, Strings{"workbooks /books/c.xlsx"}); // no worksheet listing
    EXPECT_TRUE(ui.messages.empty());
    EXPECT_FALSE(ui.busy);
}

TEST_F(SourceCommands, RemoveFileSelectsTheRowBeforeTheRemovedOneAndEmptiesTheListsAfterTheLast) {
    // The row selected (0: rows, but none selected), the rows left and the one then selected.
    const std::tuple<int, Strings, int> cases[] = {{3, {"/1", "/2", "/4", "/5"}, 2},
                                                   {1, {"/2", "/3", "/4", "/5"}, 1},
                                                   {5, {"/1", "/2", "/3", "/4"}, 4},
                                                   {0, {"/1", "/2", "/3", "/4", "/5"}, 0}};
    for (const auto& [selected, left, selectedAfter] : cases) {
        SCOPED_TRACE(selected);
        lists.sources.clear();
        addSources(lists.sources, {"/selected", "/1", "/2", "/3", "/4", "/5"}, kIconFolder);
        lists.sources.remove(1);
        if (selected > 0) {
            lists.sources.select(selected);
        }
        calls.clear();
        RemoveFile(context());
        EXPECT_EQ(RowTexts(lists.sources), left);
        EXPECT_EQ(lists.sources.selectedPosition(), selectedAfter);
        const Strings listed{"workbooks " + left[std::max(selectedAfter, 1) - 1],
                             "busy worksheets"};
        EXPECT_EQ(calls, selectedAfter == 0 ? Strings{} : listed);
        EXPECT_FALSE(ui.busy);
    }
    // The only row removed, or all rows: three lists empty, the merge list stays.
    for (bool all : {false, true}) {
        lists.sources.clear();
        addSources(lists.sources, {"/books/a.xlsx"}, kIconFile);
        lists.worksheets.add("Sheet1");
        calls.clear();
        if (all) {
            RemoveAllListItems(lists);
        } else {
            RemoveFile(context());
        }
        EXPECT_EQ(snapshot(), (std::vector<Strings>{{}, {}, {}, {"/books/a.xlsx"}}));
        EXPECT_TRUE(calls.empty());
    }
    RemoveFile(context()); // on an empty list: nothing
    EXPECT_TRUE(calls.empty());
    EXPECT_FALSE(ui.busy);
    EXPECT_TRUE(ui.messages.empty());
}

TEST_F(SourceCommands, MovesCarryTextAndIconAndStopAtTheEnds) {
    addSources(lists.sources, {"/file.xlsx"}, kIconFile);
    addSources(lists.sources, {"/gone.xlsx"}, kIconMissing);
    addSources(lists.sources, {"/folder"}, kIconFolder);
    lists.workbooks.add("file.xlsx");
    // The row selected, up or down, then each row's icon and the row selected.
    const std::tuple<int, bool, std::vector<int>, int> steps[] = {
        {2, true, {kIconMissing, kIconFile, kIconFolder}, 1},
        {1, true, {kIconMissing, kIconFile, kIconFolder}, 1}, // at the top
        {2, false, {kIconMissing, kIconFolder, kIconFile}, 3},
        {3, false, {kIconMissing, kIconFolder, kIconFile}, 3}}; // at the bottom
    for (const auto& [select, up, icons, selected] : steps) {
        lists.sources.select(select);
        (up ? MoveSourceUp : MoveSourceDown)(lists.sources);
        EXPECT_EQ(RowIcons(lists.sources), icons);
        EXPECT_EQ(lists.sources.selectedPosition(), selected);
    }
    EXPECT_EQ(RowTexts(lists.sources), (Strings{"/gone.xlsx", "/folder", "/file.xlsx"}));
    EXPECT_EQ(visibility.shown, (std::vector<int>{1, 3}));
    EXPECT_EQ(RowTexts(lists.workbooks), Strings{"file.xlsx"});
    EXPECT_TRUE(calls.empty());

    // Without a selection, or with one row, nothing moves.
    lists.sources.select(lists.sources.add("/removed"));
    lists.sources.remove(4);
    ListModel one;
    one.add("/only");
    ListModel empty;
    for (ListModel* list : {&lists.sources, &one, &empty}) {
        MoveSourceUp(*list);
        MoveSourceDown(*list);
    }
    EXPECT_EQ(RowTexts(lists.sources), (Strings{"/gone.xlsx", "/folder", "/file.xlsx"}));
    EXPECT_EQ(RowTexts(one), Strings{"/only"});
    EXPECT_EQ(one.selectedPosition(), 1);
    EXPECT_TRUE(empty.empty());
}

TEST(ExcelFilePattern, MatchesDotXlAnywhereWithoutRegardToCase) {
    for (const char* name :
         {"a.xls", "B.XLSX", "c.Xlsm", "d.xlsb", "e.xla", "f.xlsx.bak", "g.xl", "h.part.XLT"}) {
        EXPECT_TRUE(MatchesExcelFilePattern(name)) << name;
    }
    for (const char* name : {"notes.txt", "xlsx", "book.csv", "a.x", "x.lsx", ".", ""}) {
        EXPECT_FALSE(MatchesExcelFilePattern(name)) << name;
    }
}

TEST_F(SourceCommands, DroppedFoldersAndWorkbooksAreAddedAndOtherFilesNamed) {
    TempDir temp;
    // Only other files: nothing added, and a few of them named in the message.
    Strings paths;
    for (int i = 0; i < 13; ++i) {
        paths.push_back(temp.write("file" + std::to_string(i) + ".txt", "x").string());
    }
    EXPECT_EQ(AddDroppedPaths(context(), paths).added, 0);
    EXPECT_TRUE(lists.sources.empty());
    EXPECT_TRUE(calls.empty());
    ASSERT_EQ(ui.messages.size(), 1u);
    EXPECT_NE(ui.messages[0].text.find("file9.txt"), std::string::npos);
    EXPECT_EQ(ui.messages[0].text.find("file10.txt"), std::string::npos);
    EXPECT_NE(ui.messages[0].text.find("and 3 more"), std::string::npos);

    const auto folder = temp / "  Ünïcode folder ";
    std::filesystem::create_directories(folder);
    const auto book = temp.write(" Résumé 2024.XLSX ", "x");
    const auto gone = temp / "gone.xlsx";
    const auto outcome =
        AddDroppedPaths(context(), {folder.string(), paths[0], book.string(), gone.string()});
    EXPECT_EQ(RowTexts(lists.sources), (Strings{folder.string(), book.string(), gone.string()}));
    EXPECT_EQ(RowIcons(lists.sources), (std::vector<int>{kIconFolder, kIconFile, kIconMissing}));
    // Each row added is scrolled to; the last is the current source, listed once.
    EXPECT_EQ(visibility.shown, (std::vector<int>{1, 2, 3}));
    EXPECT_EQ(lists.sources.selectedPosition(), 3);
    EXPECT_EQ(calls, (Strings{"workbooks " + gone.string(), "busy worksheets"}));
    EXPECT_FALSE(ui.busy);
    EXPECT_EQ(outcome.refused, Strings{paths[0]});
    ASSERT_EQ(ui.messages.size(), 2u);
    EXPECT_EQ(ui.messages[1].icon, MessageIcon::Information);
    EXPECT_NE(ui.messages[1].text.find("file0.txt"), std::string::npos);
}

} // namespace
