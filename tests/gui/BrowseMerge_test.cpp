// Browsing and merging end to end in the real window on the offscreen platform: real workbooks
// written by libxlsxwriter, the real engine, real clicks; the result's sheets are read back with
// the engine (their cells are the merge fidelity tests' concern). A failed merge and legacy
// sources take the same window code; their own rules are the merge command's and the engine's.

#include "WindowTestSupport.h"
#include "support/ListContents.h"
#include "support/RecordingUiPort.h"
#include "support/TempDir.h"

#include <QAbstractButton>
#include <QAction>
#include <QtTest>

using quillory::testing::ClickRow;
using quillory::testing::DoubleClickRow;
using quillory::testing::EngineWorksheets;
using quillory::testing::MergeEntries;
using quillory::testing::RecordingUiPort;
using quillory::testing::RowTexts;
using quillory::testing::TempDir;
using Strings = std::vector<std::string>;

class BrowseMergeTest : public QObject {
    Q_OBJECT

private slots:
    void browseBuildReorderAndMerge();
};

void BrowseMergeTest::browseBuildReorderAndMerge() {
    quillory::testing::TestWindow window;
    const TempDir& dir = window.dir;
    const std::filesystem::path books = dir.path() / "books";
    std::filesystem::create_directories(books);
    if (!quillory::testing::WriteWorkbook(books / "alpha.xlsx", {{"North", 3}, {"South", 4}})) {
        QSKIP("libxlsxwriter is not installed: no fixture workbooks can be written");
    }
    quillory::testing::WriteWorkbook(books / "beta.xlsx", {{"Summary", 2}});
    quillory::testing::WriteWorkbook(books / "gamma.xlsx", {{"One", 5}, {"Two", 1}});
    dir.write("books/broken.xlsx", "this is not a workbook");
    dir.write("books/notes.txt", "not listed");
    dir.write("books/~$alpha.xlsx", "lock file, not listed");
    // A folder source, written with a trailing separator and CR LF as on Windows.
    dir.write("program/EXCEL.txt", books.string() + "/\r\n");
    RecordingUiPort& ui = window.ui;
    quillory::mainwindow::Form1* const form = &window.start("program");
    auto& lists = form->lists();

    ClickRow(form->ListView1(), 1);
    QCOMPARE(RowTexts(lists.workbooks),
             (Strings{"alpha.xlsx", "beta.xlsx", "broken.xlsx", "gamma.xlsx"}));
    QCOMPARE(RowTexts(lists.worksheets), (Strings{"North", "South"}));
    QVERIFY(ui.messages.empty());
    QVERIFY(!ui.busy);

    ClickRow(form->ListView2(), 4);
    QCOMPARE(RowTexts(lists.worksheets), (Strings{"One", "Two"}));
    DoubleClickRow(form->ListView3(), 2);
    QCOMPARE(MergeEntries(lists.merge), (Strings{"gamma.xlsx|Two"}));
    // One separator, whatever the source was written with.
    QCOMPARE(lists.merge.text(1), (books / "gamma.xlsx").string());

    ClickRow(form->ListView2(), 3);
    QCOMPARE(ui.messages.size(), std::size_t{2});
    QCOMPARE(ui.messages[1].text, std::string("Open excel file failed!"));
    QVERIFY(ui.messages[0].text.find("broken.xlsx") != std::string::npos);
    QVERIFY(lists.worksheets.empty());

    ClickRow(form->ListView2(), 2);
    QTest::mouseClick(form->command(16), Qt::LeftButton); // Add All Sheets
    QCOMPARE(MergeEntries(lists.merge), (Strings{"gamma.xlsx|Two", "beta.xlsx|Summary"}));

    // Add All Excel Files with beta unchecked: the damaged workbook speaks up, the rest are added.
    lists.workbooks.setChecked(2, false);
    ui.messages.clear();
    QTest::mouseClick(form->command(20), Qt::LeftButton);
    QCOMPARE(ui.messages.size(), std::size_t{2});
    QCOMPARE(MergeEntries(lists.merge),
             (Strings{"gamma.xlsx|Two", "beta.xlsx|Summary", "alpha.xlsx|North", "alpha.xlsx|South",
                      "gamma.xlsx|One", "gamma.xlsx|Two"}));

    // Reorder: gamma|One two places up, then alpha|South down once; uncheck beta|Summary.
    ClickRow(form->ListView4(), 5);
    QTest::mouseClick(form->command(14), Qt::LeftButton);
    QTest::mouseClick(form->command(14), Qt::LeftButton);
    ClickRow(form->ListView4(), 5);
    QTest::mouseClick(form->command(15), Qt::LeftButton);
    QCOMPARE(MergeEntries(lists.merge),
             (Strings{"gamma.xlsx|Two", "beta.xlsx|Summary", "gamma.xlsx|One", "alpha.xlsx|North",
                      "gamma.xlsx|Two", "alpha.xlsx|South"}));
    QCOMPARE(lists.merge.selectedPosition(), 6);

    // One more with the arrow button, moved up one place and taken out again by double-click.
    QTest::mouseClick(form->command(10), Qt::LeftButton);
    ClickRow(form->ListView4(), 7);
    QTest::mouseClick(form->command(14), Qt::LeftButton);
    QCOMPARE(MergeEntries(lists.merge)[5], std::string("beta.xlsx|Summary"));
    DoubleClickRow(form->ListView4(), 6);
    QCOMPARE(MergeEntries(lists.merge),
             (Strings{"gamma.xlsx|Two", "beta.xlsx|Summary", "gamma.xlsx|One", "alpha.xlsx|North",
                      "gamma.xlsx|Two", "alpha.xlsx|South"}));
    QCOMPARE(lists.merge.selectedPosition(), 5);
    lists.merge.setChecked(2, false);

    ui.messages.clear();
    bool openedBeforeMessage = false;
    ui.onMessage = [&](const auto&) { openedBeforeMessage = ui.openedFiles.size() == 1; };
    form->menuEntry("Merge")->trigger();

    QCOMPARE(ui.openedFiles.size(), std::size_t{1});
    const std::filesystem::path result = ui.openedFiles.front();
    QCOMPARE(result.parent_path().parent_path(), dir.path() / "tmp");
    QCOMPARE(EngineWorksheets(result), (Strings{"Two", "One", "North", "Two (2)", "South"}));
    // The second copy of gamma's "Two" was renamed: one message says so, after the result opened.
    QCOMPARE(ui.messages.size(), std::size_t{1});
    QCOMPARE(ui.messages[0].icon, quillory::lists::MessageIcon::Information);
    QVERIFY(openedBeforeMessage);
    QVERIFY2(ui.messages[0].details.find("gamma.xlsx") != std::string::npos &&
                 ui.messages[0].details.find("Two (2)") != std::string::npos,
             ui.messages[0].details.c_str());

    if (const char* shots = std::getenv("QUILLORY_SCREENSHOT_DIR")) {
        // All four lists filled: the worksheets of gamma, the merge list as built.
        ClickRow(form->ListView2(), 4);
        QVERIFY(form->grab().save(QString::fromUtf8(shots) + "/screenshot-lists.png"));
    }
}

QTEST_MAIN(BrowseMergeTest)
#include "BrowseMerge_test.moc"
