// The program's dialogs with real widgets: Settings and About (what they read and write in
// set.txt, what a failed write shows, what the links hand to the desktop), and CCommonDialogs,
// through a scripted backend and through Qt's real file dialog driven from inside its loop.

#include "ModalDriver.h"
#include "ScriptedDialogBackend.h"
#include "Version.h"
#include "commondialogs/CCommonDialogs.h"
#include "commondialogs/QtDialogBackend.h"
#include "commondialogs/RecentFolder.h"
#include "dialogs/Dialog1.h"
#include "dialogs/Dialog2.h"
#include "support/TempDir.h"

#include <QCheckBox>
#include <QCoreApplication>
#include <QFileDialog>
#include <QLabel>
#include <QListView>
#include <QMessageBox>
#include <QPushButton>
#include <QSet>
#include <QTemporaryDir>
#include <QUrl>
#include <QtTest>

using quillory::commondialogs::CCommonDialogs;
using quillory::commondialogs::DialogNotInitialised;
using quillory::commondialogs::QtDialogBackend;
using quillory::commondialogs::RecentFolder;
using quillory::dialogs::Dialog1;
using quillory::dialogs::Dialog2;
using quillory::testing::ModalDriver;
using quillory::testing::readFile;
using ScriptedBackend = quillory::testing::ScriptedDialogBackend;
using quillory::testing::TempDir;

namespace {

void click(QWidget* widget) {
    QTest::mouseClick(widget, Qt::LeftButton);
}

QString qpath(const std::filesystem::path& path) {
    return QString::fromStdString(path.string());
}

// The names the real dialog lists in its current folder; selects the entry `choice`, as a click
// on it does, when it is listed.
QSet<QString> listAndSelect(QFileDialog* dialog, const QString& choice) {
    QSet<QString> names;
    auto* view = dialog->findChild<QListView*>(QStringLiteral("listView"));
    if (view == nullptr || view->model() == nullptr) {
        return names;
    }
    for (int row = 0; row < view->model()->rowCount(view->rootIndex()); ++row) {
        const QModelIndex index = view->model()->index(row, 0, view->rootIndex());
        names.insert(index.data().toString());
        if (index.data().toString() == choice) {
            view->setCurrentIndex(index);
        }
    }
    return names;
}

} // namespace

class DialogsTest : public QObject {
    Q_OBJECT

private slots:
    // Qt's file dialog keeps its view state in the user's settings; test runs in parallel would
    // read each other's, so each run gets a settings folder of its own.
    void initTestCase() {
        QVERIFY(settingsHome_.isValid());
        qputenv("XDG_CONFIG_HOME", settingsHome_.path().toLocal8Bit());
    }

    void init() { RecentFolder::forget(); }

    void settingsHasItsControlsAndOkWritesOneOrZeroWithCrLfAndNothingElse() {
        TempDir temp;
        const auto file = temp / "set.txt";
        {
            Dialog2 dialog(file);
            QCOMPARE(dialog.windowTitle(), QStringLiteral("Setting"));
            QCOMPARE(dialog.Check1()->text(),
                     QStringLiteral("Automatically save the current list ."));
            QCOMPARE(dialog.minimumSize(), dialog.maximumSize());
            // Its text is never cut off, whatever this platform's font needs.
            const QRect check = dialog.Check1()->geometry();
            QVERIFY(check.width() >= dialog.Check1()->sizeHint().width());
            QVERIFY(dialog.width() >= check.right() + 1);
            QCOMPARE(dialog.geometry().topLeft(), QPoint(184, 250));
            QVERIFY(!(dialog.windowFlags() &
                      (Qt::WindowMaximizeButtonHint | Qt::WindowMinimizeButtonHint)));
        }
        // The file before (SavedList_test holds every rule), whether the box shows
        // ticked, whether it is clicked, how the dialog ends, and the file after: OK writes one
        // line; Cancel and the close box leave the file byte for byte.
        enum class End { Ok, Cancel, Close };
        const std::string other = "maybe\r\nsecond\nthird";
        const std::tuple<const char*, bool, bool, End, std::string> cases[] = {
            {"1\r\n0\r\nmore\r\n", true, false, End::Ok, "1\r\n"},
            {"1 \r\nsecond line\r\n", false, false, End::Ok, "0\r\n"},
            {"0\r\n", false, true, End::Ok, "1\r\n"},
            {nullptr, false, false, End::Ok, "0\r\n"}, // missing: opens cleared, OK creates it
            {other.c_str(), false, true, End::Cancel, other},
            {other.c_str(), false, true, End::Close, other}};
        for (const auto& [before, ticked, clicked, end, after] : cases) {
            std::filesystem::remove(file);
            if (before != nullptr) {
                temp.write("set.txt", before);
            }
            Dialog2 dialog(file);
            dialog.show();
            QCOMPARE(dialog.Check1()->isChecked(), ticked);
            if (clicked) {
                click(dialog.Check1());
            }
            if (end == End::Close) {
                dialog.close();
            } else {
                click(end == End::Ok ? dialog.OKButton() : dialog.CancelButton());
            }
            QCOMPARE(dialog.result(), int(end == End::Ok ? QDialog::Accepted : QDialog::Rejected));
            QVERIFY(!dialog.isVisible());
            QCOMPARE(readFile(file), after);
        }
    }

    void anUnwritableSettingsFileIsReportedAndTheDialogStaysUsable() {
        TempDir temp;
        const auto file = temp / "set.txt";
        std::filesystem::create_directories(file); // a folder in its place cannot be replaced
        Dialog2 dialog(file);
        dialog.open();
        click(dialog.Check1());

        QString shown;
        QMessageBox::Icon icon = QMessageBox::NoIcon;
        ModalDriver<QMessageBox> driver([&](QMessageBox* box) {
            shown = box->text();
            icon = box->icon();
            box->accept();
            return true;
        });
        click(dialog.OKButton());
        QVERIFY(driver.finished());
        QCOMPARE(icon, QMessageBox::Critical);
        QVERIFY2(shown.contains(QString::fromStdString(file.string())), qPrintable(shown));
        QVERIFY(dialog.isVisible());
        QVERIFY(dialog.Check1()->isChecked());

        // Once the file can be written, OK works.
        std::filesystem::remove(file);
        click(dialog.OKButton());
        QVERIFY(!dialog.isVisible());
        QCOMPARE(dialog.result(), int(QDialog::Accepted));
        QCOMPARE(readFile(file), std::string("1\r\n"));
    }

    void aboutShowsNameVersionAndAddresses() {
        Dialog1 dialog([](const QUrl&) { return true; });
        QCOMPARE(dialog.windowTitle(), QStringLiteral("About us"));
        // No one-line text is cut off, and each stays inside the dialog.
        for (const QLabel* single : dialog.findChildren<QLabel*>()) {
            if (!single->wordWrap()) {
                QVERIFY2(single->width() >= single->sizeHint().width(),
                         qPrintable(single->objectName()));
                const QRect inDialog(single->mapTo(&dialog, QPoint(0, 0)), single->size());
                QVERIFY2(dialog.rect().contains(inDialog), qPrintable(single->objectName()));
            }
        }
        QCOMPARE(dialog.geometry().topLeft(), QPoint(184, 250));
        QCOMPARE(dialog.Label1()->text(), QStringLiteral("Quillory"));
        QCOMPARE(dialog.Label4()->text(),
                 QStringLiteral("Version:") + QString::fromLatin1(quillory::kVersion));
        QCOMPARE(dialog.Label2()->text(), QStringLiteral("support@quillory.example"));
        QCOMPARE(dialog.Label8()->text(), QStringLiteral("quillory.example"));
        // Links in the highlight colour with a pointing hand; the other labels not.
        QCOMPARE(dialog.Label2()->palette().color(QPalette::WindowText),
                 dialog.palette().color(QPalette::Highlight));
        QCOMPARE(dialog.Label8()->cursor().shape(), Qt::PointingHandCursor);
        QVERIFY(dialog.Label1()->cursor().shape() != Qt::PointingHandCursor);
    }

    void everyShowNeedsAnOwnerThatIsStillThere() {
        ScriptedBackend backend;
        backend.fileAnswer = QStringLiteral("/tmp/a.xlsx");
        backend.folderAnswer = QStringLiteral("/tmp");
        backend.printerAnswer = true;
        CCommonDialogs dialogs(backend);
        const auto nothingShows = [&] {
            QVERIFY_THROWS_EXCEPTION(DialogNotInitialised, dialogs.ShowOpen());
            QVERIFY_THROWS_EXCEPTION(DialogNotInitialised, dialogs.ShowSave());
            QVERIFY_THROWS_EXCEPTION(DialogNotInitialised, dialogs.ShowFolder());
            QVERIFY_THROWS_EXCEPTION(DialogNotInitialised, dialogs.ShowColor(false));
            QVERIFY_THROWS_EXCEPTION(DialogNotInitialised, dialogs.ShowPrinter());
            QVERIFY(!dialogs.ShowFont());
            QVERIFY(!dialogs.ShowPrinterProperties());
        };
        nothingShows(); // no Init
        auto* owner = new QWidget;
        dialogs.Init(owner);
        delete owner; // an owner that has gone since Init counts as none
        nothingShows();
        dialogs.Init(nullptr);
        nothingShows();
        QCOMPARE(backend.calls, 0);
        QCOMPARE(dialogs.FileName(), QString());
    }

    // What the application uses: the open and folder dialogs, their title and their results.
    void openAndFolderFillTheResultsAndCancelChangesNone() {
        QWidget owner;
        ScriptedBackend backend;
        CCommonDialogs dialogs(backend);
        dialogs.Init(&owner);
        dialogs.SetTitle(QStringLiteral("Select Excel File"));
        dialogs.SetFilter(QStringLiteral("Text|*.txt")); // not used by the open dialog
        dialogs.SetDefExt(QStringLiteral("xlsx"));
        dialogs.SetFileName(QStringLiteral("/keep/me.xlsx"));
        dialogs.SetFileTitle(QStringLiteral("me.xlsx"));
        dialogs.SetPath(QStringLiteral("/keep"));
        QVERIFY(!dialogs.ShowOpen());
        QVERIFY(!dialogs.ShowFolder());
        QCOMPARE(dialogs.FileName(), QStringLiteral("/keep/me.xlsx"));
        QCOMPARE(dialogs.FileTitle(), QStringLiteral("me.xlsx"));
        QCOMPARE(dialogs.Path(), QStringLiteral("/keep"));
        QCOMPARE(backend.lastFile.owner, &owner);
        QCOMPARE(backend.lastFile.title, QStringLiteral("Select Excel File"));
        QCOMPARE(backend.lastFile.nameFilters,
                 QStringList{QStringLiteral("Excel files(*.xls;*.xlsx;*.xlsm;*.xlsb) (*.xl*)")});
        QVERIFY(backend.lastFile.hideFilterPatterns);
        QCOMPARE(backend.lastFile.defaultSuffix, QStringLiteral("xlsx"));
        // The open dialog starts with the current file name in its name box.
        QCOMPARE(backend.lastFile.initialName, QStringLiteral("/keep/me.xlsx"));

        struct Case {
            bool folder;
            QString answer, fileName, fileTitle, path;
        };
        const Case cases[] = {
            {false, "/data/books/Q1 sales.xlsx", "/data/books/Q1 sales.xlsx", "Q1 sales.xlsx",
             "/data/books"},
            {false, "/Book1.xls", "/Book1.xls", "Book1.xls", "/"},
            // A folder without its trailing separator, and no file names.
            {true, "/data/books/", "", "", "/data/books"},
            {true, "/", "", "", "/"},
            // Confirmed with nothing chosen: true, with an empty Path the caller ignores.
            {true, "", "", "", ""},
        };
        for (const Case& c : cases) {
            (c.folder ? backend.folderAnswer : backend.fileAnswer) = c.answer;
            QVERIFY(c.folder ? dialogs.ShowFolder() : dialogs.ShowOpen());
            QCOMPARE(dialogs.FileName(), c.fileName);
            QCOMPARE(dialogs.FileTitle(), c.fileTitle);
            QCOMPARE(dialogs.Path(), c.path);
        }
        QCOMPARE(backend.lastFolder.title, QStringLiteral("Select Excel File"));
        QCOMPARE(backend.calls, 7);
    }

    void dialogsStartInTheFolderLastUsed() {
        TempDir temp;
        std::filesystem::create_directories(temp / "books");
        QWidget owner;
        ScriptedBackend backend;
        CCommonDialogs::SetDefaultBackend(&backend); // also what a dialog without one uses
        {
            CCommonDialogs first;
            first.Init(&owner);
            QVERIFY(!first.ShowOpen());
            QCOMPARE(backend.lastFile.startFolder, QString()); // nothing used yet
            backend.fileAnswer = qpath(temp / "books" / "a.xlsx");
            QVERIFY(first.ShowOpen());
        }
        CCommonDialogs::SetDefaultBackend(nullptr);
        QCOMPARE(backend.calls, 2);
        CCommonDialogs second(backend);
        second.Init(&owner);
        second.ShowFolder();
        QCOMPARE(backend.lastFolder.startFolder, qpath(temp / "books"));
        backend.folderAnswer = qpath(temp.path());
        QVERIFY(second.ShowFolder());
        second.ShowOpen();
        QCOMPARE(backend.lastFile.startFolder, qpath(temp.path()));

        // A remembered folder that has gone is not offered.
        std::filesystem::remove_all(temp / "books");
        backend.folderAnswer = qpath(temp / "books");
        QVERIFY(second.ShowFolder());
        second.ShowOpen();
        QCOMPARE(backend.lastFile.startFolder, QString());
    }

    // The rest of the interface, which the application does not use today: what each dialog
    // starts with, what it gives back, and a cancel that changes nothing.
    void theOtherDialogsTravelBothWays() {
        TempDir temp;
        temp.write("a file", "x");
        const QString program = QCoreApplication::applicationDirPath();
        QWidget owner;
        ScriptedBackend backend;
        CCommonDialogs dialogs(backend);
        dialogs.Init(&owner);
        // Save starts in an existing folder Path names, else in the program folder, which Path
        // keeps although the user cancelled.
        for (const auto& [path, start] : {std::pair<QString, QString>{"   ", program},
                                          {qpath(temp / "no such folder"), program},
                                          {qpath(temp / "a file"), program},
                                          {qpath(temp.path()), qpath(temp.path()) + u'/'}}) {
            dialogs.SetPath(path);
            QVERIFY(!dialogs.ShowSave());
            QCOMPARE(dialogs.Path(), start);
            QCOMPARE(backend.lastFile.startFolder, start);
        }
        QCOMPARE(backend.lastFile.title, QStringLiteral("Save"));
        backend.fileAnswer = qpath(temp / "out.xlsx");
        QVERIFY(dialogs.ShowSave());
        QCOMPARE(dialogs.FileTitle(), QStringLiteral("out.xlsx"));
        QCOMPARE(dialogs.Path(), qpath(temp.path()));
        using quillory::commondialogs::SaveNameFilters;
        QCOMPARE(SaveNameFilters("  "), QStringList{"*.* (*)"});
        QCOMPARE(SaveNameFilters("Workbooks|*.xlsx;*.xlsm|All|*.*|Dangling"),
                 (QStringList{"Workbooks (*.xlsx *.xlsm)", "All (*)"}));

        dialogs.SetColor(255 + 256 * 128); // red 255, green 128, blue 0
        dialogs.SetFontName(QStringLiteral("Serif"));
        dialogs.SetFontSize(12);
        dialogs.SetFontBold(true);
        dialogs.SetFontUnderline(true);
        QVERIFY(!dialogs.ShowColor(true) && !dialogs.ShowFont());
        QVERIFY(!dialogs.ShowPrinter() && !dialogs.ShowPrinterProperties());
        QCOMPARE(dialogs.Color(), 255 + 256 * 128);
        QCOMPARE(dialogs.FontName(), QStringLiteral("Serif"));
        backend.colorAnswer = QColor(10, 20, 30);
        QFont answer(QStringLiteral("Monospace"));
        answer.setPointSizeF(10.75);
        answer.setItalic(true);
        backend.fontAnswer = answer;
        backend.printerAnswer = true;
        QVERIFY(dialogs.ShowColor(true) && dialogs.ShowFont());
        QVERIFY(dialogs.ShowPrinter() && dialogs.ShowPrinterProperties());
        QCOMPARE(backend.lastColor, QColor(255, 128, 0));
        QVERIFY(backend.lastFullOpen);
        QCOMPARE(dialogs.Color(), 10 + 256 * 20 + 65536 * 30);
        QCOMPARE(backend.lastFont.family(), QStringLiteral("Serif"));
        QCOMPARE(backend.lastFont.pointSize(), 12);
        QVERIFY(backend.lastFont.bold() && backend.lastFont.underline());
        QCOMPARE(dialogs.FontName(), QStringLiteral("Monospace"));
        QCOMPARE(dialogs.FontSize(), std::int16_t{10}); // whole points, cut toward zero
        QVERIFY(!dialogs.FontBold() && dialogs.FontItalic());
        QVERIFY(dialogs.FontUnderline()); // not read back

        // Title and the file texts read back up to their first NUL; the others whole.
        const QString withNul = QStringLiteral("Select") + QChar(u'\0') + QStringLiteral("junk");
        using Set = void (CCommonDialogs::*)(const QString&);
        using Get = QString (CCommonDialogs::*)() const;
        for (const auto& [set, get, whole] :
             {std::tuple<Set, Get, bool>{&CCommonDialogs::SetTitle, &CCommonDialogs::Title, false},
              {&CCommonDialogs::SetFileName, &CCommonDialogs::FileName, false},
              {&CCommonDialogs::SetFileTitle, &CCommonDialogs::FileTitle, false},
              {&CCommonDialogs::SetPath, &CCommonDialogs::Path, false},
              {&CCommonDialogs::SetFilter, &CCommonDialogs::Filter, true},
              {&CCommonDialogs::SetDefExt, &CCommonDialogs::DefExt, true},
              {&CCommonDialogs::SetFontName, &CCommonDialogs::FontName, true}}) {
            (dialogs.*set)(withNul);
            QCOMPARE((dialogs.*get)(), whole ? withNul : QStringLiteral("Select"));
        }
    }

    // The real non-native file dialog, found from a timer while it runs its own loop. The choice
    // is made by selecting the entry in the dialog's list, as a click does: handing the dialog a
    // path with selectFile() while it still reads the folder left it running after accept() in
    // about one run of eight.
    void realOpenAndFolderDialogsListWhatTheyOfferAndReturnTheChoice() {
        TempDir temp;
        for (const char* name :
             {"lower.xlsx", "UPPER.XLSM", "Mixed.Xls", "notes.txt", "table.csv"}) {
            temp.write(name, "x");
        }
        RecentFolder::remember(qpath(temp.path()));
        QWidget owner;
        QtDialogBackend backend(/*nativeDialogs=*/false);
        CCommonDialogs dialogs(backend);
        dialogs.Init(&owner);
        dialogs.SetTitle(QStringLiteral("Select Excel File"));
        {
            ModalDriver<QFileDialog> canceller([](QFileDialog* dialog) {
                dialog->reject();
                return true;
            });
            QVERIFY(!dialogs.ShowOpen());
            QVERIFY(canceller.finished());
            QCOMPARE(dialogs.FileName(), QString());
        }
        QString title;
        QStringList filters;
        QString directory;
        QSet<QString> names;
        const QSet<QString> workbooks{"lower.xlsx", "UPPER.XLSM", "Mixed.Xls"};
        ModalDriver<QFileDialog> driver([&](QFileDialog* dialog) {
            names = listAndSelect(dialog, QStringLiteral("UPPER.XLSM"));
            if (!names.contains(workbooks)) {
                return false; // the folder is still being read
            }
            title = dialog->windowTitle();
            filters = dialog->nameFilters();
            directory = dialog->directory().absolutePath();
            static_cast<QDialog*>(dialog)->accept(); // runs the file dialog's own checks
            return true;
        });
        QVERIFY(dialogs.ShowOpen());
        QVERIFY(driver.finished());
        QCOMPARE(title, QStringLiteral("Select Excel File"));
        QCOMPARE(filters.size(), 1);
        QCOMPARE(directory, qpath(temp.path()));
        QCOMPARE(names, workbooks); // neither notes.txt nor table.csv
        QCOMPARE(dialogs.FileName(), qpath(temp / "UPPER.XLSM"));
        QCOMPARE(dialogs.FileTitle(), QStringLiteral("UPPER.XLSM"));
        QCOMPARE(dialogs.Path(), qpath(temp.path()));

        // The folder dialog, in the folder just used, offers folders only.
        const QString folder = QStringLiteral(" spaced Ünïcode ");
        std::filesystem::create_directories(temp / folder.toStdString());
        bool dirsOnly = false;
        ModalDriver<QFileDialog> folderDriver([&](QFileDialog* dialog) {
            dirsOnly = dialog->fileMode() == QFileDialog::Directory &&
                       dialog->testOption(QFileDialog::ShowDirsOnly);
            if (!listAndSelect(dialog, folder).contains(folder)) {
                return false;
            }
            static_cast<QDialog*>(dialog)->accept();
            return true;
        });
        QVERIFY(dialogs.ShowFolder());
        QVERIFY(folderDriver.finished());
        QVERIFY(dirsOnly);
        QCOMPARE(dialogs.Path(), qpath(temp.path()) + u'/' + folder);
    }

private:
    QTemporaryDir settingsHome_;
};

QTEST_MAIN(DialogsTest)
#include "Dialogs_test.moc"
