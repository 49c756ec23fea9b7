// The source-list commands and the Settings and About commands of Form1, and the dropping of
// files and folders from a file manager onto the source list.

#include "browsing/WorkbookListing.h"
#include "browsing/WorksheetListing.h"
#include "commondialogs/SourceDialogsAdapter.h"
#include "dialogs/Dialog1.h"
#include "dialogs/Dialog2.h"
#include "mainwindow/Form1.h"
#include "mainwindow/ListView.h"
#include "sources/SourceListCommands.h"

#include <QDragEnterEvent>
#include <QDragMoveEvent>
#include <QDropEvent>
#include <QFile>
#include <QMimeData>
#include <QUrl>
#include <functional>

namespace quillory::mainwindow {

namespace {

// The local paths among dropped addresses; a folder's trailing separator is dropped, as the
// folder dialog gives folders.
std::vector<std::string> droppedPaths(const QMimeData* data) {
    std::vector<std::string> paths;
    if (data == nullptr || !data->hasUrls()) {
        return paths;
    }
    for (const QUrl& url : data->urls()) {
        if (!url.isLocalFile()) {
            continue;
        }
        std::string path = QFile::encodeName(url.toLocalFile()).toStdString();
        while (path.size() > 1 && path.back() == '/') {
            path.pop_back();
        }
        if (!path.empty()) {
            paths.push_back(std::move(path));
        }
    }
    return paths;
}

// Takes drags of local files and folders on the source list's viewport.
class SourceDropFilter : public QObject {
public:
    SourceDropFilter(QObject* parent, std::function<void(const std::vector<std::string>&)> onDrop)
        : QObject(parent), onDrop_(std::move(onDrop)) {}

protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        switch (event->type()) {
        case QEvent::DragEnter:
        case QEvent::DragMove: {
            auto* drag = static_cast<QDragMoveEvent*>(event);
            if (droppedPaths(drag->mimeData()).empty()) {
                drag->ignore();
            } else {
                drag->setDropAction(Qt::CopyAction);
                drag->accept();
            }
            return true;
        }
        case QEvent::Drop: {
            auto* drop = static_cast<QDropEvent*>(event);
            const std::vector<std::string> paths = droppedPaths(drop->mimeData());
            if (paths.empty()) {
                drop->ignore();
                return true;
            }
            drop->setDropAction(Qt::CopyAction);
            drop->accept();
            onDrop_(paths);
            return true;
        }
        default:
            return QObject::eventFilter(watched, event);
        }
    }

private:
    std::function<void(const std::vector<std::string>&)> onDrop_;
};

// Runs one source-list command with the window's lists, port and dialogs.
template <typename Command>
void runSourceCommand(Form1& window, commondialogs::DialogBackend* backend, Command&& command) {
    commondialogs::SourceDialogsAdapter dialogs(&window, backend);
    lists::MainLists& lists = window.lists();
    lists::UiPort& ui = window.uiPort();
    const sources::SourceListContext context{
        lists, ui, dialogs,
        [&lists](const std::string& path) { browsing::ListWorkbooks(lists, path); },
        [&window, &lists, &ui] {
            browsing::ListWorksheets(lists, ui, window.applicationFactory());
        }};
    command(context);
}

} // namespace

void Form1::setUpSources() {
    QWidget* viewport = ListView1()->viewport();
    ListView1()->setAcceptDrops(true);
    viewport->setAcceptDrops(true);
    viewport->installEventFilter(
        new SourceDropFilter(viewport, [this](const std::vector<std::string>& paths) {
            runSourceCommand(*this, dependencies_.sources.dialogBackend,
                             [&paths](const sources::SourceListContext& context) {
                                 sources::AddDroppedPaths(context, paths);
                             });
        }));
}

void Form1::Command8_Click() {
    runSourceCommand(*this, dependencies_.sources.dialogBackend, sources::AddExcel);
}

void Form1::Command6_Click() {
    runSourceCommand(*this, dependencies_.sources.dialogBackend, sources::AddFolder);
}

void Form1::Command7_Click() {
    runSourceCommand(*this, dependencies_.sources.dialogBackend, sources::RemoveFile);
}

void Form1::Command5_Click() {
    sources::MoveSourceUp(lists().sources);
}

void Form1::Command4_Click() {
    sources::MoveSourceDown(lists().sources);
}

void Form1::RemoveAll_Click() {
    sources::RemoveAllListItems(lists());
}

void Form1::About_Click() {
    // Made anew for every opening, gone when closed.
    dialogs::Dialog1 about([this](const QUrl& url) { return openUrl(url); }, this);
    about.exec();
}

void Form1::Settings_Click() {
    dialogs::Dialog2 settings(programFiles().settingsFile(), this);
    settings.exec();
}

} // namespace quillory::mainwindow
