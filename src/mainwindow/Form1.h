#pragma once
// The main window: the button row, the four lists, the arrow buttons, the progress bar and the
// menu bar. Its slots are the commands; they work on the list models (lists()), never on the
// widgets, which only show the models.

#include "lists/MainLists.h"
#include "lists/UiPort.h"
#include "mainwindow/Form1BrowseMergeParts.h"
#include "mainwindow/Form1SourcesParts.h"
#include "sources/ProgramFolder.h"
#include "spreadsheet/Automation.h"

#include <QMainWindow>
#include <filesystem>
#include <functional>
#include <memory>

class QAbstractButton;
class QAction;
class QProgressBar;
class QUrl;

namespace quillory::mainwindow {

class ListModelAdapter;
class ListView;

class Form1 : public QMainWindow {
    Q_OBJECT
public:
    struct Dependencies {
        // The executable's folder: help.chm, and EXCEL.txt / set.txt when it is writable.
        std::filesystem::path programFolder;
        // Where EXCEL.txt / set.txt go when the program folder is not writable; empty: the
        // per-user configuration folder.
        std::filesystem::path configFolder;
        spreadsheet::ApplicationFactory createApplication;
        // Null: message boxes, the busy pointer and the desktop's programs (QtUiPort).
        lists::UiPort* uiPort = nullptr;
        // Opens a web address or a local file in the desktop's program; null: QDesktopServices.
        std::function<bool(const QUrl&)> openUrl;
        Form1SourcesDependencies sources;
        Form1BrowseMergeDependencies browseMerge;
    };

    explicit Form1(Dependencies dependencies, QWidget* parent = nullptr);
    ~Form1() override;

    lists::MainLists& lists() { return lists_; }
    lists::UiPort& uiPort() { return *uiPort_; }
    const spreadsheet::ApplicationFactory& applicationFactory() const {
        return dependencies_.createApplication;
    }
    const sources::ProgramFiles& programFiles() const { return programFiles_; }
    const Dependencies& dependencies() const { return dependencies_; }

    // The controls, by their designer names.
    ListView* ListView1() const { return listViews_[0]; }
    ListView* ListView2() const { return listViews_[1]; }
    ListView* ListView3() const { return listViews_[2]; }
    ListView* ListView4() const { return listViews_[3]; }
    QProgressBar* ProgressBar1() const { return progressBar1_; }
    // "Command<number>", e.g. command(18) is the Merge button; null for a number not in the window.
    QAbstractButton* command(int number) const;
    // A menu entry by its name ("Addexcel", "Settings", "About", ...); null when there is none.
    QAction* menuEntry(const QString& name) const;

    // Where the Help command looks: help.chm beside the program, else the HTML user guide.
    QUrl helpTarget() const;

public slots:
    // Source list (Form1Sources.cpp).
    void Command8_Click(); // Add Excel
    void Command6_Click(); // Add Folder
    void Command7_Click(); // Remove File
    void Command5_Click(); // source up
    void Command4_Click(); // source down
    void RemoveAll_Click();
    void About_Click();
    void Settings_Click();

    // Browsing, merge list and merge (Form1BrowseMerge.cpp).
    void Command10_Click(); // worksheet into the merge list
    void Command11_Click(); // entry out of the merge list
    void Command14_Click(); // merge entry up
    void Command15_Click(); // merge entry down
    void Command16_Click(); // Add All Sheets
    void Command17_Click(); // Remove All
    void Command18_Click(); // Merge
    void Command20_Click(); // Add All Excel Files
    void ListView1_ItemClick();
    void ListView2_ItemClick();
    void ListView3_DblClick();
    void ListView4_DblClick();

    // The window's own commands (Form1.cpp).
    void Command12_Click(); // Help
    void Command13_Click(); // HomePage
    void Command9_Click();  // Exit

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    void buildControls();
    void buildMenus();
    void connectCommands();
    void Form_Load();
    void Form_Unload();
    bool openUrl(const QUrl& url);
    void showProgress();

    // Called once at the end of construction, for the commands to set up what they need.
    void setUpSources();     // Form1Sources.cpp
    void setUpBrowseMerge(); // Form1BrowseMerge.cpp
    // True when a merge runs: the close is remembered for its end. Form1BrowseMerge.cpp
    bool deferCloseDuringMerge();

    Dependencies dependencies_;
    sources::ProgramFiles programFiles_;
    lists::MainLists lists_;
    std::unique_ptr<lists::UiPort> ownUiPort_;
    lists::UiPort* uiPort_ = nullptr;
    // Declared after lists_, so they stop observing before the models go.
    std::unique_ptr<ListModelAdapter> adapters_[4];
    ListView* listViews_[4] = {};
    QProgressBar* progressBar1_ = nullptr;
    bool unloaded_ = false;

    Form1SourcesState sourcesState_;
    Form1BrowseMergeState browseMergeState_;
};

} // namespace quillory::mainwindow
