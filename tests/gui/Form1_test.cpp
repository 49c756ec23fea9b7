// The main window with real widgets on the offscreen platform: its layout, lists, menus, and the
// start and exit steps that load and save the source list.

#include "mainwindow/Form1.h"
#include "mainwindow/ListView.h"
#include "support/RecordingUiPort.h"
#include "support/TempDir.h"

#include <QAbstractButton>
#include <QAction>
#include <QProgressBar>
#include <QUrl>
#include <QtTest>
#include <memory>

using quillory::mainwindow::Form1;
using quillory::mainwindow::ListView;
using quillory::testing::readFile;
using quillory::testing::RecordingUiPort;
using quillory::testing::TempDir;

namespace {

// One window over a temporary program folder, with a recording UI port and opener.
struct Window {
    explicit Window(const std::string& savedList = {}, const TempDir* programDir = nullptr,
                    const std::string& programSubfolder = {})
        : ownDir(programDir == nullptr ? std::make_unique<TempDir>() : nullptr),
          dir(programDir == nullptr ? *ownDir : *programDir) {
        if (!savedList.empty()) {
            dir.write("EXCEL.txt", savedList);
        }
        Form1::Dependencies dependencies;
        dependencies.programFolder =
            programSubfolder.empty() ? dir.path() : dir.path() / programSubfolder;
        std::filesystem::create_directories(dependencies.programFolder);
        dependencies.configFolder = dir / "config";
        dependencies.uiPort = &ui;
        dependencies.openUrl = [this](const QUrl& url) {
            opened.push_back(url);
            return true;
        };
        form = std::make_unique<Form1>(std::move(dependencies));
    }

    std::unique_ptr<TempDir> ownDir;
    const TempDir& dir;
    RecordingUiPort ui;
    std::vector<QUrl> opened;
    std::unique_ptr<Form1> form;
};

QStringList headerCaptions(const ListView* view) {
    QStringList captions;
    for (int i = 0; i < view->model()->columnCount(); ++i) {
        captions << view->model()->headerData(i, Qt::Horizontal).toString();
    }
    return captions;
}

} // namespace

class Form1Test : public QObject {
    Q_OBJECT

private slots:
    void listsShowTheirColumnsAfterStartWithAnEmptyList() {
        Window window;
        Form1& form = *window.form;
        form.show();
        QVERIFY(QTest::qWaitForWindowExposed(&form));
        QCOMPARE(headerCaptions(form.ListView1()),
                 QStringList{"Please Select the Excel File or Folder to Merge"});
        QCOMPARE(headerCaptions(form.ListView2()), QStringList{"WorkBooks"});
        QCOMPARE(headerCaptions(form.ListView3()), QStringList{"WorkSheets"});
        QCOMPARE(headerCaptions(form.ListView4()), (QStringList{"Excel File", "Sheets be Merged"}));
        QCOMPARE(form.lists().sources.count(), 0);
        QVERIFY(window.ui.messages.empty());
    }

    void savedListLoadsWithIconsAndOnlyTheSourceListShowsIcons() {
        TempDir dir;
        const auto book = dir.write("data/Book1.xlsx", "x");
        const std::string saved =
            book.string() + "\r\n" + (dir / "data").string() + "\r\n/nowhere/Gone.xlsx\r\n";
        Window window(saved, &dir);
        Form1& form = *window.form;
        QAbstractItemModel* sources = form.ListView1()->model();
        QCOMPARE(sources->rowCount(), 3);
        QCOMPARE(sources->index(2, 0).data().toString(), QStringLiteral("/nowhere/Gone.xlsx"));
        for (int row = 0; row < 3; ++row) {
            QVERIFY(!sources->index(row, 0)
                         .data(Qt::DecorationRole)
                         .value<QIcon>()
                         .pixmap(16)
                         .isNull());
            QVERIFY(!sources->index(row, 0).data(Qt::CheckStateRole).isValid());
        }
        // The first row is the selected one, in the model and in the view.
        QCOMPARE(form.lists().sources.selectedPosition(), 1);
        QCOMPARE(form.ListView1()->selectionModel()->selectedRows().value(0).row(), 0);

        form.lists().workbooks.add("Book1.xlsx");
        form.lists().worksheets.add("Sheet1");
        form.lists().merge.add(book.string());
        form.lists().merge.setSubItem1(1, "Sheet1");
        form.lists().merge.setChecked(1, true);
        for (ListView* view : {form.ListView2(), form.ListView3(), form.ListView4()}) {
            const QModelIndex first = view->model()->index(0, 0);
            QVERIFY(first.data(Qt::CheckStateRole).isValid());
            QVERIFY(first.flags() & Qt::ItemIsUserCheckable);
            QVERIFY(!first.data(Qt::DecorationRole).isValid());
        }
        QCOMPARE(form.ListView4()->model()->index(0, 0).data(Qt::CheckStateRole).toInt(),
                 int(Qt::Checked));
        QCOMPARE(form.ListView4()->model()->index(0, 1).data().toString(),
                 QStringLiteral("Sheet1"));
        QVERIFY(!(form.ListView1()->model()->index(0, 0).flags() & Qt::ItemIsUserCheckable));
    }

    // Clicks reaching the model are the view's own test (Form1Lists_test); here the window's
    // views follow their models' selection.
    void theModelsSelectionShowsInTheView() {
        Window window;
        Form1& form = *window.form;
        auto& workbooks = form.lists().workbooks;
        workbooks.add("a.xlsx");
        workbooks.add("b.xlsx");
        form.show();
        QVERIFY(QTest::qWaitForWindowExposed(&form));

        ListView* view = form.ListView2();
        workbooks.select(2);
        QCOMPARE(view->selectionModel()->selectedRows().value(0).row(), 1);
        workbooks.remove(2);
        QVERIFY(view->selectionModel()->selectedRows().isEmpty());
    }

    void windowHasFixedSizeTitleAndIcons() {
        Window window;
        Form1& form = *window.form;
        form.show();
        QVERIFY(QTest::qWaitForWindowExposed(&form));
        QCOMPARE(form.windowTitle(), QStringLiteral("Quillory"));
        QVERIFY(!form.windowIcon().pixmap(32).isNull());
        QVERIFY(!(form.windowFlags() & Qt::WindowMaximizeButtonHint));
        QVERIFY(form.windowFlags() & Qt::WindowMinimizeButtonHint);
        QCOMPARE(form.minimumSize(), form.maximumSize());
        QCOMPARE(form.centralWidget()->size(), QSize(749, 501));
        form.resize(form.width() + 100, form.height() + 100);
        QCOMPARE(form.centralWidget()->size(), QSize(749, 501));
        QCOMPARE(form.minimumSize(), form.size());
        for (int number : {8, 6, 7, 18, 12, 13, 9, 10, 11, 14, 15, 4, 5}) {
            QVERIFY2(!form.command(number)->icon().pixmap(16).isNull(),
                     qPrintable(QString::number(number)));
        }
        QVERIFY(form.command(20)->icon().isNull());
    }

    void exitSavesTheListOnce() {
        Window window("/data/a.xlsx\r\n");
        Form1& form = *window.form;
        form.show();
        form.lists().sources.add("/data/b.xlsx");
        QTest::mouseClick(form.command(9), Qt::LeftButton);
        QVERIFY(!form.isVisible());
        const auto list = window.dir / "EXCEL.txt";
        QCOMPARE(readFile(list), std::string("/data/a.xlsx\r\n/data/b.xlsx\r\n"));

        // Closing once more (the application quitting) must not save a second time.
        form.lists().sources.add("/data/c.xlsx");
        QCloseEvent again;
        QCoreApplication::sendEvent(&form, &again);
        QCOMPARE(readFile(list), std::string("/data/a.xlsx\r\n/data/b.xlsx\r\n"));
        QVERIFY(window.ui.messages.empty());
    }

    void closeBoxSavesTheListOnceUnlessSwitchedOff() {
        {
            Window window("/data/a.xlsx\r\n");
            window.form->show();
            window.form->lists().sources.remove(1);
            QVERIFY(window.form->close());
            QCOMPARE(readFile(window.dir / "EXCEL.txt"), std::string());
            window.form->lists().sources.add("/data/late.xlsx");
            window.form->close();
            QCOMPARE(readFile(window.dir / "EXCEL.txt"), std::string());
        }
        {
            TempDir dir;
            dir.write("set.txt", "0\r\n");
            Window window("/data/a.xlsx\r\n", &dir);
            window.form->lists().sources.add("/data/b.xlsx");
            window.form->close();
            QCOMPARE(readFile(dir / "EXCEL.txt"), std::string("/data/a.xlsx\r\n"));
        }
    }

    void failedSaveAtExitIsReportedAndKeepsTheOldList() {
        TempDir dir;
        dir.write("EXCEL.txt", "/data/a.xlsx\r\n");
        Window window({}, &dir);
        // A folder in the way of the temporary file's rename target makes the save fail.
        window.form->lists().sources.add("/data/b.xlsx");
        std::filesystem::remove(dir / "EXCEL.txt");
        dir.write("EXCEL.txt/keep", "a folder where the list should be");
        window.form->close();
        QCOMPARE(window.ui.messages.size(), std::size_t(1));
        QCOMPARE(window.ui.messages[0].icon, quillory::lists::MessageIcon::Critical);
        QVERIFY(window.ui.messages[0].text.find("EXCEL.txt") != std::string::npos);
        QCOMPARE(readFile(dir / "EXCEL.txt" / "keep"),
                 std::string("a folder where the list should be"));
    }

    void unreadableSavedListIsReportedAtStart() {
        TempDir dir;
        dir.write("EXCEL.txt/inside", "x"); // a folder, not a file
        Window window({}, &dir);
        QCOMPARE(window.ui.messages.size(), std::size_t(1));
        QVERIFY(window.ui.messages[0].text.find("EXCEL.txt") != std::string::npos);
        QCOMPARE(window.form->lists().sources.count(), 0);
    }

    void helpOpensTheHelpFileElseTheUserGuide() {
        TempDir dir;
        Window window({}, &dir);
        Form1& form = *window.form;
        dir.write("doc/user-guide.html", "<html></html>");
        form.menuEntry(QStringLiteral("Help"))->trigger();
        QCOMPARE(window.opened.size(), std::size_t(1));
        QCOMPARE(window.opened[0], QUrl::fromLocalFile(QString::fromStdString(
                                       (dir / "doc" / "user-guide.html").string())));

        dir.write("help.chm", "x");
        QTest::mouseClick(form.command(12), Qt::LeftButton);
        QCOMPARE(window.opened.size(), std::size_t(2));
        QCOMPARE(window.opened[1],
                 QUrl::fromLocalFile(QString::fromStdString((dir / "help.chm").string())));

        form.menuEntry(QStringLiteral("HomePage"))->trigger();
        QTest::mouseClick(form.command(13), Qt::LeftButton);
        QCOMPARE(window.opened.size(), std::size_t(4));
        QCOMPARE(window.opened[2].scheme(), QStringLiteral("https"));
        QCOMPARE(window.opened[3], window.opened[2]);
        QVERIFY(window.ui.messages.empty());
    }

    void helpFindsTheGuideInstalledBesideTheProgram() {
        TempDir prefix;
        prefix.write("share/doc/quillory/user-guide.html", "<html></html>");
        Window window({}, &prefix, "bin");
        window.form->Command12_Click();
        QCOMPARE(window.opened.size(), std::size_t(1));
        QCOMPARE(window.opened[0], QUrl::fromLocalFile(QString::fromStdString(
                                       (prefix / "share/doc/quillory/user-guide.html").string())));
    }

    void progressBarFollowsItsModel() {
        Window window;
        Form1& form = *window.form;
        QCOMPARE(form.ProgressBar1()->value(), form.ProgressBar1()->minimum());
        form.lists().progress.setMax(3);
        form.lists().progress.setValue(1);
        const double shown = double(form.ProgressBar1()->value() - form.ProgressBar1()->minimum()) /
                             (form.ProgressBar1()->maximum() - form.ProgressBar1()->minimum());
        QVERIFY(qAbs(shown - 1.0 / 3) < 0.001);
        form.lists().progress.setValue(3);
        QCOMPARE(form.ProgressBar1()->value(), form.ProgressBar1()->maximum());
        form.lists().progress.setValue(0);
        QCOMPARE(form.ProgressBar1()->value(), form.ProgressBar1()->minimum());
    }
};

QTEST_MAIN(Form1Test)
#include "Form1_test.moc"
