// The Settings and About dialogs with real widgets: what they read and write in set.txt, what a
// failed write shows, and what the links hand to the desktop.

#include "ModalDriver.h"
#include "Version.h"
#include "dialogs/Dialog1.h"
#include "dialogs/Dialog2.h"
#include "support/TempDir.h"

#include <QCheckBox>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
#include <QUrl>
#include <QtTest>

using quillory::dialogs::Dialog1;
using quillory::dialogs::Dialog2;
using quillory::testing::ModalDriver;
using quillory::testing::readFile;
using quillory::testing::TempDir;

namespace {

void click(QWidget* widget) {
    QTest::mouseClick(widget, Qt::LeftButton);
}

// Every label text of a dialog, by object name.
QMap<QString, QString> labelTexts(const QDialog& dialog) {
    QMap<QString, QString> texts;
    for (const QLabel* label : dialog.findChildren<QLabel*>()) {
        texts.insert(label->objectName(), label->text());
    }
    return texts;
}

} // namespace

class DialogsTest : public QObject {
    Q_OBJECT

private slots:
    void settingsHasItsControlsAndOkWritesOneOrZeroWithCrLfAndNothingElse() {
        TempDir temp;
        // The rule itself is the settings file's (its own tests hold every case): the dialog
        // shows what the rule reads.
        const auto file = temp.write("set.txt", "1\r\n0\r\nmore\r\n");
        {
            Dialog2 dialog(file);
            QCOMPARE(dialog.windowTitle(), QStringLiteral("Setting"));
            QCOMPARE(dialog.Check1()->text(),
                     QStringLiteral("Automatically save the current list ."));
            QCOMPARE(dialog.OKButton()->text(), QStringLiteral("OK"));
            QCOMPARE(dialog.CancelButton()->text(), QStringLiteral("Cancel"));
            QCOMPARE(dialog.minimumSize(), dialog.maximumSize());
            // Its text is never cut off, whatever this platform's font needs.
            const QRect check = dialog.Check1()->geometry();
            QVERIFY(check.width() >= dialog.Check1()->sizeHint().width());
            QVERIFY(dialog.width() >= check.right() + 1);
            QCOMPARE(dialog.geometry().topLeft(), QPoint(184, 250));
            QVERIFY(!(dialog.windowFlags() & Qt::WindowMaximizeButtonHint));
            QVERIFY(!(dialog.windowFlags() & Qt::WindowMinimizeButtonHint));
            QVERIFY(!dialog.Check1()->isTristate());
            QVERIFY(dialog.Check1()->isChecked());
            click(dialog.OKButton()); // ticked, written as one line
            QCOMPARE(dialog.result(), int(QDialog::Accepted));
        }
        QCOMPARE(readFile(file), std::string("1\r\n"));
        // Before, whether the box shows ticked, whether it is clicked, what OK writes.
        const std::tuple<const char*, bool, bool, const char*> cases[] = {
            {"1 \r\nsecond line\r\n", false, false, "0\r\n"},
            {"0\r\n", false, true, "1\r\n"},
            {nullptr, false, false, "0\r\n"}}; // a missing file opens cleared, OK creates it
        for (const auto& [before, ticked, clicked, written] : cases) {
            std::filesystem::remove(file);
            if (before != nullptr) {
                temp.write("set.txt", before);
            }
            Dialog2 dialog(file);
            QCOMPARE(dialog.Check1()->isChecked(), ticked);
            if (clicked) {
                click(dialog.Check1());
            }
            click(dialog.OKButton());
            QCOMPARE(readFile(file), std::string(written));
        }
    }

    void cancelAndTheCloseBoxLeaveTheFileByteForByte() {
        TempDir temp;
        const std::string original = "maybe\r\nsecond\nthird";
        const auto file = temp.write("set.txt", original);
        {
            Dialog2 dialog(file);
            dialog.show();
            click(dialog.Check1());
            click(dialog.CancelButton());
            QCOMPARE(dialog.result(), int(QDialog::Rejected));
            QVERIFY(!dialog.isVisible());
        }
        {
            Dialog2 dialog(file);
            dialog.show();
            click(dialog.Check1());
            dialog.close();
        }
        QCOMPARE(readFile(file), original);
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

    void aboutShowsNameVersionAddressesAndNotices() {
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
        const auto texts = labelTexts(dialog);
        QCOMPARE(texts.size(), 8);
        QCOMPARE(texts.value("Label1"), QStringLiteral("Quillory"));
        QCOMPARE(texts.value("Label4"),
                 QStringLiteral("Version:") + QString::fromLatin1(quillory::kVersion));
        QCOMPARE(texts.value("Label3"), QStringLiteral("Technical Support:"));
        QCOMPARE(texts.value("Label7"), QStringLiteral("Website:"));
        QCOMPARE(texts.value("Label2"), QStringLiteral("support@quillory.example"));
        // The web address without its scheme.
        QCOMPARE(texts.value("Label8"), QStringLiteral("quillory.example"));
        QVERIFY(!texts.value("Label6").isEmpty());
        QVERIFY(texts.value("Label5").contains(QStringLiteral("unlawful")));
        QVERIFY(texts.value("Label5").endsWith(u'\n'));
        // Links in the highlight colour with a pointing hand; the other labels not.
        QCOMPARE(dialog.Label2()->palette().color(QPalette::WindowText),
                 dialog.palette().color(QPalette::Highlight));
        QCOMPARE(dialog.Label8()->cursor().shape(), Qt::PointingHandCursor);
        QVERIFY(dialog.Label1()->cursor().shape() != Qt::PointingHandCursor);
        // Only OK takes the keyboard focus.
        for (const QWidget* child : dialog.findChildren<QWidget*>()) {
            QCOMPARE(child->focusPolicy() != Qt::NoFocus, child == dialog.OKButton());
        }
    }

    void linksOpenTheirAddressesAndLeaveTheDialogOpen() {
        QList<QUrl> opened;
        Dialog1 dialog([&](const QUrl& url) {
            opened.append(url);
            return false; // no mail program or browser: nothing changes
        });
        bool openAfterLinks = false;
        ModalDriver<Dialog1> driver([&](Dialog1* shown) {
            click(shown->Label2());
            click(shown->Label8());
            click(shown->Label1()); // not a link
            openAfterLinks = shown->isVisible();
            click(shown->OKButton());
            return true;
        });
        QCOMPARE(dialog.exec(), int(QDialog::Accepted));
        QVERIFY(driver.finished());
        QVERIFY(openAfterLinks);
        QCOMPARE(opened, (QList<QUrl>{QUrl(QStringLiteral("mailto:support@quillory.example")),
                                      QUrl(QStringLiteral("https://quillory.example"))}));
        // Opened again, it shows the same content.
        Dialog1 again([](const QUrl&) { return true; });
        QCOMPARE(labelTexts(again), labelTexts(dialog));
    }
};

QTEST_MAIN(DialogsTest)
#include "Dialogs_test.moc"
