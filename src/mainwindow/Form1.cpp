#include "mainwindow/Form1.h"

#include "mainwindow/HomePage.h"
#include "mainwindow/ListModelAdapter.h"
#include "mainwindow/ListView.h"
#include "mainwindow/Pictures.h"
#include "mainwindow/QtUiPort.h"
#include "sources/SavedList.h"

#include <QAbstractButton>
#include <QAction>
#include <QCloseEvent>
#include <QDesktopServices>
#include <QFile>
#include <QLayout>
#include <QProgressBar>
#include <QUrl>
#include <algorithm>
#include <cmath>
#include <cstdio>

namespace quillory::mainwindow {

namespace {

// The bar's integer range; the model's Value out of Max is shown as a share of it.
constexpr int kProgressSteps = 10000;

// Where the HTML user guide lies, relative to the program folder: installed, then in a build tree.
constexpr const char* kUserGuideLocations[] = {"../share/doc/quillory/user-guide.html",
                                               "doc/user-guide.html"};

QString toQString(const std::filesystem::path& path) {
    return QFile::decodeName(QByteArray::fromStdString(path.string()));
}

} // namespace

Form1::Form1(Dependencies dependencies, QWidget* parent)
    : QMainWindow(parent), dependencies_(std::move(dependencies)) {
    setObjectName(QStringLiteral("Form1"));
    setWindowTitle(QStringLiteral("Quillory"));
    setWindowIcon(LoadPicture(Picture::ProgramIcon));
    // Fixed single border: minimize and close, no maximize.
    setWindowFlags(Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                   Qt::WindowSystemMenuHint | Qt::WindowMinimizeButtonHint |
                   Qt::WindowCloseButtonHint);

    if (dependencies_.uiPort != nullptr) {
        uiPort_ = dependencies_.uiPort;
    } else {
        ownUiPort_ = std::make_unique<QtUiPort>(this);
        uiPort_ = ownUiPort_.get();
    }
    programFiles_ = sources::LocateProgramFiles(dependencies_.programFolder,
                                                dependencies_.configFolder.empty()
                                                    ? sources::DefaultConfigFolder()
                                                    : dependencies_.configFolder);

    buildControls();
    buildMenus();
    layout()->setSizeConstraint(QLayout::SetFixedSize);
    lists_.progress.onChanged = [this] { showProgress(); };
    showProgress();
    connectCommands();
    Form_Load();
    setUpSources();
    setUpBrowseMerge();
}

Form1::~Form1() {
    lists_.progress.onChanged = nullptr;
    for (ListView* view : listViews_) {
        view->bind(nullptr);
    }
}

QAbstractButton* Form1::command(int number) const {
    return findChild<QAbstractButton*>(QStringLiteral("Command%1").arg(number));
}

QAction* Form1::menuEntry(const QString& name) const {
    return findChild<QAction*>(name);
}

void Form1::connectCommands() {
    const std::pair<int, void (Form1::*)()> buttons[] = {
        {8, &Form1::Command8_Click},   {6, &Form1::Command6_Click},   {7, &Form1::Command7_Click},
        {5, &Form1::Command5_Click},   {4, &Form1::Command4_Click},   {10, &Form1::Command10_Click},
        {11, &Form1::Command11_Click}, {14, &Form1::Command14_Click}, {15, &Form1::Command15_Click},
        {16, &Form1::Command16_Click}, {17, &Form1::Command17_Click}, {18, &Form1::Command18_Click},
        {20, &Form1::Command20_Click}, {12, &Form1::Command12_Click}, {13, &Form1::Command13_Click},
        {9, &Form1::Command9_Click},
    };
    for (const auto& [number, handler] : buttons) {
        connect(command(number), &QAbstractButton::clicked, this, handler);
    }
    // A menu entry that duplicates a button runs the button's own handler.
    const std::pair<const char*, void (Form1::*)()> entries[] = {
        {"Addexcel", &Form1::Command8_Click},   {"AddFolder", &Form1::Command6_Click},
        {"RemoveItem", &Form1::Command7_Click}, {"RemoveAll", &Form1::RemoveAll_Click},
        {"Merge", &Form1::Command18_Click},     {"Settings", &Form1::Settings_Click},
        {"Help", &Form1::Command12_Click},      {"HomePage", &Form1::Command13_Click},
        {"About", &Form1::About_Click},
    };
    for (const auto& [name, handler] : entries) {
        connect(menuEntry(QString::fromLatin1(name)), &QAction::triggered, this, handler);
    }
    connect(ListView1(), &ListView::listItemClicked, this, &Form1::ListView1_ItemClick);
    connect(ListView2(), &ListView::listItemClicked, this, &Form1::ListView2_ItemClick);
    connect(ListView3(), &ListView::listDoubleClicked, this, &Form1::ListView3_DblClick);
    connect(ListView4(), &ListView::listDoubleClicked, this, &Form1::ListView4_DblClick);
}

void Form1::Form_Load() {
    lists_.sources.addColumn("Please Select the Excel File or Folder to Merge", 10200);
    lists_.workbooks.addColumn("WorkBooks", 1900);
    lists_.worksheets.addColumn("WorkSheets", 1900);
    lists_.merge.addColumn("Excel File", 3100);
    lists_.merge.addColumn("Sheets be Merged", 1900);

    if (const std::string where = sources::DescribeDataFolder(programFiles_); !where.empty()) {
        std::fprintf(stderr, "Quillory: %s\n", where.c_str());
    }
    try {
        sources::LoadSourceList(lists_.sources, programFiles_.sourceListFile());
    } catch (const sources::FileError& error) {
        uiPort_->showMessage(lists::MessageIcon::Critical,
                             std::string("The saved source list could not be loaded.\n") +
                                 error.what());
    }
}

void Form1::Form_Unload() {
    if (unloaded_) {
        return;
    }
    unloaded_ = true;
    try {
        sources::SaveSourceList(lists_.sources, programFiles_);
    } catch (const sources::FileError& error) {
        // The old list is still in place: say so rather than lose the failure.
        uiPort_->showMessage(lists::MessageIcon::Critical,
                             std::string("The source list could not be saved; the list saved "
                                         "before is kept.\n") +
                                 error.what());
    }
}

void Form1::closeEvent(QCloseEvent* event) {
    // Closing in the middle of a merge would pull the window from under it; the merge
    // finishes, hands over its result, and the window closes then.
    if (deferCloseDuringMerge()) {
        event->ignore();
        return;
    }
    Form_Unload();
    event->accept();
}

void Form1::showProgress() {
    const double max = lists_.progress.max();
    const double share = max > 0 ? std::clamp(lists_.progress.value() / max, 0.0, 1.0) : 0.0;
    progressBar1_->setRange(0, kProgressSteps);
    progressBar1_->setValue(static_cast<int>(std::lround(share * kProgressSteps)));
}

bool Form1::openUrl(const QUrl& url) {
    if (dependencies_.openUrl) {
        return dependencies_.openUrl(url);
    }
    return QDesktopServices::openUrl(url);
}

QUrl Form1::helpTarget() const {
    std::error_code ec;
    const std::filesystem::path helpFile = programFiles_.helpFile();
    if (std::filesystem::is_regular_file(helpFile, ec)) {
        return QUrl::fromLocalFile(toQString(helpFile));
    }
    for (const char* location : kUserGuideLocations) {
        const std::filesystem::path guide = programFiles_.programFolder / location;
        if (std::filesystem::is_regular_file(guide, ec)) {
            return QUrl::fromLocalFile(toQString(guide.lexically_normal()));
        }
    }
    // Nothing to show: hand over help.chm as it is; whatever the desktop says is its own.
    return QUrl::fromLocalFile(toQString(helpFile));
}

void Form1::Command12_Click() {
    openUrl(helpTarget());
}

void Form1::Command13_Click() {
    openUrl(QUrl(QString::fromLatin1(kHomePageAddress)));
}

void Form1::Command9_Click() {
    close();
}

} // namespace quillory::mainwindow
