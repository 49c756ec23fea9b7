// Browsing and merging end to end in the real window on the offscreen platform: real workbooks
// written by libxlsxwriter (and a legacy .xls), the real engine, real clicks; the result is read
// back with the engine and with python3-openpyxl.

#include "WindowTestSupport.h"
#include "merge/MergeCommand.h"
#include "support/ListContents.h"
#include "support/RecordingUiPort.h"
#include "support/ScopedEnv.h"
#include "support/TempDir.h"

#include <QAbstractButton>
#include <QAction>
#include <QProcess>
#include <QStandardPaths>
#include <QtTest>
#include <memory>

using quillory::mainwindow::Form1;
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
    void init();
    void cleanup();
    void browseBuildReorderAndMerge();
    void failedMergeLeavesNothingBehind();
    void legacyFolderOfXlsAndXlsxBrowsedAndMerged();

private:
    std::unique_ptr<TempDir> dir;
    std::filesystem::path books;
    RecordingUiPort ui;
    std::unique_ptr<Form1> form;
};

void BrowseMergeTest::init() {
    dir = std::make_unique<TempDir>();
    books = dir->path() / "books";
    std::filesystem::create_directories(books);
    if (!quillory::testing::WriteWorkbook(books / "alpha.xlsx", {{"North", 3}, {"South", 4}})) {
        QSKIP("libxlsxwriter is not installed: no fixture workbooks can be written");
    }
    quillory::testing::WriteWorkbook(books / "beta.xlsx", {{"Summary", 2}});
    quillory::testing::WriteWorkbook(books / "gamma.xlsx", {{"One", 5}, {"Two", 1}});
    dir->write("books/broken.xlsx", "this is not a workbook");
    dir->write("books/notes.txt", "not listed");
    dir->write("books/~$alpha.xlsx", "lock file, not listed");
    // A folder source, written with a trailing separator and CR LF as on Windows.
    dir->write("program/EXCEL.txt", books.string() + "/\r\n");
    ui = RecordingUiPort();
    form = quillory::testing::StartEngineWindow(dir->path(), ui);
}

void BrowseMergeTest::cleanup() {
    form.reset();
    dir.reset();
}

void BrowseMergeTest::browseBuildReorderAndMerge() {
    auto& lists = form->lists();
    QCOMPARE(lists.sources.count(), 1);

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
    form->menuEntry("Merge")->trigger();

    QCOMPARE(ui.openedFiles.size(), std::size_t{1});
    const std::filesystem::path result = ui.openedFiles.front();
    QVERIFY(std::filesystem::exists(result));
    QCOMPARE(result.parent_path().parent_path(), dir->path() / "tmp");
    QCOMPARE(EngineWorksheets(result), (Strings{"Two", "One", "North", "Two (2)", "South"}));
    QCOMPARE(lists.progress.value(), 0.0);
    QCOMPARE(lists.merge.count(), 6); // the list is left as it was
    // The second copy of gamma's "Two" was renamed: one message says so, after the result opened.
    QCOMPARE(ui.messages.size(), std::size_t{1});
    QCOMPARE(ui.messages[0].icon, quillory::lists::MessageIcon::Information);
    QVERIFY2(ui.messages[0].details.find("gamma.xlsx") != std::string::npos &&
                 ui.messages[0].details.find("Two (2)") != std::string::npos,
             ui.messages[0].details.c_str());

    const auto g = books / "gamma.xlsx";
    const auto a = books / "alpha.xlsx";
    const auto check = quillory::testing::CompareWithOpenpyxl(result, {{"Two", g, "Two"},
                                                                       {"One", g, "One"},
                                                                       {"North", a, "North"},
                                                                       {"Two (2)", g, "Two"},
                                                                       {"South", a, "South"}});
    if (!check.available) {
        QSKIP(check.output.constData());
    }
    QVERIFY2(check.passed, check.output.constData());

    if (const char* shots = std::getenv("QUILLORY_SCREENSHOT_DIR")) {
        // All four lists filled: the worksheets of gamma, the merge list as built.
        ClickRow(form->ListView2(), 4);
        QVERIFY(form->grab().save(QString::fromUtf8(shots) + "/screenshot-lists.png"));
    }
}

void BrowseMergeTest::failedMergeLeavesNothingBehind() {
    auto& lists = form->lists();
    ClickRow(form->ListView1(), 1);
    QTest::mouseClick(form->command(16), Qt::LeftButton); // alpha: North, South
    QCOMPARE(lists.merge.count(), 2);
    // A worksheet renamed since it was added.
    lists.merge.setSubItem1(2, "Renamed");

    QTest::mouseClick(form->command(18), Qt::LeftButton);

    QVERIFY(ui.openedFiles.empty());
    QVERIFY(!ui.messages.empty());
    QCOMPARE(ui.messages.back().text, std::string(quillory::merge::kMergeFailedMessage));
    QVERIFY(ui.messages.front().text.find("Renamed") != std::string::npos);
    QVERIFY(std::filesystem::is_empty(dir->path() / "tmp"));
    QCOMPARE(lists.progress.value(), 0.0);
}

// A folder mixing a legacy .xls workbook and an .xlsx one: the .xls is written by Gnumeric's
// converter from a libxlsxwriter workbook, listed natively, converted by LibreOffice at merge
// time.
void BrowseMergeTest::legacyFolderOfXlsAndXlsxBrowsedAndMerged() {
    constexpr int kConverterTimeoutMs = 120000;
    form.reset(); // this test's own window, over its own folder
    const QString ssconvert = QStandardPaths::findExecutable("ssconvert");
    if (ssconvert.isEmpty()) {
        QSKIP("Gnumeric's ssconvert is not installed: no .xls fixture can be written");
    }
    if (QStandardPaths::findExecutable("soffice").isEmpty()) {
        QSKIP("LibreOffice (soffice) is not installed: a .xls source cannot be converted");
    }
    TempDir legacy;
    const std::filesystem::path folder = legacy.path() / "folder";
    const std::filesystem::path originals = legacy.path() / "originals";
    std::filesystem::create_directories(folder);
    std::filesystem::create_directories(originals);

    // The .xls sheets out of name order, one name beyond ASCII: listing must keep both as written.
    const std::vector<std::string> legacySheets = {"Zahlen \xC3\xA4", "Archiv", "M\xC3\xA4rz 2"};
    std::vector<quillory::testing::SheetContent> ledger;
    for (const auto& sheet : legacySheets) {
        ledger.push_back({sheet, 6});
    }
    if (!quillory::testing::WriteWorkbook(originals / "ledger.xlsx", ledger)) {
        QSKIP("libxlsxwriter is not installed: no fixture workbooks can be written");
    }
    quillory::testing::WriteWorkbook(folder / "annual.xlsx", {{"Totals", 3}});
    QProcess convert;
    convert.start(ssconvert, {QString::fromStdString((originals / "ledger.xlsx").string()),
                              QString::fromStdString((folder / "ledger.xls").string())});
    QVERIFY(convert.waitForFinished(kConverterTimeoutMs));
    QVERIFY2(convert.exitCode() == 0 && std::filesystem::exists(folder / "ledger.xls"),
             convert.readAllStandardError().constData());
    legacy.write("program/EXCEL.txt", folder.string() + "\n");

    form = quillory::testing::StartEngineWindow(legacy.path(), ui);
    auto& lists = form->lists();

    ClickRow(form->ListView1(), 1);
    QCOMPARE(RowTexts(lists.workbooks), (Strings{"annual.xlsx", "ledger.xls"}));
    QCOMPARE(RowTexts(lists.worksheets), (Strings{"Totals"}));

    ClickRow(form->ListView2(), 2);
    QVERIFY2(ui.messages.empty(), ui.messages.empty() ? "" : ui.messages.front().text.c_str());
    QCOMPARE(RowTexts(lists.worksheets), (Strings{"Zahlen \xC3\xA4", "Archiv", "M\xC3\xA4rz 2"}));
    // Listing is native: no conversion has left anything in the temporary folder.
    QVERIFY(std::filesystem::is_empty(legacy.path() / "tmp"));

    QTest::mouseClick(form->command(20), Qt::LeftButton); // Add All Excel Files
    QVERIFY2(ui.messages.empty(), ui.messages.empty() ? "" : ui.messages.front().text.c_str());
    QCOMPARE(MergeEntries(lists.merge), (Strings{"annual.xlsx|Totals", "ledger.xls|Zahlen \xC3\xA4",
                                                 "ledger.xls|Archiv", "ledger.xls|M\xC3\xA4rz 2"}));

    std::vector<std::filesystem::path> heldAtOpen;
    ui.onOpenFile = [&](const std::filesystem::path& file) {
        // Copied at once: the result belongs to the opener from here on.
        const auto copy = legacy.path() / "result-copy.xlsx";
        std::filesystem::copy_file(file, copy);
        heldAtOpen.push_back(copy);
    };
    // The converter works in the system's temporary folder: here, one the test can look into.
    const std::filesystem::path systemTemporary = legacy.path() / "system-tmp";
    std::filesystem::create_directories(systemTemporary);
    {
        quillory::testing::ScopedEnv temporary("TMPDIR", systemTemporary.c_str());
        form->menuEntry("Merge")->trigger();
        form.reset();
    }
    std::string leftBehind;
    for (const auto& entry : std::filesystem::directory_iterator(systemTemporary)) {
        leftBehind += entry.path().filename().string() + " ";
    }
    QVERIFY2(leftBehind.empty(), ("left in the temporary folder: " + leftBehind).c_str());

    QCOMPARE(ui.openedFiles.size(), std::size_t{1});
    QCOMPARE(heldAtOpen.size(), std::size_t{1});
    for (const auto& message : ui.messages) {
        QVERIFY2(message.icon != quillory::lists::MessageIcon::Critical, message.text.c_str());
    }
    const std::filesystem::path result = heldAtOpen.front();
    QCOMPARE(EngineWorksheets(result),
             (Strings{"Totals", "Zahlen \xC3\xA4", "Archiv", "M\xC3\xA4rz 2"}));

    std::vector<quillory::testing::SheetSource> expected{
        {"Totals", folder / "annual.xlsx", "Totals"}};
    for (const auto& sheet : legacySheets) {
        expected.push_back({sheet, originals / "ledger.xlsx", sheet});
    }
    const auto check = quillory::testing::CompareWithOpenpyxl(result, expected);
    if (!check.available) {
        QSKIP(check.output.constData());
    }
    QVERIFY2(check.passed, check.output.constData());
}

QTEST_MAIN(BrowseMergeTest)
#include "BrowseMerge_test.moc"
