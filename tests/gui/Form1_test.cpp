// The main window with real widgets on the offscreen platform: its layout, lists, menus, the
// start and exit steps that load and save the source list, the Qt side of the four lists (the
// adapter under Qt's model checks, the view's events), and the message boxes and busy pointer
// of the procedures' user interface.

#include "ModalDriver.h"
#include "WindowTestSupport.h"
#include "mainwindow/Form1.h"
#include "mainwindow/ListModelAdapter.h"
#include "mainwindow/ListView.h"
#include "mainwindow/QtUiPort.h"
#include "support/TempDir.h"

#include <QAbstractButton>
#include <QAbstractItemModelTester>
#include <QAction>
#include <QMessageBox>
#include <QSignalSpy>
#include <QUrl>
#include <QtTest>
#include <memory>

using quillory::lists::ListModel;
using quillory::lists::MessageIcon;
using quillory::mainwindow::Form1;
using quillory::mainwindow::ListModelAdapter;
using quillory::mainwindow::ListView;
using quillory::mainwindow::QtUiPort;
using quillory::testing::ModalDriver;
using quillory::testing::readFile;
using quillory::testing::TempDir;
using quillory::testing::TestWindow;

namespace {

QStringList headerCaptions(const ListView* view) {
    QStringList captions;
    for (int i = 0; i < view->model()->columnCount(); ++i) {
        captions << view->model()->headerData(i, Qt::Horizontal).toString();
    }
    return captions;
}

QStringList shownTexts(const QAbstractItemModel& model, int column = 0) {
    QStringList texts;
    for (int row = 0; row < model.rowCount(); ++row) {
        texts << model.index(row, column).data().toString();
    }
    return texts;
}

QPoint checkBoxCentre(ListView& view, int row) {
    QStyleOptionViewItem option;
    option.initFrom(&view);
    option.rect = view.visualRect(view.model()->index(row, 0));
    option.features = QStyleOptionViewItem::HasCheckIndicator;
    return view.style()
        ->subElementRect(QStyle::SE_ItemViewItemCheckIndicator, &option, &view)
        .center();
}

} // namespace

class Form1Test : public QObject {
    Q_OBJECT

private slots:
    void windowHasFixedSizeTitleIconsAndTheListsColumns() {
        TestWindow window;
        Form1& form = window.start();
        QCOMPARE(headerCaptions(form.ListView1()),
                 QStringList{"Please Select the Excel File or Folder to Merge"});
        QCOMPARE(headerCaptions(form.ListView2()), QStringList{"WorkBooks"});
        QCOMPARE(headerCaptions(form.ListView3()), QStringList{"WorkSheets"});
        QCOMPARE(headerCaptions(form.ListView4()), (QStringList{"Excel File", "Sheets be Merged"}));

        QCOMPARE(form.windowTitle(), QStringLiteral("Quillory"));
        QVERIFY(!form.windowIcon().pixmap(32).isNull());
        QVERIFY(!(form.windowFlags() & Qt::WindowMaximizeButtonHint));
        QVERIFY(form.windowFlags() & Qt::WindowMinimizeButtonHint);
        QCOMPARE(form.centralWidget()->size(), QSize(749, 501));
        form.resize(form.width() + 100, form.height() + 100);
        QCOMPARE(form.centralWidget()->size(), QSize(749, 501));
        QCOMPARE(form.minimumSize(), form.size());
        for (int number : {8, 6, 7, 18, 12, 13, 9, 10, 11, 14, 15, 4, 5}) {
            QVERIFY2(!form.command(number)->icon().pixmap(16).isNull(),
                     qPrintable(QString::number(number)));
        }
    }

    void savedListLoadsWithIconsAndOnlyTheSourceListShowsIcons() {
        TestWindow window;
        const auto book = window.dir.write("data/Book1.xlsx", "x");
        window.dir.write("EXCEL.txt", book.string() + "\r\n" + (window.dir / "data").string() +
                                          "\r\n/nowhere/Gone.xlsx\r\n");
        Form1& form = window.start();
        QAbstractItemModel* sources = form.ListView1()->model();
        QCOMPARE(shownTexts(*sources).value(2), QStringLiteral("/nowhere/Gone.xlsx"));
        for (int row = 0; row < 3; ++row) {
            const QModelIndex index = sources->index(row, 0);
            QVERIFY(!index.data(Qt::DecorationRole).value<QIcon>().pixmap(16).isNull());
            QVERIFY(!index.data(Qt::CheckStateRole).isValid());
            QVERIFY(!(index.flags() & Qt::ItemIsUserCheckable));
        }
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
    }

    // Exit (its button or the close box) saves the list once; whether set.txt switches saving
    // off is the saved list's own test.
    void exitSavesTheListOnce() {
        for (const bool button : {true, false}) {
            TestWindow window;
            window.dir.write("EXCEL.txt", "/data/a.xlsx\r\n");
            window.start();
            window.form->lists().sources.add("/data/b.xlsx");
            if (button) {
                QTest::mouseClick(window.form->command(9), Qt::LeftButton);
            } else {
                QVERIFY(window.form->close());
            }
            QVERIFY(!window.form->isVisible());
            const std::string expected = "/data/a.xlsx\r\n/data/b.xlsx\r\n";
            QCOMPARE(readFile(window.dir / "EXCEL.txt"), expected);
            // Closing once more (the application quitting) must not save a second time.
            window.form->lists().sources.add("/data/c.xlsx");
            QCloseEvent again;
            QCoreApplication::sendEvent(window.form.get(), &again);
            QCOMPARE(readFile(window.dir / "EXCEL.txt"), expected);
            QVERIFY(window.ui.messages.empty());
        }
    }

    void unreadableOrUnwritableSavedListIsReportedAndKeepsTheOldOne() {
        TestWindow window;
        window.dir.write("EXCEL.txt/keep", "a folder where the list should be");
        window.start();
        QCOMPARE(window.ui.messages.size(), std::size_t(1));
        QVERIFY(window.ui.messages[0].text.find("EXCEL.txt") != std::string::npos);
        QCOMPARE(window.form->lists().sources.count(), 0);

        window.form->lists().sources.add("/data/b.xlsx");
        window.form->close();
        QCOMPARE(window.ui.messages.size(), std::size_t(2));
        QCOMPARE(window.ui.messages[1].icon, MessageIcon::Critical);
        QVERIFY(window.ui.messages[1].text.find("EXCEL.txt") != std::string::npos);
        QCOMPARE(readFile(window.dir / "EXCEL.txt" / "keep"),
                 std::string("a folder where the list should be"));
    }

    void helpOpensTheHelpFileElseTheUserGuide() {
        TestWindow window;
        Form1& form = window.start();
        const auto url = [](const TempDir& dir, const std::string& file) {
            return QUrl::fromLocalFile(QString::fromStdString((dir / file).string()));
        };
        window.dir.write("doc/user-guide.html", "<html></html>");
        form.menuEntry(QStringLiteral("Help"))->trigger();
        window.dir.write("help.chm", "x");
        QTest::mouseClick(form.command(12), Qt::LeftButton);
        form.menuEntry(QStringLiteral("HomePage"))->trigger();
        QTest::mouseClick(form.command(13), Qt::LeftButton);
        QCOMPARE(window.opened.size(), std::size_t(4));
        QCOMPARE(window.opened[0], url(window.dir, "doc/user-guide.html"));
        QCOMPARE(window.opened[1], url(window.dir, "help.chm"));
        QCOMPARE(window.opened[2].scheme(), QStringLiteral("https"));
        QCOMPARE(window.opened[3], window.opened[2]);
        QVERIFY(window.ui.messages.empty());

        // Installed, the guide is beside the program's folder.
        TestWindow installed;
        installed.dir.write("share/doc/quillory/user-guide.html", "<html></html>");
        installed.start("bin").Command12_Click();
        QCOMPARE(installed.opened,
                 std::vector<QUrl>{url(installed.dir, "share/doc/quillory/user-guide.html")});
    }

    void adapterStaysConsistentThroughEveryListOperation() {
        ListModel list;
        ListModelAdapter adapter(list, {true, {}});
        QAbstractItemModelTester tester(&adapter,
                                        QAbstractItemModelTester::FailureReportingMode::QtTest);
        list.addColumn("Excel File", 3100);
        list.addColumn("Sheets be Merged", 1900);
        list.add("/b.xlsx");
        list.add("/a.xlsx", 1);
        list.add("/c.xlsx");
        list.add("/mid.xlsx", 3);
        list.setSubItem1(2, "Sheet2");
        list.setChecked(2, true);
        QCOMPARE(shownTexts(adapter), (QStringList{"/a.xlsx", "/b.xlsx", "/mid.xlsx", "/c.xlsx"}));
        QCOMPARE(shownTexts(adapter, 1), (QStringList{"", "Sheet2", "", ""}));
        QCOMPARE(adapter.index(1, 0).data(Qt::CheckStateRole).toInt(), int(Qt::Checked));
        QCOMPARE(adapter.headerData(1, Qt::Horizontal).toString(),
                 QStringLiteral("Sheets be Merged"));

        list.remove(1);
        list.remove(3);
        QCOMPARE(shownTexts(adapter), (QStringList{"/b.xlsx", "/mid.xlsx"}));
        QVERIFY(adapter.setData(adapter.index(1, 0), Qt::Checked, Qt::CheckStateRole));
        QVERIFY(list.checked(2));
        QVERIFY(!adapter.setData(adapter.index(1, 1), Qt::Checked, Qt::CheckStateRole));
        list.clear();
        QCOMPARE(adapter.rowCount(), 0);
        list.add("again");
        QCOMPARE(shownTexts(adapter), QStringList{"again"});
    }

    // The view raises the list's events as the list widget did.
    void viewRaisesItemClickButNotForACheckBoxAndDoubleClickAnywhere() {
        ListModel list;
        ListModelAdapter adapter(list, {true, {}});
        list.addColumn("WorkBooks", 1900);
        list.add("a.xlsx");
        list.add("b.xlsx");
        ListView view;
        view.bind(&adapter);
        view.resize(200, 200);
        view.show();
        QVERIFY(QTest::qWaitForWindowExposed(&view));
        QSignalSpy clicks(&view, &ListView::listItemClicked);
        QSignalSpy doubleClicks(&view, &ListView::listDoubleClicked);

        const QPoint secondRow = view.visualRect(adapter.index(1, 0)).center() + QPoint(30, 0);
        QTest::mouseClick(view.viewport(), Qt::LeftButton, {}, secondRow);
        QCOMPARE(clicks.count(), 1);
        QCOMPARE(list.selectedPosition(), 2); // the selection reached the model first

        QTest::mouseClick(view.viewport(), Qt::LeftButton, {}, checkBoxCentre(view, 0));
        QVERIFY(list.checked(1));
        QCOMPARE(clicks.count(), 1);

        QTest::mouseClick(view.viewport(), Qt::LeftButton, {}, QPoint(100, 190));
        QCOMPARE(clicks.count(), 1); // empty space is no item

        QTest::mouseDClick(view.viewport(), Qt::LeftButton, {}, QPoint(100, 190));
        QCOMPARE(doubleClicks.count(), 1);
        QTest::mouseDClick(view.viewport(), Qt::LeftButton, {}, secondRow);
        QCOMPARE(doubleClicks.count(), 2);

        // Scroll requests and column widths come from the model.
        QCOMPARE(view.columnWidth(0), 127);
        for (int i = 0; i < 50; ++i) {
            list.add("more" + std::to_string(i));
        }
        list.ensureVisible(52);
        QVERIFY(view.viewport()->rect().intersects(view.visualRect(adapter.index(51, 0))));
    }

    // Messages as the procedures expect them: the caption, the icon and one OK button, usable
    // while the busy pointer is on, which comes back after. The busy pointer is a state, not a
    // count, and a port that goes away while busy gives it back.
    void messagesHaveTheCaptionTheIconAndOneOkButton() {
        {
            QtUiPort port;
            port.setBusy(true);
            port.setBusy(true);
            QString shown; // caption and text
            QMessageBox::Icon icon = QMessageBox::NoIcon;
            QMessageBox::StandardButtons buttons;
            bool busyDuringMessage = true;
            ModalDriver<QMessageBox> driver([&](QMessageBox* box) {
                shown = box->windowTitle() + u'|' + box->text();
                icon = box->icon();
                buttons = box->standardButtons();
                busyDuringMessage = QApplication::overrideCursor() != nullptr;
                box->accept();
                return true;
            });
            port.showMessage(MessageIcon::Critical, "Open excel file failed!\nÜbersicht.xlsx");
            QVERIFY(driver.finished());
            QCOMPARE(shown, QStringLiteral("Quillory|Open excel file failed!\nÜbersicht.xlsx"));
            QCOMPARE(icon, QMessageBox::Critical);
            QCOMPARE(buttons, QMessageBox::StandardButtons(QMessageBox::Ok));
            QVERIFY(!busyDuringMessage);
            QVERIFY(QApplication::overrideCursor() != nullptr);
            QCOMPARE(QApplication::overrideCursor()->shape(), Qt::WaitCursor);
            port.setBusy(false);
            QVERIFY(QApplication::overrideCursor() == nullptr);
            port.setBusy(true);
        }
        QVERIFY(QApplication::overrideCursor() == nullptr);
    }
};

QTEST_MAIN(Form1Test)
#include "Form1_test.moc"
