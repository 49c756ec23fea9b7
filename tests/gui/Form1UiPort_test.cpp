// The Qt side of the procedures' user interface: message boxes as the procedures expect them, and
// the busy pointer as a state rather than a count.

#include "ModalDriver.h"
#include "mainwindow/QtUiPort.h"

#include <QAbstractButton>
#include <QApplication>
#include <QMessageBox>
#include <QtTest>

using quillory::lists::MessageIcon;
using quillory::mainwindow::QtUiPort;
using quillory::testing::ModalDriver;

class Form1UiPortTest : public QObject {
    Q_OBJECT

private slots:
    void messagesHaveTheCaptionTheIconAndOneOkButton() {
        QtUiPort port;
        for (const auto& [icon, expected] :
             {std::pair{MessageIcon::Critical, QMessageBox::Critical},
              std::pair{MessageIcon::Information, QMessageBox::Information}}) {
            QString caption;
            QString text;
            QMessageBox::Icon shownIcon = QMessageBox::NoIcon;
            QStringList buttons;
            ModalDriver<QMessageBox> driver([&](QMessageBox* box) {
                caption = box->windowTitle();
                text = box->text();
                shownIcon = box->icon();
                for (QAbstractButton* button : box->buttons()) {
                    buttons << QString::number(box->standardButton(button)) << button->text();
                }
                box->accept();
                return true;
            });
            port.showMessage(icon, "Open excel file failed!\nÜbersicht.xlsx");
            QVERIFY(driver.finished());
            QCOMPARE(caption, QStringLiteral("Quillory"));
            QCOMPARE(text, QStringLiteral("Open excel file failed!\nÜbersicht.xlsx"));
            QCOMPARE(shownIcon, expected);
            QCOMPARE(buttons.size(), 2); // one button: its role and its caption
            QCOMPARE(buttons.front(), QString::number(QMessageBox::Ok));
        }
    }

    void busyPointerIsAStateNotACount() {
        {
            QtUiPort port;
            QVERIFY(QApplication::overrideCursor() == nullptr);
            port.setBusy(true);
            port.setBusy(true);
            QVERIFY(QApplication::overrideCursor() != nullptr);
            QCOMPARE(QApplication::overrideCursor()->shape(), Qt::WaitCursor);
            port.setBusy(false);
            QVERIFY(QApplication::overrideCursor() == nullptr);
            port.setBusy(false);
            QVERIFY(QApplication::overrideCursor() == nullptr);
            port.setBusy(true);
        }
        // A port that goes away while busy gives the pointer back.
        QVERIFY(QApplication::overrideCursor() == nullptr);
    }

    void aMessageShownWhileBusyIsUsableAndTheBusyPointerComesBack() {
        QtUiPort port;
        port.setBusy(true);
        bool busyDuringMessage = true;
        ModalDriver<QMessageBox> driver([&](QMessageBox* box) {
            busyDuringMessage = QApplication::overrideCursor() != nullptr;
            box->accept();
            return true;
        });
        port.showMessage(MessageIcon::Critical, "Merge Failed!");
        QVERIFY(driver.finished());
        QVERIFY(!busyDuringMessage);
        QVERIFY(QApplication::overrideCursor() != nullptr);
        port.setBusy(false);
    }
};

QTEST_MAIN(Form1UiPortTest)
#include "Form1UiPort_test.moc"
