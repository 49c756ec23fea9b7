// A merge in the real window as the user sees it: a short message with the full grouped notes
// behind "Show Details...", no message when nothing differs, paths in the source and merge lists
// shortened in the middle with the whole path as tooltip; and a long merge during which timers
// fire, the progress bar moves (also while the result is written) and repaints, clicks start
// nothing and change no list, and a close waits for the merge to end.

#include "ModalDriver.h"
#include "WindowTestSupport.h"
#include "mainwindow/PathDelegate.h"
#include "mainwindow/QtUiPort.h"
#include "support/PackageEntries.h"
#include "support/TempDir.h"

#include <QAbstractButton>
#include <QMessageBox>
#include <QProgressBar>
#include <QTimer>
#include <QtTest>
#include <set>

#ifdef QUILLORY_HAVE_XLSXWRITER
#include <xlsxwriter.h>
#endif

using quillory::mainwindow::ElidePath;
using quillory::mainwindow::PathDelegate;
using quillory::testing::ClickRow;
using quillory::testing::DoubleClickRow;
using quillory::testing::ModalDriver;
using quillory::testing::PackageEntries;
using quillory::testing::TempDir;

namespace {

// The real port with the desktop's programs replaced: messages without details are noted and
// not shown; a report with details shows the real message box.
class DesktoplessPort : public quillory::mainwindow::QtUiPort {
public:
    void showMessage(quillory::lists::MessageIcon, const std::string& text) override {
        messages.push_back(text);
    }
    void showDetailedMessage(quillory::lists::MessageIcon icon, const std::string& text,
                             const std::string& details) override {
        messages.push_back(text);
        QtUiPort::showDetailedMessage(icon, text, details);
    }
    bool openFile(const std::filesystem::path& file) override {
        openedFiles.push_back(file);
        return true;
    }
    std::optional<std::filesystem::path> askSavePath(const std::filesystem::path&) override {
        return std::nullopt;
    }
    std::vector<std::string> messages;
    std::vector<std::filesystem::path> openedFiles;
};

// Counts the paint events of one widget.
class PaintCounter : public QObject {
public:
    int paints = 0;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        paints += event->type() == QEvent::Paint ? 1 : 0;
        return QObject::eventFilter(watched, event);
    }
};

// Large enough that timers fire while the merge copies and while it writes the result.
constexpr int kRowsPerSheet = 40000;

// Sheets "Sales", with a column chart of its figures, and "Costs", in another colour theme than
// the default (another accent colour). The chart's series has a colour of its own or takes the
// theme's.
bool WriteOfficeWorkbook(const std::filesystem::path& file, bool seriesColoured) {
#ifdef QUILLORY_HAVE_XLSXWRITER
    lxw_workbook* workbook = workbook_new(file.c_str());
    lxw_worksheet* sales = workbook_add_worksheet(workbook, "Sales");
    for (lxw_row_t row = 0; row < 3; ++row) {
        worksheet_write_number(sales, row, 0, 10.0 * (row + 1), nullptr);
    }
    lxw_chart* chart = workbook_add_chart(workbook, LXW_CHART_COLUMN);
    lxw_chart_series* series = chart_add_series(chart, nullptr, "=Sales!$A$1:$A$3");
    lxw_chart_fill fill{};
    fill.color = 0x336699;
    if (seriesColoured) {
        chart_series_set_fill(series, &fill);
    }
    worksheet_insert_chart(sales, 1, 3, chart);
    worksheet_write_string(workbook_add_worksheet(workbook, "Costs"), 0, 0, "Rent", nullptr);
    if (workbook_close(workbook) != LXW_NO_ERROR) {
        return false;
    }
    PackageEntries package = PackageEntries::read(file);
    package.replaceOnce("xl/theme/theme1.xml", "<a:accent2><a:srgbClr val=\"C0504D\"/>",
                        "<a:accent2><a:srgbClr val=\"123456\"/>");
    package.write(file);
    return true;
#else
    (void)file;
    (void)seriesColoured;
    return false;
#endif
}

} // namespace

class ReportMessageTest : public QObject {
    Q_OBJECT

private slots:
    void shortMessageWithEveryNoteInItsDetailsAndNoneWhenNothingDiffers();
    void aLongPathKeepsItsFileNameInAnyWidth();
    void longMergeKeepsTheWindowAliveAndIgnoresInput();
};

void ReportMessageTest::aLongPathKeepsItsFileNameInAnyWidth() {
    const QString path = "/home/ann/Shared drive/Finance department/Regional offices/North.xlsx";
    const QFontMetrics metrics(QApplication::font());
    const int nameOnly = metrics.horizontalAdvance(QString(QChar(0x2026)) + "/North.xlsx");
    for (int width = 10; width < metrics.horizontalAdvance(path) + 20; width += 7) {
        const QString shown = ElidePath(path, metrics, width);
        QVERIFY2(metrics.horizontalAdvance(shown) <= width, qPrintable(shown));
        if (width >= nameOnly) {
            QVERIFY2(shown.endsWith("/North.xlsx"), qPrintable(shown));
        }
        if (shown.size() > 12) {
            QVERIFY2(path.startsWith(shown.left(shown.indexOf(QChar(0x2026)))), qPrintable(shown));
        }
    }
    QCOMPARE(ElidePath(path, metrics, metrics.horizontalAdvance(path)), path);
}

void ReportMessageTest::shortMessageWithEveryNoteInItsDetailsAndNoneWhenNothingDiffers() {
    DesktoplessPort port; // outlives the window
    quillory::testing::TestWindow window;
    const TempDir& dir = window.dir;
    // A folder name as long as real ones are: the file names must stay visible.
    const auto books = dir.path() / "Shared drive" / "Finance department" /
                       "Quarterly reports 2026" / "Regional offices";
    std::filesystem::create_directories(books);
    if (!quillory::testing::WriteWorkbook(books / "Budget.xlsx", {{"Summary", 3}, {"Pivot", 2}})) {
        QSKIP("libxlsxwriter is not installed: no fixture workbooks can be written");
    }
    QVERIFY(WriteOfficeWorkbook(books / "North office.xlsx", true));
    QVERIFY(WriteOfficeWorkbook(books / "South office.xlsx", false));
    dir.write("program/EXCEL.txt", books.string() + "\r\n");
    quillory::mainwindow::Form1* const form = &window.start("program", &port);
    auto& lists = form->lists();
    ClickRow(form->ListView1(), 1);
    QTest::mouseClick(form->command(20), Qt::LeftButton); // Add All Excel Files
    QCOMPARE(lists.merge.count(), 6);

    // The lists keep whole paths; the two lists of paths shorten them in the middle.
    const QModelIndex first = form->ListView4()->model()->index(0, 0);
    QCOMPARE(first.data(Qt::ToolTipRole).toString().toStdString(),
             (books / "Budget.xlsx").string());
    for (const auto* view : {form->ListView1(), form->ListView4()}) {
        QVERIFY(dynamic_cast<PathDelegate*>(view->itemDelegateForColumn(0)) != nullptr);
    }

    const char* shots = std::getenv("QUILLORY_SCREENSHOT_DIR");
    if (shots != nullptr) {
        QVERIFY(form->grab().save(QString::fromUtf8(shots) + "/screenshot-merge-list.png"));
    }

    QString text;
    QString details;
    ModalDriver<QMessageBox> driver([&](QMessageBox* box) {
        text = box->text();
        details = box->detailedText();
        if (shots != nullptr) {
            for (QAbstractButton* button : box->buttons()) {
                if (box->buttonRole(button) == QMessageBox::ActionRole) {
                    button->click(); // "Show Details..."
                }
            }
            QTest::qWait(200); // the box lays itself out anew
            box->grab().save(QString::fromUtf8(shots) + "/screenshot-report.png");
        }
        box->accept();
        return true;
    });
    QTest::mouseClick(form->command(18), Qt::LeftButton); // Merge
    QVERIFY(driver.finished());
    QCOMPARE(port.messages.size(), std::size_t{1});
    QVERIFY2(text.count('\n') + 1 <= 6, qPrintable(text));
    QVERIFY2(text.contains("Renamed"), qPrintable(text));
    QVERIFY2(!text.contains("Adjusted"), "what looks the same is no difference");
    // Only the chart whose colour comes from the theme can look different.
    QVERIFY2(text.contains("May look different: 1 note, in 1 workbook"), qPrintable(text));
    QVERIFY2(details.contains("Sales (2)") && details.contains("Costs (2)"), qPrintable(details));
    QCOMPARE(details.count("coloured automatically"), 1);
    QCOMPARE(details.count("Adjusted to look the same"), 2); // both workbooks of the other theme
    QVERIFY(details.indexOf("coloured automatically") > details.indexOf("South office.xlsx"));
    // Workbooks in the order of the merge list; Budget, of the result's theme, has no note.
    QVERIFY(!details.contains("Budget.xlsx"));
    QVERIFY(details.indexOf("North office.xlsx\n") < details.indexOf("South office.xlsx\n"));

    // Sheets of both themes and a chart in its own colours: nothing looks different, no message.
    QTest::mouseClick(form->command(17), Qt::LeftButton); // Remove All
    ClickRow(form->ListView2(), 1);
    DoubleClickRow(form->ListView3(), 1); // Budget: Summary
    ClickRow(form->ListView2(), 2);
    DoubleClickRow(form->ListView3(), 1); // North office: Sales
    ModalDriver<QMessageBox> closer([](QMessageBox* box) { return box->close(); });
    QTest::mouseClick(form->command(18), Qt::LeftButton);
    QCOMPARE(port.messages.size(), std::size_t{1});
    const auto runs = std::distance(std::filesystem::directory_iterator(dir.path() / "tmp"),
                                    std::filesystem::directory_iterator());
    QCOMPARE(runs, 2); // both merges wrote their result
}

void ReportMessageTest::longMergeKeepsTheWindowAliveAndIgnoresInput() {
    DesktoplessPort port; // outlives the window
    quillory::testing::TestWindow window;
    const std::filesystem::path book = window.dir / "large.xlsx";
    if (!quillory::testing::WriteWorkbook(
            book, {{"North", kRowsPerSheet}, {"South", kRowsPerSheet}, {"East", kRowsPerSheet}})) {
        QSKIP("libxlsxwriter is not installed: no large workbook can be written");
    }
    quillory::mainwindow::Form1& form = window.start("program", &port);
    auto& merge = form.lists().merge;
    for (const char* sheet : {"North", "South", "East"}) {
        const int row = merge.add(book.string());
        merge.setSubItem1(row, sheet);
        merge.setChecked(row, true);
    }
    PaintCounter barPaints;
    form.ProgressBar1()->installEventFilter(&barPaints);

    // Runs only inside the merge (nothing else turns the event loop): what the user would see.
    std::vector<int> barValues;
    int paintsBeforeMerge = -1;
    int paintsDuringMerge = 0;
    bool poked = false;
    bool closeAccepted = true;
    QTimer ticker;
    ticker.setInterval(0);
    connect(&ticker, &QTimer::timeout, [&] {
        if (!port.openedFiles.empty()) {
            return; // the result is handed over: the merge is done
        }
        if (paintsBeforeMerge < 0) {
            paintsBeforeMerge = barPaints.paints;
        }
        paintsDuringMerge = barPaints.paints - paintsBeforeMerge;
        barValues.push_back(form.ProgressBar1()->value());
        if (!poked) {
            poked = true;
            QTest::mouseClick(form.command(18), Qt::LeftButton); // a second merge
            QTest::mouseClick(form.command(17), Qt::LeftButton); // empty the merge list
            closeAccepted = form.close();
        }
    });
    ticker.start();
    QTest::mouseClick(form.command(18), Qt::LeftButton);
    ticker.stop();

    QVERIFY2(port.messages.empty(), port.messages.empty() ? "" : port.messages.front().c_str());
    QVERIFY2(barValues.size() > 1, "timers fire while the merge runs");
    const std::set<int> distinct(barValues.begin(), barValues.end());
    // The three entries give at most four values; more means the bar moved while writing.
    QVERIFY(distinct.size() > 4);
    QVERIFY2(paintsDuringMerge > 0, "the bar repaints during the merge");
    QCOMPARE(port.openedFiles.size(), std::size_t{1}); // the click on Merge started nothing
    QCOMPARE(merge.count(), 3);                        // the click on Remove All did nothing
    QVERIFY2(!closeAccepted, "closing waits for the merge");
    QVERIFY2(!form.isVisible(), "the window closes once the merge is over");
    QCOMPARE(form.ProgressBar1()->value(), form.ProgressBar1()->minimum());
    // The merge's own observer of the bar is gone again: the window's shows the model.
    form.lists().progress.setValue(form.lists().progress.max());
    QCOMPARE(form.ProgressBar1()->value(), form.ProgressBar1()->maximum());
}

QTEST_MAIN(ReportMessageTest)
#include "ReportMessage_test.moc"
