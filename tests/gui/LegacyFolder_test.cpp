// A folder mixing a legacy .xls workbook and an .xlsx one, end to end in the real window on the
// offscreen platform: the .xls is written by Gnumeric's converter from a libxlsxwriter workbook,
// listed natively, converted by LibreOffice at merge time, and the result read back with the
// engine and with python3-openpyxl.

#include "mainwindow/Form1.h"
#include "mainwindow/ListView.h"
#include "support/RecordingUiPort.h"
#include "support/TempDir.h"

#include <QAbstractButton>
#include <QAction>
#include <QProcess>
#include <QStandardPaths>
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

constexpr int kConverterTimeoutMs = 120000;

#ifdef QUILLORY_HAVE_XLSXWRITER
// Every sheet: a header naming book and sheet, then rows of numbers and texts, so that a copy can
// be told from every other sheet.
void WriteWorkbook(const std::filesystem::path& file, const std::vector<std::string>& sheets,
                   int rows) {
    lxw_workbook* workbook = workbook_new(file.c_str());
    for (const auto& sheet : sheets) {
        lxw_worksheet* worksheet = workbook_add_worksheet(workbook, sheet.c_str());
        const std::string title = file.stem().string() + " / " + sheet;
        worksheet_write_string(worksheet, 0, 0, title.c_str(), nullptr);
        for (int row = 1; row <= rows; ++row) {
            worksheet_write_number(worksheet, static_cast<lxw_row_t>(row), 0, row * 2.25, nullptr);
            const std::string text = sheet + " row " + std::to_string(row);
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

QStringList MergeEntries(const quillory::lists::ListModel& merge) {
    QStringList entries;
    for (int i = 1; i <= merge.count(); ++i) {
        entries << QString::fromStdString(std::filesystem::path(merge.text(i)).filename().string() +
                                          "|" + merge.subItem1(i));
    }
    return entries;
}

void ClickRow(ListView* view, int position) {
    const QModelIndex index = view->model()->index(position - 1, 0);
    view->scrollTo(index);
    QTest::mouseClick(view->viewport(), Qt::LeftButton, {}, view->visualRect(index).center());
}

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

// Each sheet of the result against the sheet of the .xlsx it must hold, cell value by cell value.
// Arguments: result, then result-sheet, expected file, expected sheet triples.
constexpr const char* kCompareValuesScript = R"(
import sys, openpyxl
result = openpyxl.load_workbook(sys.argv[1])
args = sys.argv[2:]
problems = []
for i in range(0, len(args), 3):
    name, expected_file, expected_sheet = args[i:i + 3]
    values = lambda ws: [[c.value for c in row] for row in ws.iter_rows()]
    got = values(result[name])
    want = values(openpyxl.load_workbook(expected_file)[expected_sheet])
    if got != want:
        problems.append("%s: %r, expected %r" % (name, got, want))
print("\n".join(problems))
sys.exit(1 if problems else 0)
)";

} // namespace

class LegacyFolderTest : public QObject {
    Q_OBJECT

private slots:
    void folderOfXlsAndXlsxBrowsedAndMerged();
};

void LegacyFolderTest::folderOfXlsAndXlsxBrowsedAndMerged() {
#ifndef QUILLORY_HAVE_XLSXWRITER
    QSKIP("libxlsxwriter is not installed: no fixture workbooks can be written");
#else
    const QString ssconvert = QStandardPaths::findExecutable("ssconvert");
    if (ssconvert.isEmpty()) {
        QSKIP("Gnumeric's ssconvert is not installed: no .xls fixture can be written");
    }
    if (QStandardPaths::findExecutable("soffice").isEmpty()) {
        QSKIP("LibreOffice (soffice) is not installed: a .xls source cannot be converted");
    }
    TempDir dir;
    const std::filesystem::path books = dir.path() / "books";
    const std::filesystem::path originals = dir.path() / "originals";
    std::filesystem::create_directories(books);
    std::filesystem::create_directories(originals);
    std::filesystem::create_directories(dir.path() / "tmp");

    // The .xls sheets out of name order, one name beyond ASCII: listing must keep both as written.
    const std::vector<std::string> legacySheets = {"Zahlen \xC3\xA4", "Archiv", "M\xC3\xA4rz 2"};
    WriteWorkbook(originals / "ledger.xlsx", legacySheets, 6);
    WriteWorkbook(books / "annual.xlsx", {"Totals"}, 3);
    QProcess convert;
    convert.start(ssconvert, {QString::fromStdString((originals / "ledger.xlsx").string()),
                              QString::fromStdString((books / "ledger.xls").string())});
    QVERIFY(convert.waitForFinished(kConverterTimeoutMs));
    QVERIFY2(convert.exitCode() == 0 && std::filesystem::exists(books / "ledger.xls"),
             convert.readAllStandardError().constData());
    dir.write("program/EXCEL.txt", books.string() + "\n");

    RecordingUiPort ui;
    Form1::Dependencies dependencies;
    dependencies.programFolder = dir.path() / "program";
    dependencies.configFolder = dir.path() / "config";
    dependencies.createApplication = spreadsheet::CreateEngineApplication;
    dependencies.uiPort = &ui;
    dependencies.openUrl = [](const QUrl&) { return true; };
    dependencies.browseMerge.merge.temporaryRoot = dir.path() / "tmp";
    auto form = std::make_unique<Form1>(std::move(dependencies));
    form->show();
    QVERIFY(QTest::qWaitForWindowExposed(form.get()));
    auto& lists = form->lists();

    ClickRow(form->ListView1(), 1);
    QCOMPARE(RowTexts(lists.workbooks), (QStringList{"annual.xlsx", "ledger.xls"}));
    QCOMPARE(RowTexts(lists.worksheets), (QStringList{"Totals"}));

    ClickRow(form->ListView2(), 2);
    QVERIFY2(ui.messages.empty(), ui.messages.empty() ? "" : ui.messages.front().text.c_str());
    QCOMPARE(RowTexts(lists.worksheets),
             (QStringList{QString::fromUtf8("Zahlen \xC3\xA4"), "Archiv",
                          QString::fromUtf8("M\xC3\xA4rz 2")}));
    // Listing is native: no conversion has left anything in the temporary folder.
    QVERIFY(std::filesystem::is_empty(dir.path() / "tmp"));

    QTest::mouseClick(form->command(20), Qt::LeftButton); // Add All Excel Files
    QVERIFY2(ui.messages.empty(), ui.messages.empty() ? "" : ui.messages.front().text.c_str());
    QCOMPARE(MergeEntries(lists.merge),
             (QStringList{"annual.xlsx|Totals", QString::fromUtf8("ledger.xls|Zahlen \xC3\xA4"),
                          "ledger.xls|Archiv", QString::fromUtf8("ledger.xls|M\xC3\xA4rz 2")}));

    std::vector<std::filesystem::path> heldAtOpen;
    ui.onOpenFile = [&](const std::filesystem::path& file) {
        // Copied at once: the result belongs to the opener from here on.
        const auto copy = dir.path() / "result-copy.xlsx";
        std::filesystem::copy_file(file, copy);
        heldAtOpen.push_back(copy);
    };
    // The converter works in the system's temporary folder: here, one the test can look into.
    const std::filesystem::path systemTemporary = dir.path() / "system-tmp";
    std::filesystem::create_directories(systemTemporary);
    const QByteArray savedTemporary = qgetenv("TMPDIR");
    qputenv("TMPDIR", QByteArray::fromStdString(systemTemporary.string()));
    form->menuEntry("Merge")->trigger();
    form.reset();
    if (savedTemporary.isNull()) {
        qunsetenv("TMPDIR");
    } else {
        qputenv("TMPDIR", savedTemporary);
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
    QCOMPARE(EngineWorksheets(result), (QStringList{"Totals", QString::fromUtf8("Zahlen \xC3\xA4"),
                                                    "Archiv", QString::fromUtf8("M\xC3\xA4rz 2")}));

    const QString original = QString::fromStdString((originals / "ledger.xlsx").string());
    QStringList arguments{"-c",
                          kCompareValuesScript,
                          QString::fromStdString(result.string()),
                          "Totals",
                          QString::fromStdString((books / "annual.xlsx").string()),
                          "Totals"};
    for (const auto& sheet : legacySheets) {
        const QString name = QString::fromStdString(sheet);
        arguments << name << original << name;
    }
    QProcess python;
    python.start("/usr/bin/python3", arguments);
    if (!python.waitForStarted()) {
        QSKIP("python3 is not available");
    }
    QVERIFY(python.waitForFinished(60000));
    const QByteArray output = python.readAllStandardOutput() + python.readAllStandardError();
    if (output.contains("No module named 'openpyxl'")) {
        QSKIP("python3-openpyxl is not installed");
    }
    QVERIFY2(python.exitCode() == 0, output.constData());
#endif
}

QTEST_MAIN(LegacyFolderTest)
#include "LegacyFolder_test.moc"
