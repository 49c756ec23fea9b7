#pragma once
// Shared by the window tests: a window over a temporary folder, workbooks written with
// libxlsxwriter, clicks on rows, results read back with the engine.

#include "ScriptedDialogBackend.h"
#include "mainwindow/Form1.h"
#include "mainwindow/ListView.h"
#include "spreadsheet/EngineApplication.h"
#include "support/RecordingUiPort.h"
#include "support/TempDir.h"

#include <QtTest>
#include <filesystem>
#include <stdexcept>
#include <string>
#include <vector>

#ifdef QUILLORY_HAVE_XLSXWRITER
#include <xlsxwriter.h>
#endif

namespace quillory::testing {

struct SheetContent {
    std::string name;
    int rows = 0;
};

// A workbook of sheets holding numbered rows. False when libxlsxwriter is not installed (the test
// then skips); throws when the write fails.
inline bool WriteWorkbook(const std::filesystem::path& file,
                          const std::vector<SheetContent>& sheets) {
#ifdef QUILLORY_HAVE_XLSXWRITER
    lxw_workbook* workbook = workbook_new(file.c_str());
    if (workbook == nullptr) {
        throw std::runtime_error("cannot create " + file.string());
    }
    for (const auto& sheet : sheets) {
        lxw_worksheet* worksheet = workbook_add_worksheet(workbook, sheet.name.c_str());
        for (lxw_row_t row = 0; row < static_cast<lxw_row_t>(sheet.rows); ++row) {
            const std::string text = sheet.name + " row " + std::to_string(row);
            worksheet_write_number(worksheet, row, 0, row * 1.5, nullptr);
            worksheet_write_string(worksheet, row, 1, text.c_str(), nullptr);
        }
    }
    if (workbook_close(workbook) != LXW_NO_ERROR) {
        throw std::runtime_error("cannot write " + file.string());
    }
    return true;
#else
    (void)file;
    (void)sheets;
    return false;
#endif
}

// A window over the real engine and a temporary folder: its program folder (the folder itself
// or a sub-folder of it), merge results in tmp/, a recording UI port (unless another is given),
// a recording opener and scripted dialogs. Started, and shown, once the test's files are there.
struct TestWindow {
    mainwindow::Form1& start(const std::string& programSubfolder = {},
                             lists::UiPort* port = nullptr) {
        mainwindow::Form1::Dependencies dependencies;
        dependencies.programFolder = programSubfolder.empty() ? dir.path() : dir / programSubfolder;
        std::filesystem::create_directories(dependencies.programFolder);
        dependencies.configFolder = dir / "config";
        dependencies.createApplication = spreadsheet::CreateEngineApplication;
        dependencies.uiPort = port != nullptr ? port : &ui;
        dependencies.openUrl = [this](const QUrl& url) {
            opened.push_back(url);
            return true;
        };
        dependencies.sources.dialogBackend = &dialogs;
        dependencies.browseMerge.merge.temporaryRoot = dir / "tmp";
        std::filesystem::create_directories(dir / "tmp");
        form = std::make_unique<mainwindow::Form1>(std::move(dependencies));
        form->show();
        if (!QTest::qWaitForWindowExposed(form.get())) {
            throw std::runtime_error("the window was never shown");
        }
        return *form;
    }

    TempDir dir;
    RecordingUiPort ui;
    ScriptedDialogBackend dialogs;
    std::vector<QUrl> opened;
    std::unique_ptr<mainwindow::Form1> form;
};

// "file name|sheet" per merge entry.
inline std::vector<std::string> MergeEntries(const lists::ListModel& merge) {
    std::vector<std::string> entries;
    for (int i = 1; i <= merge.count(); ++i) {
        entries.push_back(std::filesystem::path(merge.text(i)).filename().string() + "|" +
                          merge.subItem1(i));
    }
    return entries;
}

inline QPoint RowCenter(mainwindow::ListView* view, int position) {
    const QModelIndex index = view->model()->index(position - 1, 0);
    view->scrollTo(index);
    return view->visualRect(index).center();
}

inline void ClickRow(mainwindow::ListView* view, int position) {
    QTest::mouseClick(view->viewport(), Qt::LeftButton, {}, RowCenter(view, position));
}

inline void DoubleClickRow(mainwindow::ListView* view, int position) {
    const QPoint at = RowCenter(view, position);
    QTest::mouseClick(view->viewport(), Qt::LeftButton, {}, at);
    QTest::mouseDClick(view->viewport(), Qt::LeftButton, {}, at);
}

// The worksheet names of a workbook, read with the engine.
inline std::vector<std::string> EngineWorksheets(const std::filesystem::path& file) {
    auto application = spreadsheet::CreateEngineApplication();
    spreadsheet::Workbook& workbook = application->Workbooks().Open(file);
    std::vector<std::string> names;
    for (int i = 1; i <= workbook.Worksheets().Count(); ++i) {
        names.push_back(workbook.Worksheets().Item(i).Name());
    }
    workbook.Close();
    application->Quit();
    return names;
}

} // namespace quillory::testing
