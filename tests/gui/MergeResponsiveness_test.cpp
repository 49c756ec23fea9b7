// A long merge in the real window on the offscreen platform: while it runs, timers fire, the
// progress bar moves (also while the result is written) and repaints; clicks meanwhile start
// nothing and change no list; a close asked for meanwhile waits for the merge to end.

#include "WindowTestSupport.h"
#include "mainwindow/QtUiPort.h"
#include "support/TempDir.h"

#include <QAbstractButton>
#include <QProgressBar>
#include <QTimer>
#include <QtTest>
#include <memory>
#include <set>

#ifdef QUILLORY_HAVE_XLSXWRITER
#include <xlsxwriter.h>
#endif

using quillory::mainwindow::Form1;
using quillory::testing::TempDir;

namespace {

constexpr int kRowsPerSheet = 15000;
constexpr int kColumns = 6;
const std::vector<std::string> kSheets = {"North", "South", "East"};

// The real port (its event processing is under test) with the desktop's programs replaced.
class DesktoplessPort : public quillory::mainwindow::QtUiPort {
public:
    void showMessage(quillory::lists::MessageIcon, const std::string& text) override {
        messages.push_back(text);
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

bool WriteLargeWorkbook(const std::filesystem::path& file) {
#ifdef QUILLORY_HAVE_XLSXWRITER
    lxw_workbook* workbook = workbook_new(file.c_str());
    for (const auto& name : kSheets) {
        lxw_worksheet* sheet = workbook_add_worksheet(workbook, name.c_str());
        for (int row = 0; row < kRowsPerSheet; ++row) {
            for (lxw_col_t col = 0; col < kColumns; ++col) {
                worksheet_write_number(sheet, static_cast<lxw_row_t>(row), col, row + col / 10.0,
                                       nullptr);
            }
        }
    }
    return workbook_close(workbook) == LXW_NO_ERROR;
#else
    (void)file;
    return false;
#endif
}

} // namespace

class MergeResponsivenessTest : public QObject {
    Q_OBJECT

private slots:
    void longMergeKeepsTheWindowAliveAndIgnoresInput();
};

void MergeResponsivenessTest::longMergeKeepsTheWindowAliveAndIgnoresInput() {
    TempDir dir;
    const std::filesystem::path book = dir.path() / "large.xlsx";
    if (!WriteLargeWorkbook(book)) {
        QSKIP("libxlsxwriter is not installed: no large workbook can be written");
    }
    DesktoplessPort port;
    const auto window = quillory::testing::StartEngineWindow(dir.path(), port);
    Form1& form = *window;
    auto& merge = form.lists().merge;
    for (const auto& sheet : kSheets) {
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
    QString shown;
    for (int v : barValues)
        shown += QString::number(v) + " ";
    QVERIFY2(distinct.size() > 4, qPrintable(shown));
    QVERIFY2(paintsDuringMerge > 0, "the bar repaints during the merge");
    QVERIFY(poked);
    QCOMPARE(port.openedFiles.size(), std::size_t{1}); // the click on Merge started nothing
    QCOMPARE(merge.count(), 3);                        // the click on Remove All did nothing
    QVERIFY2(!closeAccepted, "closing waits for the merge");
    QVERIFY2(!form.isVisible(), "the window closes once the merge is over");
    QCOMPARE(form.ProgressBar1()->value(), form.ProgressBar1()->minimum());
    // The merge's own observer of the bar is gone again: the window's shows the model.
    form.lists().progress.setValue(form.lists().progress.max());
    QCOMPARE(form.ProgressBar1()->value(), form.ProgressBar1()->maximum());
    QCOMPARE(quillory::testing::EngineWorksheets(port.openedFiles.front()), kSheets);
}

QTEST_MAIN(MergeResponsivenessTest)
#include "MergeResponsiveness_test.moc"
