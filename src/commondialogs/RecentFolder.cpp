#include "commondialogs/RecentFolder.h"

#include <QFileInfo>

namespace quillory::commondialogs {

namespace {
QString& storedFolder() {
    static QString folder;
    return folder;
}
} // namespace

QString RecentFolder::get() {
    const QString& folder = storedFolder();
    if (folder.isEmpty() || !QFileInfo(folder).isDir()) {
        return {};
    }
    return folder;
}

void RecentFolder::remember(const QString& folder) {
    storedFolder() = folder;
}

void RecentFolder::forget() {
    storedFolder().clear();
}

} // namespace quillory::commondialogs
