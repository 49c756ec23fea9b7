// The source-list commands in the real main window on the offscreen platform: buttons and menu
// entries, the dialogs answered by a scripted backend, the real workbook and worksheet listings
// over workbooks written by libxlsxwriter, drops from a file manager, and the Settings and About
// entries.

#include "ModalDriver.h"
#include "WindowTestSupport.h"
#include "dialogs/Dialog1.h"
#include "dialogs/Dialog2.h"
#include "mainwindow/Form1.h"
#include "mainwindow/ListView.h"
#include "support/ListContents.h"
#include "support/TempDir.h"

#include <QAbstractButton>
#include <QAction>
#include <QCheckBox>
#include <QLabel>
#include <QMimeData>
#include <QPushButton>
#include <QUrl>
#include <QtTest>
#include <functional>

using quillory::lists::kIconFile;
using quillory::lists::kIconFolder;
using quillory::lists::kIconMissing;
using quillory::lists::ListModel;
using quillory::mainwindow::Form1;
using quillory::testing::ModalDriver;
using quillory::testing::readFile;
using quillory::testing::RowIcons;
using quillory::testing::RowTexts;
using quillory::testing::TempDir;
using quillory::testing::TestWindow;

namespace {

QString qpath(const std::filesystem::path& path) {
    return QString::fromStdString(path.string());
}

void dropOn(QWidget* viewport, const QList<QUrl>& urls, bool* accepted = nullptr) {
    QMimeData data;
    data.setUrls(urls);
    const QPoint middle = viewport->rect().center();
    QDragEnterEvent enter(middle, Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(viewport, &enter);
    if (accepted != nullptr) {
        *accepted = enter.isAccepted();
    }
    QDropEvent drop(QPointF(middle), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(viewport, &drop);
}

QUrl fileUrl(const std::filesystem::path& path) {
    return QUrl::fromLocalFile(qpath(path));
}

} // namespace

class SourceCommandsTest : public QObject {
    Q_OBJECT

private slots:
    // The commands' rules are the source tests'; here each button and menu entry reaches its
    // command, with the real dialogs' titles and listings, and the view follows.
    void buttonsAndMenuEntriesReachTheSourceCommands() {
        TempDir books;
        const auto book = books / "Q1 sales.xlsx";
        if (!quillory::testing::WriteWorkbook(book, {{"Alpha"}, {"Beta"}})) {
            QSKIP("libxlsxwriter is not available to write the workbook");
        }
        const std::string a = "/elsewhere/a.xlsx";
        const std::string b = book.string();
        const std::string f = books.path().string();
        TestWindow window;
        window.dir.write("EXCEL.txt", a + "\r\n");
        Form1& form = window.start();
        auto& lists = form.lists();
        window.dialogs.fileAnswer = qpath(book);
        window.dialogs.folderAnswer = qpath(books.path());
        using Action = std::function<void()>;
        const auto click = [&form](int number) -> Action {
            return [&form, number] { QTest::mouseClick(form.command(number), Qt::LeftButton); };
        };
        const auto menu = [&form](const char* entry) -> Action {
            return [&form, entry] { form.menuEntry(entry)->trigger(); };
        };
        const auto selectThen = [&lists](int row, Action action) -> Action {
            return [&lists, row, action] {
                lists.sources.select(row);
                action();
            };
        };
        const Action cancelBoth = [&] {
            window.dialogs.fileAnswer.reset();
            window.dialogs.folderAnswer.reset();
            menu("Addexcel")();
            click(6)();
        };
        using Strings = std::vector<std::string>;
        struct Step {
            Action action;
            Strings sources;
            int selected;
            int listed; // 1: the workbook and its sheets listed then, 0: none, -1: not listed anew
        };
        const Step steps[] = {
            {click(8), {a, b}, 2, 1},
            {menu("Addexcel"), {a, b, b}, 3, 1},
            {menu("AddFolder"), {a, b, b, f}, 4, 1},
            {click(6), {a, b, b, f, f}, 5, 1},
            {click(5), {a, b, b, f, f}, 4, -1},                // up from the last row
            {selectThen(2, click(5)), {b, a, b, f, f}, 1, -1}, // up
            {click(4), {a, b, b, f, f}, 2, -1},                // down
            {click(7), {a, b, f, f}, 1, 0},                    // remove: the row before
            // The first row removed: its successor becomes the first.
            {selectThen(1, menu("RemoveItem")), {b, f, f}, 1, 1},
            {cancelBoth, {b, f, f}, 1, -1}, // a cancelled dialog changes nothing
            {menu("RemoveAll"), {}, 0, 0},
        };
        for (const Step& step : steps) {
            step.action();
            QCOMPARE(RowTexts(lists.sources), step.sources);
            QCOMPARE(lists.sources.selectedPosition(), step.selected);
            QCOMPARE(form.ListView1()->currentIndex().row(), step.selected - 1);
            if (step.listed >= 0) {
                QCOMPARE(RowTexts(lists.workbooks),
                         step.listed ? Strings{"Q1 sales.xlsx"} : Strings{});
                QCOMPARE(RowTexts(lists.worksheets),
                         (step.listed ? Strings{"Alpha", "Beta"} : Strings{}));
            }
        }
        QCOMPARE(window.dialogs.titles,
                 (QStringList{"Select Excel File", "Select Excel File",
                              "Add all excel files in folder", "Add all excel files in folder",
                              "Select Excel File", "Add all excel files in folder"}));
        QCOMPARE(window.ui.messageTexts(), std::vector<std::string>{});
        QVERIFY(!window.ui.busy);
    }

    // Drops from a file manager, and paths no dialog offers: kept without loss (saving them is the
    // saved list's test).
    void droppedAndAwkwardPathsAreAddedAsGiven() {
        TempDir books;
        const auto spaced = books / " Ünïcode résumé 2024 .XLSX ";
        if (!quillory::testing::WriteWorkbook(spaced, {{"Données"}, {"Two"}})) {
            QSKIP("libxlsxwriter is not available to write the workbook");
        }
        const auto folder = books / "folder";
        std::filesystem::create_directories(folder);
        const auto notes = books.write("notes.txt", "x");
        const std::string overlong =
            "/" + std::string(300, 'd') + "/" + std::string(5000, 'n') + ".xlsx";
        TestWindow window;
        Form1& form = window.start();
        auto& lists = form.lists();
        QWidget* viewport = form.ListView1()->viewport();
        bool accepted = false;
        dropOn(viewport,
               {fileUrl(folder), fileUrl(notes), QUrl(QStringLiteral("https://x.example")),
                fileUrl(spaced)},
               &accepted);
        QVERIFY(accepted);
        QCOMPARE(RowIcons(lists.sources), (std::vector<int>{kIconFolder, kIconFile}));
        QCOMPARE(lists.sources.selectedPosition(), 2);
        QCOMPARE(RowTexts(lists.worksheets), (std::vector<std::string>{"Données", "Two"}));
        QCOMPARE(window.ui.messages.size(), size_t{1});
        QVERIFY(window.ui.messages[0].text.find("notes.txt") != std::string::npos);
        // A drag of web addresses only is refused and adds nothing.
        dropOn(viewport, {QUrl(QStringLiteral("https://x.example/a.xlsx"))}, &accepted);
        QVERIFY(!accepted);

        // Longer than any path the system can open: kept as given (the dialog's choice as a
        // file, as Add Excel takes it; dropped, as a path that cannot be looked at).
        window.dialogs.fileAnswer = QString::fromStdString(overlong);
        QTest::mouseClick(form.command(8), Qt::LeftButton);
        dropOn(viewport, {QUrl::fromLocalFile(QString::fromStdString(overlong))});
        QCOMPARE(RowIcons(lists.sources),
                 (std::vector<int>{kIconFolder, kIconFile, kIconFile, kIconMissing}));

        QCOMPARE(RowTexts(lists.sources),
                 (std::vector<std::string>{folder.string(), spaced.string(), overlong, overlong}));
    }

    void settingsAndAboutEntriesOpenTheirDialogsOverTheWindow() {
        TestWindow window;
        window.dir.write("set.txt", "0\r\n");
        Form1& form = window.start();
        bool windowBlocked = false;
        ModalDriver<quillory::dialogs::Dialog2> settings([&](quillory::dialogs::Dialog2* dialog) {
            windowBlocked =
                QApplication::activeModalWidget() == dialog && dialog->parentWidget() == &form;
            QTest::mouseClick(dialog->Check1(), Qt::LeftButton);
            QTest::mouseClick(dialog->OKButton(), Qt::LeftButton);
            return true;
        });
        form.menuEntry("Settings")->trigger();
        QVERIFY(settings.finished());
        QVERIFY(windowBlocked);
        QCOMPARE(readFile(window.dir / "set.txt"), std::string("1\r\n"));

        // The About dialog's links go through the window's opener, each time it is opened, and
        // leave the dialog open; the name above them is no link.
        const QUrl mail(QStringLiteral("mailto:support@quillory.example"));
        const QUrl site(QStringLiteral("https://quillory.example"));
        bool openAfterLinks = false;
        for (int run = 0; run < 2; ++run) {
            ModalDriver<quillory::dialogs::Dialog1> about([&](quillory::dialogs::Dialog1* shown) {
                QTest::mouseClick(shown->Label2(), Qt::LeftButton);
                QTest::mouseClick(shown->Label8(), Qt::LeftButton);
                QTest::mouseClick(shown->Label1(), Qt::LeftButton);
                openAfterLinks = shown->isVisible();
                QTest::mouseClick(shown->OKButton(), Qt::LeftButton);
                return true;
            });
            form.menuEntry("About")->trigger();
            QVERIFY(about.finished());
            QVERIFY(openAfterLinks);
        }
        QCOMPARE(window.opened, (std::vector<QUrl>{mail, site, mail, site}));
    }
};

QTEST_MAIN(SourceCommandsTest)
#include "SourceCommands_test.moc"
