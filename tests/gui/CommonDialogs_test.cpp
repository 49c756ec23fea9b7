// CCommonDialogs: the rules its callers rely on, through a scripted backend, and the open and
// folder dialogs through Qt's real file dialog driven from inside its event loop.

#include "ModalDriver.h"
#include "ScriptedDialogBackend.h"
#include "commondialogs/CCommonDialogs.h"
#include "commondialogs/QtDialogBackend.h"
#include "commondialogs/RecentFolder.h"
#include "support/TempDir.h"

#include <QAbstractItemModel>
#include <QCoreApplication>
#include <QDir>
#include <QFileDialog>
#include <QListView>
#include <QSet>
#include <QTemporaryDir>
#include <QtTest>

using quillory::commondialogs::CCommonDialogs;
using quillory::commondialogs::DialogNotInitialised;
using quillory::commondialogs::QtDialogBackend;
using quillory::commondialogs::RecentFolder;
using quillory::testing::ModalDriver;
using ScriptedBackend = quillory::testing::ScriptedDialogBackend;
using quillory::testing::TempDir;

namespace {

QString qpath(const std::filesystem::path& path) {
    return QString::fromStdString(path.string());
}

// The file names the real dialog lists in its current folder.
QSet<QString> listedNames(QFileDialog* dialog) {
    QSet<QString> names;
    auto* view = dialog->findChild<QListView*>(QStringLiteral("listView"));
    if (view == nullptr || view->model() == nullptr) {
        return names;
    }
    const QAbstractItemModel* model = view->model();
    const QModelIndex root = view->rootIndex();
    for (int row = 0; row < model->rowCount(root); ++row) {
        names.insert(model->index(row, 0, root).data().toString());
    }
    return names;
}

// Selects the entry `name` in the dialog's list, as a click on it does; false while the folder
// is still being read.
bool selectListed(QFileDialog* dialog, const QString& name) {
    auto* view = dialog->findChild<QListView*>(QStringLiteral("listView"));
    if (view == nullptr || view->model() == nullptr) {
        return false;
    }
    const QAbstractItemModel* model = view->model();
    for (int row = 0; row < model->rowCount(view->rootIndex()); ++row) {
        const QModelIndex index = model->index(row, 0, view->rootIndex());
        if (index.data().toString() == name) {
            view->setCurrentIndex(index);
            return true;
        }
    }
    return false;
}

} // namespace

class CommonDialogsTest : public QObject {
    Q_OBJECT

private slots:
    // Qt's file dialog keeps its view state in the user's settings; test runs in parallel would
    // read each other's, so each run gets a settings folder of its own.
    void initTestCase() {
        QVERIFY(settingsHome_.isValid());
        qputenv("XDG_CONFIG_HOME", settingsHome_.path().toLocal8Bit());
    }

    void init() { RecentFolder::forget(); }

    void everyShowNeedsInitFirst() {
        ScriptedBackend backend;
        backend.fileAnswer = QStringLiteral("/tmp/a.xlsx");
        backend.folderAnswer = QStringLiteral("/tmp");
        backend.colorAnswer = QColor(1, 2, 3);
        backend.fontAnswer = QFont(QStringLiteral("Serif"));
        backend.printerAnswer = true;
        CCommonDialogs dialogs(backend);
        QVERIFY_THROWS_EXCEPTION(DialogNotInitialised, dialogs.ShowOpen());
        QVERIFY_THROWS_EXCEPTION(DialogNotInitialised, dialogs.ShowSave());
        QVERIFY_THROWS_EXCEPTION(DialogNotInitialised, dialogs.ShowFolder());
        QVERIFY_THROWS_EXCEPTION(DialogNotInitialised, dialogs.ShowColor(false));
        QVERIFY_THROWS_EXCEPTION(DialogNotInitialised, dialogs.ShowPrinter());
        QVERIFY(!dialogs.ShowFont());
        QVERIFY(!dialogs.ShowPrinterProperties());
        QCOMPARE(backend.calls, 0);
        QCOMPARE(dialogs.FileName(), QString());

        // An owner that has gone since Init counts as none.
        auto* owner = new QWidget;
        dialogs.Init(owner);
        delete owner;
        QVERIFY_THROWS_EXCEPTION(DialogNotInitialised, dialogs.ShowOpen());
        dialogs.Init(nullptr);
        QVERIFY_THROWS_EXCEPTION(DialogNotInitialised, dialogs.ShowFolder());
        QCOMPARE(backend.calls, 0);
    }

    void openOffersOnlyTheWorkbookFilterAndFillsTheResults() {
        QWidget owner;
        ScriptedBackend backend;
        backend.fileAnswer = QStringLiteral("/data/books/Q1 sales.xlsx");
        CCommonDialogs dialogs(backend);
        dialogs.Init(&owner);
        dialogs.SetTitle(QStringLiteral("Select Excel File"));
        dialogs.SetFilter(QStringLiteral("Text|*.txt")); // not used by the open dialog
        dialogs.SetDefExt(QStringLiteral("xlsx"));
        QVERIFY(dialogs.ShowOpen());
        QCOMPARE(backend.lastFile.owner, &owner);
        QCOMPARE(backend.lastFile.title, QStringLiteral("Select Excel File"));
        QCOMPARE(backend.lastFile.nameFilters,
                 QStringList{QStringLiteral("Excel files(*.xls;*.xlsx;*.xlsm;*.xlsb) (*.xl*)")});
        QVERIFY(backend.lastFile.hideFilterPatterns);
        QCOMPARE(backend.lastFile.defaultSuffix, QStringLiteral("xlsx"));
        QCOMPARE(dialogs.FileName(), QStringLiteral("/data/books/Q1 sales.xlsx"));
        QCOMPARE(dialogs.FileTitle(), QStringLiteral("Q1 sales.xlsx"));
        QCOMPARE(dialogs.Path(), QStringLiteral("/data/books"));

        backend.fileAnswer = QStringLiteral("/Book1.xls");
        QVERIFY(dialogs.ShowOpen());
        QCOMPARE(dialogs.Path(), QStringLiteral("/"));
        QCOMPARE(dialogs.FileTitle(), QStringLiteral("Book1.xls"));
    }

    void cancelChangesNoResult() {
        QWidget owner;
        ScriptedBackend backend;
        CCommonDialogs dialogs(backend);
        dialogs.Init(&owner);
        dialogs.SetFileName(QStringLiteral("/keep/me.xlsx"));
        dialogs.SetFileTitle(QStringLiteral("me.xlsx"));
        dialogs.SetPath(QStringLiteral("/keep"));
        dialogs.SetColor(0x123456);
        dialogs.SetFontName(QStringLiteral("Serif"));
        dialogs.SetFontSize(11);
        QVERIFY(!dialogs.ShowOpen());
        QVERIFY(!dialogs.ShowFolder());
        QVERIFY(!dialogs.ShowColor(true));
        QVERIFY(!dialogs.ShowFont());
        QVERIFY(!dialogs.ShowPrinter());
        QCOMPARE(backend.calls, 5);
        QCOMPARE(dialogs.FileName(), QStringLiteral("/keep/me.xlsx"));
        QCOMPARE(dialogs.FileTitle(), QStringLiteral("me.xlsx"));
        QCOMPARE(dialogs.Path(), QStringLiteral("/keep"));
        QCOMPARE(dialogs.Color(), 0x123456);
        QCOMPARE(dialogs.FontName(), QStringLiteral("Serif"));
        QCOMPARE(dialogs.FontSize(), std::int16_t{11});
        // The open dialog starts with the current file name in its name box.
        QCOMPARE(backend.lastFile.initialName, QStringLiteral("/keep/me.xlsx"));
    }

    void textsReadBackUpToTheirFirstNul() {
        QWidget owner;
        ScriptedBackend backend;
        CCommonDialogs dialogs(backend);
        const QString withNul = QStringLiteral("Select") + QChar(u'\0') + QStringLiteral("junk");
        // Title and the file texts are cut at the NUL; filter, extension and font come back whole.
        const std::tuple<void (CCommonDialogs::*)(const QString&),
                         QString (CCommonDialogs::*)() const, QString>
            texts[] = {
                {&CCommonDialogs::SetTitle, &CCommonDialogs::Title, QStringLiteral("Select")},
                {&CCommonDialogs::SetFileName, &CCommonDialogs::FileName, QStringLiteral("Select")},
                {&CCommonDialogs::SetFileTitle, &CCommonDialogs::FileTitle,
                 QStringLiteral("Select")},
                {&CCommonDialogs::SetPath, &CCommonDialogs::Path, QStringLiteral("Select")},
                {&CCommonDialogs::SetFilter, &CCommonDialogs::Filter, withNul},
                {&CCommonDialogs::SetDefExt, &CCommonDialogs::DefExt, withNul},
                {&CCommonDialogs::SetFontName, &CCommonDialogs::FontName, withNul}};
        for (const auto& [set, get, expected] : texts) {
            (dialogs.*set)(withNul);
            QCOMPARE((dialogs.*get)(), expected);
        }
        dialogs.Init(&owner);
        dialogs.ShowFolder();
        QCOMPARE(backend.lastFolder.title, QStringLiteral("Select"));
    }

    void folderGivesItsPathWithoutTrailingSeparatorAndEmptiesTheFileNames() {
        QWidget owner;
        ScriptedBackend backend;
        CCommonDialogs dialogs(backend);
        dialogs.Init(&owner);
        dialogs.SetTitle(QStringLiteral("Add all excel files in folder"));
        dialogs.SetFileName(QStringLiteral("/old/file.xlsx"));
        dialogs.SetFileTitle(QStringLiteral("file.xlsx"));
        backend.folderAnswer = QStringLiteral("/data/books/");
        QVERIFY(dialogs.ShowFolder());
        QCOMPARE(backend.lastFolder.title, QStringLiteral("Add all excel files in folder"));
        QCOMPARE(dialogs.Path(), QStringLiteral("/data/books"));
        QCOMPARE(dialogs.FileName(), QString());
        QCOMPARE(dialogs.FileTitle(), QString());

        backend.folderAnswer = QStringLiteral("/");
        QVERIFY(dialogs.ShowFolder());
        QCOMPARE(dialogs.Path(), QStringLiteral("/"));

        // Confirmed with nothing chosen: true, with an empty Path the caller ignores.
        backend.folderAnswer = QString();
        QVERIFY(dialogs.ShowFolder());
        QCOMPARE(dialogs.Path(), QString());
    }

    void saveStartsInPathOrFallsBackToTheProgramFolder() {
        TempDir temp;
        const QString programFolder = QCoreApplication::applicationDirPath();
        QWidget owner;
        ScriptedBackend backend;
        CCommonDialogs dialogs(backend);
        dialogs.Init(&owner);

        dialogs.SetPath(QStringLiteral("   "));
        QVERIFY(!dialogs.ShowSave());
        QCOMPARE(dialogs.Path(), programFolder); // kept although the user cancelled
        QCOMPARE(backend.lastFile.startFolder, programFolder);
        QCOMPARE(backend.lastFile.title, QStringLiteral("Save"));

        dialogs.SetPath(qpath(temp / "no such folder"));
        QVERIFY(!dialogs.ShowSave());
        QCOMPARE(dialogs.Path(), programFolder);

        temp.write("a file", "x");
        dialogs.SetPath(qpath(temp / "a file")); // a file is not a folder to start in
        QVERIFY(!dialogs.ShowSave());
        QCOMPARE(dialogs.Path(), programFolder);

        dialogs.SetPath(qpath(temp.path()));
        QVERIFY(!dialogs.ShowSave());
        QCOMPARE(dialogs.Path(), qpath(temp.path()) + u'/');
        QCOMPARE(backend.lastFile.startFolder, qpath(temp.path()) + u'/');

        backend.fileAnswer = qpath(temp / "out.xlsx");
        QVERIFY(dialogs.ShowSave());
        QCOMPARE(dialogs.FileName(), qpath(temp / "out.xlsx"));
        QCOMPARE(dialogs.FileTitle(), QStringLiteral("out.xlsx"));
        QCOMPARE(dialogs.Path(), qpath(temp.path()));
    }

    void saveFiltersComeFromFilterPairs() {
        using quillory::commondialogs::SaveNameFilters;
        QCOMPARE(SaveNameFilters(QString()), QStringList{QStringLiteral("*.* (*)")});
        QCOMPARE(SaveNameFilters(QStringLiteral("  ")), QStringList{QStringLiteral("*.* (*)")});
        QCOMPARE(
            SaveNameFilters(QStringLiteral("Workbooks|*.xlsx;*.xlsm|All|*.*")),
            (QStringList{QStringLiteral("Workbooks (*.xlsx *.xlsm)"), QStringLiteral("All (*)")}));
        // A description left without its pattern is dropped.
        QCOMPARE(SaveNameFilters(QStringLiteral("Text|*.txt|Dangling")),
                 QStringList{QStringLiteral("Text (*.txt)")});
    }

    void colorAndFontTravelBothWays() {
        QWidget owner;
        ScriptedBackend backend;
        CCommonDialogs dialogs(backend);
        dialogs.Init(&owner);
        dialogs.SetColor(255 + 256 * 128); // red 255, green 128, blue 0
        backend.colorAnswer = QColor(10, 20, 30);
        QVERIFY(dialogs.ShowColor(true));
        QCOMPARE(backend.lastColor, QColor(255, 128, 0));
        QVERIFY(backend.lastFullOpen);
        QCOMPARE(dialogs.Color(), 10 + 256 * 20 + 65536 * 30);

        dialogs.SetFontName(QStringLiteral("Serif"));
        dialogs.SetFontSize(12);
        dialogs.SetFontBold(true);
        dialogs.SetFontUnderline(true);
        QFont answer(QStringLiteral("Monospace"));
        answer.setPointSizeF(10.75);
        answer.setItalic(true);
        answer.setUnderline(false);
        backend.fontAnswer = answer;
        QVERIFY(dialogs.ShowFont());
        QCOMPARE(backend.lastFont.family(), QStringLiteral("Serif"));
        QCOMPARE(backend.lastFont.pointSize(), 12);
        QVERIFY(backend.lastFont.bold());
        QVERIFY(backend.lastFont.underline());
        QCOMPARE(dialogs.FontName(), QStringLiteral("Monospace"));
        QCOMPARE(dialogs.FontSize(), std::int16_t{10}); // whole points, cut toward zero
        QVERIFY(!dialogs.FontBold());
        QVERIFY(dialogs.FontItalic());
        QVERIFY(dialogs.FontUnderline()); // not read back
    }

    void dialogsStartInTheFolderLastUsed() {
        TempDir temp;
        std::filesystem::create_directories(temp / "books");
        QWidget owner;
        ScriptedBackend backend;
        {
            CCommonDialogs first(backend);
            first.Init(&owner);
            QVERIFY(!first.ShowOpen());
            QCOMPARE(backend.lastFile.startFolder, QString()); // nothing used yet
            backend.fileAnswer = qpath(temp / "books" / "a.xlsx");
            QVERIFY(first.ShowOpen());
        }
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

    void defaultBackendCanBeReplaced() {
        QWidget owner;
        ScriptedBackend backend;
        backend.fileAnswer = QStringLiteral("/x/y.xlsx");
        CCommonDialogs::SetDefaultBackend(&backend);
        CCommonDialogs dialogs;
        dialogs.Init(&owner);
        const bool shown = dialogs.ShowOpen();
        CCommonDialogs::SetDefaultBackend(nullptr);
        QVERIFY(shown);
        QCOMPARE(backend.calls, 1);
    }

    // The real non-native file dialog, found from a timer while it runs its own loop.
    // The choice is made by selecting the entry in the dialog's list, as a click does: handing
    // the dialog a path with selectFile() while it still reads the folder left it running after
    // accept() in about one run of eight.
    void realOpenDialogListsWorkbooksWithoutRegardToCaseAndReturnsTheChoice() {
        TempDir temp;
        temp.write("lower.xlsx", "x");
        temp.write("UPPER.XLSM", "x");
        temp.write("Mixed.Xls", "x");
        temp.write("notes.txt", "x");
        temp.write("table.csv", "x");
        RecentFolder::remember(qpath(temp.path()));

        QWidget owner;
        QtDialogBackend backend(/*nativeDialogs=*/false);
        CCommonDialogs dialogs(backend);
        dialogs.Init(&owner);
        dialogs.SetTitle(QStringLiteral("Select Excel File"));

        QString title;
        QStringList filters;
        QString directory;
        QSet<QString> names;
        const QSet<QString> workbooks{QStringLiteral("lower.xlsx"), QStringLiteral("UPPER.XLSM"),
                                      QStringLiteral("Mixed.Xls")};
        ModalDriver<QFileDialog> driver([&](QFileDialog* dialog) {
            names = listedNames(dialog);
            if (!names.contains(workbooks)) {
                return false; // the folder is still being read
            }
            title = dialog->windowTitle();
            filters = dialog->nameFilters();
            directory = dialog->directory().absolutePath();
            if (!selectListed(dialog, QStringLiteral("UPPER.XLSM"))) {
                return false;
            }
            static_cast<QDialog*>(dialog)->accept(); // runs the file dialog's own checks
            return true;
        });
        const bool chosen = dialogs.ShowOpen();
        QVERIFY(driver.finished());
        QVERIFY(chosen);
        QCOMPARE(title, QStringLiteral("Select Excel File"));
        QCOMPARE(filters.size(), 1);
        QCOMPARE(directory, qpath(temp.path()));
        QCOMPARE(names, workbooks); // neither notes.txt nor table.csv
        QCOMPARE(dialogs.FileName(), qpath(temp / "UPPER.XLSM"));
        QCOMPARE(dialogs.FileTitle(), QStringLiteral("UPPER.XLSM"));
        QCOMPARE(dialogs.Path(), qpath(temp.path()));
    }

    void realOpenDialogCancelledChangesNothing() {
        QWidget owner;
        QtDialogBackend backend(false);
        CCommonDialogs dialogs(backend);
        dialogs.Init(&owner);
        dialogs.SetPath(QStringLiteral("/before"));
        ModalDriver<QFileDialog> driver([](QFileDialog* dialog) {
            dialog->reject();
            return true;
        });
        QVERIFY(!dialogs.ShowOpen());
        QVERIFY(driver.finished());
        QCOMPARE(dialogs.Path(), QStringLiteral("/before"));
        QCOMPARE(dialogs.FileName(), QString());
    }

    void realFolderDialogReturnsTheChosenFolder() {
        TempDir temp;
        std::filesystem::create_directories(temp / " spaced Ünïcode ");
        RecentFolder::remember(qpath(temp.path()));
        QWidget owner;
        QtDialogBackend backend(false);
        CCommonDialogs dialogs(backend);
        dialogs.Init(&owner);
        bool dirsOnly = false;
        ModalDriver<QFileDialog> driver([&](QFileDialog* dialog) {
            dirsOnly = dialog->fileMode() == QFileDialog::Directory &&
                       dialog->testOption(QFileDialog::ShowDirsOnly);
            if (!selectListed(dialog, QStringLiteral(" spaced Ünïcode "))) {
                return false;
            }
            static_cast<QDialog*>(dialog)->accept();
            return true;
        });
        QVERIFY(dialogs.ShowFolder());
        QVERIFY(driver.finished());
        QVERIFY(dirsOnly);
        QCOMPARE(dialogs.Path(), qpath(temp / " spaced Ünïcode "));
    }

private:
    QTemporaryDir settingsHome_;
};

QTEST_MAIN(CommonDialogsTest)
#include "CommonDialogs_test.moc"
