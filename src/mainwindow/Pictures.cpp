#include "mainwindow/Pictures.h"

// The drawings are compiled into a static library, whose resources must be registered by hand.
static void registerPictures() {
    Q_INIT_RESOURCE(resources);
}

namespace quillory::mainwindow {

namespace {

struct PictureSource {
    const char* themeName; // nullptr: always our own drawing
    const char* resource;
};

PictureSource sourceOf(Picture picture) {
    switch (picture) {
    case Picture::ProgramIcon:
        return {nullptr, ":/icons/quillory.svg"};
    case Picture::SpreadsheetDocument:
        return {"x-office-spreadsheet", ":/icons/spreadsheet.svg"};
    case Picture::Folder:
        return {"folder", ":/icons/folder.svg"};
    case Picture::MissingPath:
        return {"dialog-question", ":/icons/missing.svg"};
    case Picture::RemoveFile:
        return {"edit-delete", ":/icons/remove.svg"};
    case Picture::Help:
        return {"help-browser", ":/icons/help.svg"};
    case Picture::HomePage:
        return {"web-browser", ":/icons/homepage.svg"};
    case Picture::Exit:
        return {"application-exit", ":/icons/exit.svg"};
    case Picture::ArrowUp:
        return {"go-up", ":/icons/arrow-up.svg"};
    case Picture::ArrowDown:
        return {"go-down", ":/icons/arrow-down.svg"};
    case Picture::ArrowLeft:
        return {"go-previous", ":/icons/arrow-left.svg"};
    case Picture::ArrowRight:
        return {"go-next", ":/icons/arrow-right.svg"};
    }
    return {nullptr, ":/icons/quillory.svg"};
}

} // namespace

QIcon LoadPicture(Picture picture) {
    static const bool registered = (registerPictures(), true);
    (void)registered;
    const PictureSource source = sourceOf(picture);
    QIcon drawing(QString::fromLatin1(source.resource));
    if (source.themeName == nullptr) {
        return drawing;
    }
    return QIcon::fromTheme(QString::fromLatin1(source.themeName), drawing);
}

QList<QIcon> SourceListImages() {
    return {LoadPicture(Picture::SpreadsheetDocument), LoadPicture(Picture::Folder),
            LoadPicture(Picture::MissingPath)};
}

} // namespace quillory::mainwindow
