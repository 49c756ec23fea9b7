#include "commondialogs/SourceDialogsAdapter.h"

#include "commondialogs/CCommonDialogs.h"

#include <QFile>
#include <memory>

namespace quillory::commondialogs {

namespace {

std::unique_ptr<CCommonDialogs> makeDialogs(DialogBackend* backend) {
    return backend != nullptr ? std::make_unique<CCommonDialogs>(*backend)
                              : std::make_unique<CCommonDialogs>();
}

// File names reach the lists in the encoding the file system uses.
std::string toPath(const QString& path) {
    return QFile::encodeName(path).toStdString();
}

} // namespace

std::optional<std::string> SourceDialogsAdapter::ChooseWorkbookFile(const std::string& title) {
    const auto dialogs = makeDialogs(backend_);
    dialogs->Init(owner_);
    dialogs->SetTitle(QString::fromUtf8(title));
    if (!dialogs->ShowOpen()) {
        return std::nullopt;
    }
    return toPath(dialogs->FileName());
}

std::optional<std::string> SourceDialogsAdapter::ChooseFolder(const std::string& title) {
    const auto dialogs = makeDialogs(backend_);
    dialogs->Init(owner_);
    dialogs->SetTitle(QString::fromUtf8(title));
    if (!dialogs->ShowFolder()) {
        return std::nullopt;
    }
    return toPath(dialogs->Path());
}

} // namespace quillory::commondialogs
