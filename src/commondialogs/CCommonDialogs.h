#pragma once
// The program's open-file, save-file, folder, colour, font and printer dialogs behind a few
// properties. A caller makes one object per use, binds it to the owning window with Init, sets
// what the dialog reads (at least Title), calls one Show method and, when it returns true, reads
// what the dialog filled. Nothing survives from one object to the next.
//
// Rules callers rely on:
// - Init comes first: a Show method without an owner window throws DialogNotInitialised
//   (ShowFont and ShowPrinterProperties return false instead).
// - Results change only when the user confirms; Cancel returns false and changes nothing
//   (ShowSave may already have replaced Path with the program folder).
// - FileName, FileTitle, Path and Title read back up to their first NUL character.

#include "commondialogs/DialogBackend.h"

#include <QPointer>
#include <QString>
#include <QWidget>
#include <cstdint>
#include <stdexcept>

namespace quillory::commondialogs {

// The one filter of the open dialog: its description, and the pattern it matches, without
// regard to case.
inline constexpr const char* kOpenFilterDescription = "Excel files(*.xls;*.xlsx;*.xlsm;*.xlsb)";
inline constexpr const char* kOpenFilterPattern = "*.xl*";
// The save dialog's title, and its filter when Filter is blank.
inline constexpr const char* kSaveTitle = "Save";
inline constexpr const char* kAllFilesFilter = "*.*|*.*";

class DialogNotInitialised : public std::logic_error {
public:
    DialogNotInitialised();
};

class CCommonDialogs {
public:
    // Uses the process's backend (the desktop's dialogs unless replaced with SetDefaultBackend).
    CCommonDialogs();
    explicit CCommonDialogs(DialogBackend& backend);

    void Init(QWidget* OwnerForm);

    QString FileTitle() const;
    void SetFileTitle(const QString& value) { fileTitle_ = value; }
    QString Path() const;
    void SetPath(const QString& value) { path_ = value; }
    QString Filter() const { return filter_; }
    void SetFilter(const QString& value) { filter_ = value; }
    QString FileName() const;
    void SetFileName(const QString& value) { fileName_ = value; }
    std::int32_t Color() const { return color_; }
    void SetColor(std::int32_t value) { color_ = value; }
    QString Title() const;
    void SetTitle(const QString& value) { title_ = value; }
    QString DefExt() const { return defExt_; }
    void SetDefExt(const QString& value) { defExt_ = value; }
    QString FontName() const { return fontName_; }
    void SetFontName(const QString& value) { fontName_ = value; }
    std::int16_t FontSize() const { return fontSize_; }
    void SetFontSize(std::int16_t value) { fontSize_ = value; }
    bool FontBold() const { return fontBold_; }
    void SetFontBold(bool value) { fontBold_ = value; }
    bool FontItalic() const { return fontItalic_; }
    void SetFontItalic(bool value) { fontItalic_ = value; }
    bool FontUnderline() const { return fontUnderline_; }
    void SetFontUnderline(bool value) { fontUnderline_ = value; }

    // One existing file, offered through the workbook filter; fills FileName, FileTitle, Path.
    bool ShowOpen();
    // A file name to save under; starts in Path, or the program folder when Path names no folder.
    bool ShowSave();
    // An existing folder; fills Path, and empties FileName and FileTitle.
    bool ShowFolder();
    bool ShowColor(bool FullOpen);
    bool ShowFont();
    bool ShowPrinter();
    bool ShowPrinterProperties();

    // Replaces the backend of objects made afterwards with the default constructor (nullptr puts
    // the desktop's dialogs back). The caller keeps the backend alive while it is in use.
    static void SetDefaultBackend(DialogBackend* backend);

    // A colour as red + 256 * green + 65536 * blue, and back.
    static std::int32_t ToColorValue(const QColor& color);
    static QColor FromColorValue(std::int32_t value);

private:
    QWidget* requireOwner() const;
    void takeChosenFile(const QString& file);

    DialogBackend* backend_;
    QString fileTitle_;
    QString path_;
    QString filter_;
    QString fileName_;
    std::int32_t color_ = 0;
    QString title_;
    QPointer<QWidget> owner_;
    bool initialised_ = false;
    QString defExt_;
    QString fontName_;
    std::int16_t fontSize_ = 0;
    bool fontBold_ = false;
    bool fontItalic_ = false;
    bool fontUnderline_ = false;
};

// The save dialog's Qt name filters for a Filter text of "description|pattern|..." pairs.
QStringList SaveNameFilters(const QString& filter);

} // namespace quillory::commondialogs
