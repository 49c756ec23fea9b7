// Quillory: combines chosen worksheets of several workbooks into one new workbook.

#include "mainwindow/Form1.h"
#include "spreadsheet/Automation.h"

#include <QApplication>
#include <QFile>

int main(int argc, char* argv[]) {
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Quillory"));
    QApplication::setDesktopFileName(QStringLiteral("quillory"));

    quillory::mainwindow::Form1::Dependencies dependencies;
    dependencies.programFolder =
        QFile::encodeName(QApplication::applicationDirPath()).toStdString();
    dependencies.createApplication = [] {
        return quillory::spreadsheet::CreateEngineApplication();
    };

    quillory::mainwindow::Form1 window(std::move(dependencies));
    window.show();
    return QApplication::exec();
}
