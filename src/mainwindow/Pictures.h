#pragma once
// The window's pictures: the desktop's icon theme first (freedesktop names), the project's own
// drawings as fallback so the window looks right without an icon theme.

#include <QIcon>
#include <QList>

namespace quillory::mainwindow {

enum class Picture {
    ProgramIcon,
    SpreadsheetDocument, // Add Excel; image 1 of the source list
    Folder,              // Add Folder; image 2 of the source list
    MissingPath,         // image 3 of the source list
    RemoveFile,
    Help,
    HomePage,
    Exit,
    ArrowUp,
    ArrowDown,
    ArrowLeft,
    ArrowRight,
};

QIcon LoadPicture(Picture picture);

// The image list of the source list, in its 1-based order: file, folder, missing path.
QList<QIcon> SourceListImages();

} // namespace quillory::mainwindow
