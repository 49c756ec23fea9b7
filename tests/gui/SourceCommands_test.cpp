// The source-list commands in the real main window on the offscreen platform: buttons and menu
// entries, the dialogs answered by a scripted backend, the real workbook and worksheet listings
// over workbooks written by libxlsxwriter, drops from a file manager, and the Settings and About
// entries.

#include "ModalDriver.h"
#include "ScriptedDialogBackend.h"
#include "WindowTestSupport.h"
#include "dialogs/Dialog1.h"
#include "dialogs/Dialog2.h"
#include "mainwindow/Form1.h"
#include "mainwindow/ListView.h"
#include "support/ListContents.h"
#include "support/RecordingUiPort.h"
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
#include <memory>

using quillory::lists::kIconFile;
using quillory::lists::kIconFolder;
using quillory::lists::kIconMissing;
using quillory::lists::ListModel;
using quillory::mainwindow::Form1;
using quillory::testing::ModalDriver;
using quillory::testing::readFile;
using quillory::testing::RecordingUiPort;
using quillory::testing::RowIcons;
using quillory::testing::RowTexts;
using quillory::testing::TempDir;

namespace {

QString qpath(const std::filesystem::path& path) {
    return QString::fromStdString(path.string());
}

// One window over a temporary program folder, with the real engine, a recording UI port and
// opener, and scripted dialogs.
struct Window {
    explicit Window(const std::vector<std::string>& savedList = {}) {
        std::string bytes;
        for (const std::string& line : savedList) {
            bytes += line + "\r\n";
        }
        dir.write("EXCEL.txt", bytes);
        Form1::Dependencies dependencies;
        dependencies.programFolder = dir.path();
        dependencies.configFolder = dir / "config";
        dependencies.createApplication = quillory::spreadsheet::CreateEngineApplication;
        dependencies.uiPort = &ui;
        dependencies.openUrl = [this](const QUrl& url) {
            opened.append(url);
            return true;
        };
        dependencies.sources.dialogBackend = &dialogs;
        form = std::make_unique<Form1>(std::move(dependencies));
        form->show();
    }

    quillory::lists::MainLists& lists() { return form->lists(); }
    QAbstractButton* button(int number) { return form->command(number); }
    void trigger(const char* entry) { form->menuEntry(QString::fromLatin1(entry))->trigger(); }
    // Closes the window (its exit step saves the list) and gives EXCEL.txt.
    std::string closeAndReadSavedList() {
        form->close();
        return readFile(dir / "EXCEL.txt");
    }
    // The text the source list's view shows in a row (0-based).
    QString shownSource(int row) {
        const QAbstractItemModel* model = form->ListView1()->model();
        return model->index(row, 0).data().toString();
    }

    TempDir dir;
    RecordingUiPort ui;
    quillory::testing::ScriptedDialogBackend dialogs;
    QList<QUrl> opened;
    std::unique_ptr<Form1> form;
};

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
    void addExcelAppendsTheFileAndListsItsWorkbookAndWorksheets() {
        TempDir books;
        const auto book = books / "Q1 sales.xlsx";
        if (!quillory::testing::WriteWorkbook(book, {{"Alpha"}, {"Beta"}})) {
            QSKIP("libxlsxwriter is not available to write the workbook");
        }
        Window window({"/elsewhere/a.xlsx", "/elsewhere/b"});
        window.dialogs.fileAnswer = qpath(book);
        QTest::mouseClick(window.button(8), Qt::LeftButton);
        QCOMPARE(window.dialogs.titles, QStringList{QStringLiteral("Select Excel File")});
        const ListModel& sources = window.lists().sources;
        QCOMPARE(sources.count(), 3);
        QCOMPARE(sources.text(3), book.string());
        QCOMPARE(sources.smallIcon(3), kIconFile);
        QCOMPARE(sources.selectedPosition(), 3);
        QCOMPARE(window.form->ListView1()->currentIndex().row(), 2);
        QCOMPARE(RowTexts(window.lists().workbooks), std::vector<std::string>{"Q1 sales.xlsx"});
        QCOMPARE(RowTexts(window.lists().worksheets), (std::vector<std::string>{"Alpha", "Beta"}));
        QCOMPARE(window.ui.messageTexts(), std::vector<std::string>{});
        QVERIFY(!window.ui.busy);

        // The menu entry runs the same command.
        window.trigger("Addexcel");
        QCOMPARE(sources.count(), 4);
        QCOMPARE(sources.text(4), book.string());
        QCOMPARE(sources.selectedPosition(), 4);
    }

    void addFolderAppendsTheFolderWithTheFolderIconAndCancelChangesNothing() {
        TempDir books;
        if (!quillory::testing::WriteWorkbook(books / "b.xlsx", {{"Only"}})) {
            QSKIP("libxlsxwriter is not available to write the workbook");
        }
        Window window;
        window.dialogs.folderAnswer = qpath(books.path());
        window.trigger("AddFolder");
        QCOMPARE(window.dialogs.titles,
                 QStringList{QStringLiteral("Add all excel files in folder")});
        QCOMPARE(RowTexts(window.lists().sources), std::vector<std::string>{books.path().string()});
        QCOMPARE(window.lists().sources.smallIcon(1), kIconFolder);
        QCOMPARE(RowTexts(window.lists().workbooks), std::vector<std::string>{"b.xlsx"});
        QCOMPARE(RowTexts(window.lists().worksheets), std::vector<std::string>{"Only"});

        // The button does the same.
        QTest::mouseClick(window.button(6), Qt::LeftButton);
        QCOMPARE(window.lists().sources.count(), 2);
        QCOMPARE(window.lists().sources.selectedPosition(), 2);

        // Cancelled, either dialog changes nothing.
        window.dialogs.fileAnswer.reset();
        window.dialogs.folderAnswer.reset();
        window.trigger("Addexcel");
        QTest::mouseClick(window.button(6), Qt::LeftButton);
        QCOMPARE(window.dialogs.titles.size(), 4);
        QCOMPARE(RowTexts(window.lists().sources),
                 (std::vector<std::string>{books.path().string(), books.path().string()}));
        QCOMPARE(window.lists().sources.selectedPosition(), 2);
    }

    void removeButtonsSelectTheRowBeforeInModelAndView() {
        Window window({"/1", "/2", "/3", "/4", "/5"});
        window.lists().sources.select(3);
        QTest::mouseClick(window.button(7), Qt::LeftButton);
        QCOMPARE(RowTexts(window.lists().sources),
                 (std::vector<std::string>{"/1", "/2", "/4", "/5"}));
        QCOMPARE(window.lists().sources.selectedPosition(), 2);
        QCOMPARE(window.form->ListView1()->currentIndex().row(), 1);

        // The menu entry runs the same command; removing the first row selects the new first.
        window.lists().sources.select(1);
        window.trigger("RemoveItem");
        QCOMPARE(RowTexts(window.lists().sources), (std::vector<std::string>{"/2", "/4", "/5"}));
        QCOMPARE(window.form->ListView1()->currentIndex().row(), 0);

        window.trigger("RemoveAll");
        QVERIFY(window.lists().sources.empty());
    }

    void movesKeepTheMissingIcon() {
        TempDir books;
        std::filesystem::create_directories(books / "folder");
        Window window(
            {(books / "folder").string(), "/gone/away.xlsx", (books / "folder").string()});
        QCOMPARE(RowIcons(window.lists().sources),
                 (std::vector<int>{kIconFolder, kIconMissing, kIconFolder}));
        window.lists().sources.select(2);
        QTest::mouseClick(window.button(5), Qt::LeftButton); // up
        QCOMPARE(window.lists().sources.text(1), "/gone/away.xlsx");
        QCOMPARE(window.lists().sources.smallIcon(1), kIconMissing);
        QCOMPARE(window.lists().sources.selectedPosition(), 1);
        QTest::mouseClick(window.button(4), Qt::LeftButton); // down
        QTest::mouseClick(window.button(4), Qt::LeftButton);
        QCOMPARE(window.lists().sources.text(3), "/gone/away.xlsx");
        QCOMPARE(RowIcons(window.lists().sources),
                 (std::vector<int>{kIconFolder, kIconFolder, kIconMissing}));
        QCOMPARE(window.form->ListView1()->currentIndex().row(), 2);
    }

    void droppedFilesAndFoldersAreAdded() {
        TempDir books;
        const auto book = books / "dropped.XLSX";
        if (!quillory::testing::WriteWorkbook(book, {{"One"}, {"Two"}})) {
            QSKIP("libxlsxwriter is not available to write the workbook");
        }
        std::filesystem::create_directories(books / "sub");
        const auto notes = books.write("notes.txt", "x");
        Window window;
        QWidget* viewport = window.form->ListView1()->viewport();
        bool accepted = false;
        dropOn(viewport,
               {fileUrl(books / "sub"), fileUrl(notes), QUrl(QStringLiteral("https://x.example")),
                fileUrl(book)},
               &accepted);
        QVERIFY(accepted);
        QCOMPARE(RowTexts(window.lists().sources),
                 (std::vector<std::string>{(books / "sub").string(), book.string()}));
        QCOMPARE(RowIcons(window.lists().sources), (std::vector<int>{kIconFolder, kIconFile}));
        QCOMPARE(window.lists().sources.selectedPosition(), 2);
        QCOMPARE(RowTexts(window.lists().workbooks), std::vector<std::string>{"dropped.XLSX"});
        QCOMPARE(RowTexts(window.lists().worksheets), (std::vector<std::string>{"One", "Two"}));
        QCOMPARE(window.ui.messages.size(), size_t{1});
        QVERIFY(window.ui.messages[0].text.find("notes.txt") != std::string::npos);

        // A drag of web addresses only is refused and adds nothing.
        dropOn(viewport, {QUrl(QStringLiteral("https://x.example/a.xlsx"))}, &accepted);
        QVERIFY(!accepted);
        QCOMPARE(window.lists().sources.count(), 2);
    }

    void awkwardPathsAreKeptShownAndSavedWithoutLoss() {
        TempDir books;
        const auto spaced = books / " Ünïcode résumé 2024 .xlsx ";
        if (!quillory::testing::WriteWorkbook(spaced, {{"Données"}})) {
            QSKIP("libxlsxwriter is not available to write the workbook");
        }
        const auto vanishing = books / "vanishing folder";
        std::filesystem::create_directories(vanishing);
        const std::string overlong =
            "/" + std::string(300, 'd') + "/" + std::string(5000, 'n') + ".xlsx";

        Window window;
        window.dialogs.fileAnswer = qpath(spaced);
        QTest::mouseClick(window.button(8), Qt::LeftButton);
        QCOMPARE(RowTexts(window.lists().worksheets), std::vector<std::string>{"Données"});

        // A folder that is gone by the time it is listed.
        window.dialogs.folderAnswer = qpath(vanishing);
        window.dialogs.beforeAnswer = [&] { std::filesystem::remove_all(vanishing); };
        QTest::mouseClick(window.button(6), Qt::LeftButton);
        window.dialogs.beforeAnswer = nullptr;
        QCOMPARE(window.lists().sources.count(), 2);
        QCOMPARE(window.lists().sources.smallIcon(2), kIconFolder);
        QVERIFY(window.lists().workbooks.empty());
        QVERIFY(window.lists().worksheets.empty());

        // Longer than any path the system can open: kept as given.
        window.dialogs.fileAnswer = QString::fromStdString(overlong);
        QTest::mouseClick(window.button(8), Qt::LeftButton);
        dropOn(window.form->ListView1()->viewport(),
               {QUrl::fromLocalFile(QString::fromStdString(overlong))});
        QCOMPARE(window.lists().sources.count(), 4);
        QCOMPARE(window.lists().sources.text(3), overlong);
        QCOMPARE(window.lists().sources.text(4), overlong);
        QCOMPARE(window.lists().sources.smallIcon(4), kIconMissing);

        QCOMPARE(window.shownSource(0), qpath(spaced));
        QCOMPARE(window.shownSource(3), QString::fromStdString(overlong));
        const std::string saved = window.closeAndReadSavedList();
        QCOMPARE(saved, spaced.string() + "\r\n" + vanishing.string() + "\r\n" + overlong + "\r\n" +
                            overlong + "\r\n");
    }

    void settingsEntryOpensTheSettingsDialogOverTheWindow() {
        Window window;
        window.dir.write("set.txt", "0\r\n");
        bool wasTicked = true;
        bool windowBlocked = false;
        ModalDriver<quillory::dialogs::Dialog2> driver([&](quillory::dialogs::Dialog2* dialog) {
            wasTicked = dialog->Check1()->isChecked();
            windowBlocked = QApplication::activeModalWidget() == dialog &&
                            dialog->parentWidget() == window.form.get();
            QTest::mouseClick(dialog->Check1(), Qt::LeftButton);
            QTest::mouseClick(dialog->OKButton(), Qt::LeftButton);
            return true;
        });
        window.trigger("Settings");
        QVERIFY(driver.finished());
        QVERIFY(!wasTicked);
        QVERIFY(windowBlocked);
        QCOMPARE(readFile(window.dir / "set.txt"), std::string("1\r\n"));
    }

    void aboutEntryOpensTheAboutDialogWhoseLinksGoThroughTheWindowsOpener() {
        Window window;
        int openings = 0;
        QString version;
        for (int run = 0; run < 2; ++run) {
            ModalDriver<quillory::dialogs::Dialog1> driver([&](quillory::dialogs::Dialog1* about) {
                ++openings;
                version = about->Label4()->text();
                QTest::mouseClick(about->Label8(), Qt::LeftButton);
                QTest::mouseClick(about->OKButton(), Qt::LeftButton);
                return true;
            });
            window.trigger("About");
            QVERIFY(driver.finished());
        }
        QCOMPARE(openings, 2);
        QVERIFY(version.startsWith(QStringLiteral("Version:")));
        QCOMPARE(window.opened, (QList<QUrl>{QUrl(QStringLiteral("https://quillory.example")),
                                             QUrl(QStringLiteral("https://quillory.example"))}));
    }
};

QTEST_MAIN(SourceCommandsTest)
#include "SourceCommands_test.moc"
