#include "commondialogs/CCommonDialogs.h"

#include "commondialogs/QtDialogBackend.h"
#include "commondialogs/RecentFolder.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <cmath>

namespace quillory::commondialogs {

namespace {

QString upToFirstNul(const QString& text) {
    const qsizetype nul = text.indexOf(QChar(u'\0'));
    return nul < 0 ? text : text.left(nul);
}

// The folder part of a file path: up to, not including, the last separator; "/" for a file in
// the root, where that rule would leave nothing.
QString folderOf(const QString& file) {
    const qsizetype slash = file.lastIndexOf(u'/');
    if (slash < 0) {
        return {};
    }
    return slash == 0 ? QStringLiteral("/") : file.left(slash);
}

QString withoutTrailingSeparator(QString folder) {
    while (folder.size() > 1 && folder.endsWith(u'/')) {
        folder.chop(1);
    }
    return folder;
}

QString programFolder() {
    return QCoreApplication::applicationDirPath();
}

DialogBackend*& defaultBackend() {
    static DialogBackend* backend = nullptr;
    return backend;
}

DialogBackend& desktopBackend() {
    static QtDialogBackend backend;
    return backend;
}

} // namespace

DialogNotInitialised::DialogNotInitialised()
    : std::logic_error("The dialog has no owner window: Init was not called") {}

CCommonDialogs::CCommonDialogs()
    : backend_(defaultBackend() != nullptr ? defaultBackend() : &desktopBackend()) {}

CCommonDialogs::CCommonDialogs(DialogBackend& backend) : backend_(&backend) {}

void CCommonDialogs::SetDefaultBackend(DialogBackend* backend) {
    defaultBackend() = backend;
}

void CCommonDialogs::Init(QWidget* OwnerForm) {
    owner_ = OwnerForm;
    initialised_ = OwnerForm != nullptr;
}

QWidget* CCommonDialogs::requireOwner() const {
    // A window that was closed since Init counts as no owner at all.
    if (!initialised_ || owner_.isNull()) {
        throw DialogNotInitialised();
    }
    return owner_.data();
}

QString CCommonDialogs::FileTitle() const {
    return upToFirstNul(fileTitle_);
}
QString CCommonDialogs::Path() const {
    return upToFirstNul(path_);
}
QString CCommonDialogs::FileName() const {
    return upToFirstNul(fileName_);
}
QString CCommonDialogs::Title() const {
    return upToFirstNul(title_);
}

void CCommonDialogs::takeChosenFile(const QString& file) {
    fileName_ = file;
    fileTitle_ = QFileInfo(file).fileName();
    path_ = folderOf(file);
    RecentFolder::remember(path_);
}

bool CCommonDialogs::ShowOpen() {
    FileDialogRequest request;
    request.owner = requireOwner();
    request.title = Title();
    request.startFolder = RecentFolder::get();
    request.nameFilters = {QString::fromLatin1(kOpenFilterDescription) + u' ' + u'(' +
                           QString::fromLatin1(kOpenFilterPattern) + u')'};
    request.hideFilterPatterns = true;
    request.defaultSuffix = defExt_;
    request.initialName = FileName();
    const std::optional<QString> chosen = backend_->openExistingFile(request);
    if (!chosen || chosen->isEmpty()) {
        return false;
    }
    takeChosenFile(*chosen);
    return true;
}

bool CCommonDialogs::ShowSave() {
    QWidget* owner = requireOwner();
    QString start = Path();
    if (start.trimmed().isEmpty()) {
        start = programFolder();
    } else {
        if (!start.endsWith(u'/')) {
            start += u'/';
        }
        if (!QFileInfo(start).isDir()) {
            start = programFolder();
        }
    }
    path_ = start; // kept also when the user cancels

    FileDialogRequest request;
    request.owner = owner;
    request.title = QString::fromLatin1(kSaveTitle);
    request.startFolder = start;
    request.nameFilters = SaveNameFilters(filter_);
    request.hideFilterPatterns = true;
    const std::optional<QString> chosen = backend_->saveFile(request);
    if (!chosen || chosen->isEmpty()) {
        return false;
    }
    takeChosenFile(*chosen);
    return true;
}

bool CCommonDialogs::ShowFolder() {
    FolderDialogRequest request;
    request.owner = requireOwner();
    request.title = Title();
    request.startFolder = RecentFolder::get();
    const std::optional<QString> chosen = backend_->existingFolder(request);
    if (!chosen) {
        return false;
    }
    path_ = withoutTrailingSeparator(*chosen);
    fileName_.clear();
    fileTitle_.clear();
    if (!path_.isEmpty()) {
        RecentFolder::remember(path_);
    }
    return true;
}

bool CCommonDialogs::ShowColor(bool FullOpen) {
    QWidget* owner = requireOwner();
    const std::optional<QColor> chosen = backend_->color(owner, FromColorValue(color_), FullOpen);
    if (!chosen) {
        return false;
    }
    color_ = ToColorValue(*chosen);
    return true;
}

bool CCommonDialogs::ShowFont() {
    if (!initialised_ || owner_.isNull()) {
        return false;
    }
    QFont initial(fontName_);
    if (fontSize_ > 0) {
        initial.setPointSize(fontSize_);
    }
    initial.setBold(fontBold_);
    initial.setItalic(fontItalic_);
    initial.setUnderline(fontUnderline_);
    const std::optional<QFont> chosen = backend_->font(owner_.data(), initial);
    if (!chosen) {
        return false;
    }
    // Underline is not read back.
    fontName_ = chosen->family();
    fontBold_ = chosen->bold();
    fontItalic_ = chosen->italic();
    if (chosen->pointSizeF() > 0) {
        fontSize_ = static_cast<std::int16_t>(std::trunc(chosen->pointSizeF()));
    }
    return true;
}

bool CCommonDialogs::ShowPrinter() {
    return backend_->printer(requireOwner());
}

bool CCommonDialogs::ShowPrinterProperties() {
    if (!initialised_ || owner_.isNull()) {
        return false;
    }
    return backend_->printerProperties(owner_.data());
}

std::int32_t CCommonDialogs::ToColorValue(const QColor& color) {
    const QColor rgb = color.toRgb();
    return rgb.red() + 256 * rgb.green() + 65536 * rgb.blue();
}

QColor CCommonDialogs::FromColorValue(std::int32_t value) {
    return QColor(value & 0xFF, (value >> 8) & 0xFF, (value >> 16) & 0xFF);
}

QStringList SaveNameFilters(const QString& filter) {
    const QString pairs =
        filter.trimmed().isEmpty() ? QString::fromLatin1(kAllFilesFilter) : filter;
    const QStringList parts = pairs.split(u'|');
    QStringList nameFilters;
    // A description without its pattern at the end is dropped.
    for (qsizetype i = 0; i + 1 < parts.size(); i += 2) {
        QStringList patterns = parts[i + 1].split(u';', Qt::SkipEmptyParts);
        for (QString& pattern : patterns) {
            pattern = pattern.trimmed();
            if (pattern == QLatin1String("*.*")) {
                pattern = QStringLiteral("*"); // every file, also those without a dot
            }
        }
        if (patterns.isEmpty()) {
            continue;
        }
        nameFilters.append(parts[i] + QStringLiteral(" (") + patterns.join(u' ') + u')');
    }
    return nameFilters;
}

} // namespace quillory::commondialogs
