// Browsing and merging end to end in the real window on the offscreen platform: real workbooks
// written by libxlsxwriter, the real engine, real clicks; the result is read back with the engine
// and with python3-openpyxl.

#include "mainwindow/Form1.h"
#include "mainwindow/ListView.h"
#include "merge/MergeCommand.h"
#include "merge/MergeListCommands.h"
#include "support/RecordingUiPort.h"
#include "support/TempDir.h"

#include <QAbstractButton>
#include <QAction>
#include <QProcess>
#include <QtTest>
#include <memory>

#ifdef QUILLORY_HAVE_XLSXWRITER
#include <xlsxwriter.h>
#endif

using quillory::mainwindow::Form1;
using quillory::mainwindow::ListView;
using quillory::testing::RecordingUiPort;
using quillory::testing::TempDir;
namespace spreadsheet = quillory::spreadsheet;

namespace {

struct SheetContent {
    std::string name;
    int rows;
};

#ifdef QUILLORY_HAVE_XLSXWRITER
// A workbook whose every sheet holds a header naming book and sheet, then numbered rows, so a
// copy can be told from every other sheet.
void WriteWorkbook(const std::filesystem::path& file, const std::vector<SheetContent>& sheets) {
    lxw_workbook* workbook = workbook_new(file.c_str());
    lxw_format* bold = workbook_add_format(workbook);
    format_set_bold(bold);
    for (const auto& sheet : sheets) {
        lxw_worksheet* worksheet = workbook_add_worksheet(workbook, sheet.name.c_str());
        const std::string title = file.stem().string() + " / " + sheet.name;
        worksheet_write_string(worksheet, 0, 0, title.c_str(), bold);
        for (int row = 1; row <= sheet.rows; ++row) {
            worksheet_write_number(worksheet, static_cast<lxw_row_t>(row), 0, row * 1.5, nullptr);
            const std::string text = sheet.name + " row " + std::to_string(row);
            worksheet_write_string(worksheet, static_cast<lxw_row_t>(row), 1, text.c_str(),
                                   nullptr);
        }
    }
    if (workbook_close(workbook) != LXW_NO_ERROR) {
        throw std::runtime_error("cannot write " + file.string());
    }
}
#endif

QStringList RowTexts(const quillory::lists::ListModel& list) {
    QStringList texts;
    for (int i = 1; i <= list.count(); ++i) {
        texts << QString::fromStdString(list.text(i));
    }
    return texts;
}

// "file|sheet" per merge entry, file as a bare name.
QStringList MergeEntries(const quillory::lists::ListModel& merge) {
    QStringList entries;
    for (int i = 1; i <= merge.count(); ++i) {
        entries << QString::fromStdString(std::filesystem::path(merge.text(i)).filename().string() +
                                          "|" + merge.subItem1(i));
    }
    return entries;
}

QPoint RowCenter(ListView* view, int position) {
    const QModelIndex index = view->model()->index(position - 1, 0);
    view->scrollTo(index);
    return view->visualRect(index).center();
}

void ClickRow(ListView* view, int position) {
    QTest::mouseClick(view->viewport(), Qt::LeftButton, {}, RowCenter(view, position));
}

void DoubleClickRow(ListView* view, int position) {
    const QPoint at = RowCenter(view, position);
    QTest::mouseClick(view->viewport(), Qt::LeftButton, {}, at);
    QTest::mouseDClick(view->viewport(), Qt::LeftButton, {}, at);
}

// The worksheet names of a workbook, read with the engine.
QStringList EngineWorksheets(const std::filesystem::path& file) {
    auto application = spreadsheet::CreateEngineApplication();
    spreadsheet::Workbook& workbook = application->Workbooks().Open(file);
    QStringList names;
    for (int i = 1; i <= workbook.Worksheets().Count(); ++i) {
        names << QString::fromStdString(workbook.Worksheets().Item(i).Name());
    }
    workbook.Close();
    application->Quit();
    return names;
}

// Compares, with openpyxl, each sheet of the result with the source sheet it must equal: every
// cell value, and bold where the source is bold. Arguments: result, then result-sheet, source
// file, source sheet triples. Prints what differs.
constexpr const char* kCompareScript = R"(
import sys, openpyxl
result = openpyxl.load_workbook(sys.argv[1])
args = sys.argv[2:]
problems = []
if len(result.sheetnames) != len(args) // 3:
    problems.append("sheets %r" % result.sheetnames)
for i in range(0, len(args), 3):
    name, source_file, source_sheet = args[i:i + 3]
    copy = result[name]
    source = openpyxl.load_workbook(source_file)[source_sheet]
    def cells(ws):
        return [[(c.value, bool(c.font and c.font.b)) for c in row] for row in ws.iter_rows()]
    if cells(copy) != cells(source):
        problems.append("%s differs from %s!%s" % (name, source_file, source_sheet))
print("\n".join(problems))
sys.exit(1 if problems else 0)
)";

} // namespace

class BrowseMergeTest : public QObject {
    Q_OBJECT

private slots:
    void init();
    void cleanup();
    void browseBuildReorderAndMerge();
    void failedMergeLeavesNothingBehind();

private:
    void startWindow();

    std::unique_ptr<TempDir> dir;
    std::filesystem::path books;
    RecordingUiPort ui;
    std::unique_ptr<Form1> form;
};

void BrowseMergeTest::init() {
#ifndef QUILLORY_HAVE_XLSXWRITER
    QSKIP("libxlsxwriter is not installed: no fixture workbooks can be written");
#else
    dir = std::make_unique<TempDir>();
    books = dir->path() / "books";
    std::filesystem::create_directories(books);
    std::filesystem::create_directories(dir->path() / "tmp");
    WriteWorkbook(books / "alpha.xlsx", {{"North", 3}, {"South", 4}});
    WriteWorkbook(books / "beta.xlsx", {{"Summary", 2}});
    WriteWorkbook(books / "gamma.xlsx", {{"One", 5}, {"Two", 1}});
    dir->write("books/broken.xlsx", "this is not a workbook");
    dir->write("books/notes.txt", "not listed");
    dir->write("books/~$alpha.xlsx", "lock file, not listed");
    // A folder source, written with a trailing separator and CR LF as on Windows.
    dir->write("program/EXCEL.txt", books.string() + "/\r\n");
    ui = RecordingUiPort();
    startWindow();
#endif
}

void BrowseMergeTest::startWindow() {
    Form1::Dependencies dependencies;
    dependencies.programFolder = dir->path() / "program";
    dependencies.configFolder = dir->path() / "config";
    dependencies.createApplication = spreadsheet::CreateEngineApplication;
    dependencies.uiPort = &ui;
    dependencies.openUrl = [](const QUrl&) { return true; };
    dependencies.browseMerge.merge.temporaryRoot = dir->path() / "tmp";
    form = std::make_unique<Form1>(std::move(dependencies));
    form->show();
    QVERIFY(QTest::qWaitForWindowExposed(form.get()));
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
             (QStringList{"alpha.xlsx", "beta.xlsx", "broken.xlsx", "gamma.xlsx"}));
    QCOMPARE(RowTexts(lists.worksheets), (QStringList{"North", "South"}));
    QVERIFY(ui.messages.empty());
    QVERIFY(!ui.busy);

    ClickRow(form->ListView2(), 4);
    QCOMPARE(RowTexts(lists.worksheets), (QStringList{"One", "Two"}));
    DoubleClickRow(form->ListView3(), 2);
    QCOMPARE(MergeEntries(lists.merge), (QStringList{"gamma.xlsx|Two"}));
    // One separator, whatever the source was written with.
    QCOMPARE(lists.merge.text(1), (books / "gamma.xlsx").string());

    ClickRow(form->ListView2(), 3);
    QCOMPARE(ui.messages.size(), std::size_t{2});
    QCOMPARE(ui.messages[1].text, std::string("Open excel file failed!"));
    QVERIFY(ui.messages[0].text.find("broken.xlsx") != std::string::npos);
    QVERIFY(lists.worksheets.empty());

    ClickRow(form->ListView2(), 2);
    QTest::mouseClick(form->command(16), Qt::LeftButton); // Add All Sheets
    QCOMPARE(MergeEntries(lists.merge), (QStringList{"gamma.xlsx|Two", "beta.xlsx|Summary"}));

    // Add All Excel Files with beta unchecked: the damaged workbook speaks up, the rest are added.
    lists.workbooks.setChecked(2, false);
    ui.messages.clear();
    QTest::mouseClick(form->command(20), Qt::LeftButton);
    QCOMPARE(ui.messages.size(), std::size_t{2});
    QCOMPARE(MergeEntries(lists.merge),
             (QStringList{"gamma.xlsx|Two", "beta.xlsx|Summary", "alpha.xlsx|North",
                          "alpha.xlsx|South", "gamma.xlsx|One", "gamma.xlsx|Two"}));

    // Reorder: gamma|One two places up, then alpha|South down once; uncheck beta|Summary.
    ClickRow(form->ListView4(), 5);
    QTest::mouseClick(form->command(14), Qt::LeftButton);
    QTest::mouseClick(form->command(14), Qt::LeftButton);
    ClickRow(form->ListView4(), 5);
    QTest::mouseClick(form->command(15), Qt::LeftButton);
    QCOMPARE(MergeEntries(lists.merge),
             (QStringList{"gamma.xlsx|Two", "beta.xlsx|Summary", "gamma.xlsx|One",
                          "alpha.xlsx|North", "gamma.xlsx|Two", "alpha.xlsx|South"}));
    QCOMPARE(lists.merge.selectedPosition(), 6);

    // One more with the arrow button, moved up one place and taken out again by double-click.
    QTest::mouseClick(form->command(10), Qt::LeftButton);
    ClickRow(form->ListView4(), 7);
    QTest::mouseClick(form->command(14), Qt::LeftButton);
    QCOMPARE(MergeEntries(lists.merge)[5], QString("beta.xlsx|Summary"));
    DoubleClickRow(form->ListView4(), 6);
    QCOMPARE(MergeEntries(lists.merge),
             (QStringList{"gamma.xlsx|Two", "beta.xlsx|Summary", "gamma.xlsx|One",
                          "alpha.xlsx|North", "gamma.xlsx|Two", "alpha.xlsx|South"}));
    QCOMPARE(lists.merge.selectedPosition(), 5);
    lists.merge.setChecked(2, false);

    ui.messages.clear();
    form->menuEntry("Merge")->trigger();

    QCOMPARE(ui.openedFiles.size(), std::size_t{1});
    const std::filesystem::path result = ui.openedFiles.front();
    QVERIFY(std::filesystem::exists(result));
    QCOMPARE(result.parent_path().parent_path(), dir->path() / "tmp");
    QCOMPARE(EngineWorksheets(result), (QStringList{"Two", "One", "North", "Two (2)", "South"}));
    QCOMPARE(lists.progress.value(), 0.0);
    QCOMPARE(lists.merge.count(), 6); // the list is left as it was
    // The second copy of gamma's "Two" was renamed: one message says so, after the result opened.
    QCOMPARE(ui.messages.size(), std::size_t{1});
    QCOMPARE(ui.messages[0].icon, quillory::lists::MessageIcon::Information);
    QVERIFY2(ui.messages[0].text.find("gamma.xlsx") != std::string::npos &&
                 ui.messages[0].text.find("Two (2)") != std::string::npos,
             ui.messages[0].text.c_str());

    const auto g = (books / "gamma.xlsx").string();
    const auto a = (books / "alpha.xlsx").string();
    QProcess python;
    python.start("/usr/bin/python3",
                 {"-c", kCompareScript, QString::fromStdString(result.string()), "Two",
                  QString::fromStdString(g), "Two", "One", QString::fromStdString(g), "One",
                  "North", QString::fromStdString(a), "North", "Two (2)", QString::fromStdString(g),
                  "Two", "South", QString::fromStdString(a), "South"});
    if (!python.waitForStarted()) {
        QSKIP("python3 is not available");
    }
    QVERIFY(python.waitForFinished(60000));
    const QByteArray output = python.readAllStandardOutput() + python.readAllStandardError();
    if (output.contains("No module named 'openpyxl'")) {
        QSKIP("python3-openpyxl is not installed");
    }
    QVERIFY2(python.exitCode() == 0, output.constData());

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

QTEST_MAIN(BrowseMergeTest)
#include "BrowseMerge_test.moc"
