#pragma once
// The operations the procedures use on a spreadsheet application, modelled on the automation
// interface of a desktop spreadsheet program: an application holds workbooks, a workbook holds
// sheets. Every operation may throw SpreadsheetError.
//
// References returned by these interfaces stay valid until the object is deleted, closed or the
// application quits.

#include "spreadsheet/MergeReport.h"
#include "spreadsheet/SpreadsheetError.h"

#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace quillory::spreadsheet {

// How far a SaveAs has come: `done` out of `total` units of work (bytes of sheet data read).
struct SaveProgress {
    std::uint64_t done = 0;
    std::uint64_t total = 0;
};
// Called on the thread that runs SaveAs, at its start, as the sheets are written and at its end.
// An exception thrown here ends the SaveAs as a failure (nothing is left at the target).
using SaveProgressHandler = std::function<void(const SaveProgress&)>;

enum class SheetKind { Worksheet, ChartSheet, MacroSheet, DialogSheet };
enum class SheetVisibility { Visible, Hidden, VeryHidden };

class Sheet {
public:
    virtual ~Sheet() = default;
    virtual std::string Name() const = 0;
    virtual void SetName(const std::string& name) = 0;
    virtual SheetKind Kind() const = 0;
    virtual SheetVisibility Visibility() const = 0;
    // Removes the sheet from its workbook; fails for the last sheet.
    virtual void Delete() = 0;
    // Makes the sheet the active (selected) sheet of its workbook.
    virtual void Select() = 0;
    // Copies this worksheet into another workbook, just before `before` (a sheet of that
    // workbook). The copy's name follows the "Name (2)" rule when the name is taken.
    virtual void CopyBefore(Sheet& before) = 0;
};

class SheetCollection {
public:
    virtual ~SheetCollection() = default;
    virtual int Count() const = 0;
    // 1-based position in tab order.
    virtual Sheet& Item(int position) = 0;
    // By name, compared without regard to case; fails with SheetNotFound.
    virtual Sheet& Item(std::string_view name) = 0;
};

class Workbook {
public:
    virtual ~Workbook() = default;
    // The path it was opened from; empty for a new workbook.
    virtual const std::filesystem::path& Path() const = 0;
    // Worksheets only (chart sheets, macro sheets and dialog sheets excluded).
    virtual SheetCollection& Worksheets() = 0;
    // Every sheet, in tab order.
    virtual SheetCollection& AllSheets() = 0;
    // Writes the workbook to a new file: written under a temporary name and renamed into place,
    // so a failure leaves no file. Sources are never written.
    virtual void SaveAs(const std::filesystem::path& file) = 0;
    // Closes the workbook. A workbook opened from a file is never written, whatever
    // saveChanges says: sources stay byte-for-byte as they were.
    virtual void Close(bool saveChanges = false) = 0;
};

class WorkbookCollection {
public:
    virtual ~WorkbookCollection() = default;
    // Opens a workbook read-only.
    virtual Workbook& Open(const std::filesystem::path& path) = 0;
    // A new workbook with one worksheet, "Sheet1".
    virtual Workbook& Add() = 0;
};

class Application {
public:
    virtual ~Application() = default;
    virtual void SetDisplayAlerts(bool on) = 0;
    virtual void SetVisible(bool on) = 0;
    virtual WorkbookCollection& Workbooks() = 0;
    // Drops every open workbook and removes the application's temporary files.
    virtual void Quit() = 0;
    // What the copies made so far could not carry exactly.
    virtual const MergeReport& Report() const = 0;
    // Reports the progress of every later SaveAs of this application's workbooks; an empty
    // handler stops the reports. An application that cannot report ignores it.
    virtual void SetSaveProgressHandler(SaveProgressHandler handler) { (void)handler; }
    // Says which workbooks this run will open, so that the application can get them ready in
    // one go (legacy sources converted in one run of the converter). Never fails: a workbook it
    // could not get ready fails when it is opened or copied, as it would have without this.
    virtual void PrepareWorkbooks(const std::vector<std::filesystem::path>& paths) { (void)paths; }
    // Called every few tens of milliseconds while the application waits for a helper program
    // (a workbook conversion), on the thread that waits; an exception thrown here ends the wait
    // and the operation fails. An application that never waits ignores it.
    virtual void SetWaitHandler(std::function<void()> handler) { (void)handler; }
};

using ApplicationFactory = std::function<std::unique_ptr<Application>()>;

// The native engine that reads and writes workbook packages itself.
std::unique_ptr<Application> CreateEngineApplication();

} // namespace quillory::spreadsheet
