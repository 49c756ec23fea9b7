#pragma once
// Lists the sheets of a legacy .xls workbook (BIFF5: Excel 5.0/95, BIFF8: Excel 97-2003) straight
// from the file, reading only the directory of its container and the records that name the
// sheets: it takes milliseconds whatever the size of the workbook and needs nothing installed.

#include "spreadsheet/Automation.h"
#include "spreadsheet/legacy/ByteSource.h"

#include <cstdint>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace quillory::spreadsheet::legacy {

enum class BiffVersion { Biff5, Biff8 };

enum class LegacySheetKind { Worksheet, ChartSheet, MacroSheet, DialogSheet, VisualBasicModule };

struct LegacySheet {
    std::string name; // UTF-8
    LegacySheetKind kind = LegacySheetKind::Worksheet;
    SheetVisibility visibility = SheetVisibility::Visible;
};

struct LegacyWorkbookListing {
    BiffVersion version = BiffVersion::Biff8;
    // The code page that 8-bit text of the workbook is in (1200, UTF-16, for BIFF8).
    std::uint16_t codePage = 0;
    // Every sheet in tab order, including chart sheets, macro sheets and modules.
    std::vector<LegacySheet> sheets;

    // Worksheets only (chart sheets, macro sheets, dialog sheets and modules left out), in tab
    // order: what the worksheet list shows.
    std::vector<std::string> WorksheetNames() const;
};

// Throws SpreadsheetError naming the file: FileNotFound, FileUnreadable, TruncatedPackage,
// DamagedLegacyWorkbook, PasswordProtected (encrypted workbook or encrypted package),
// LegacyVersionUnsupported (before Excel 5), TextNotWorkbook (text, CSV or a web page saved as
// .xls), NotAWorkbook.
LegacyWorkbookListing ListLegacyWorkbook(const std::filesystem::path& file);

// The same over any bytes; `quotedName` is how descriptions name the file.
LegacyWorkbookListing ListLegacyWorkbook(std::unique_ptr<ByteSource> source,
                                         const std::string& quotedName);

// Maps a legacy sheet kind onto the engine's; modules are not sheets there.
std::optional<SheetKind> ToSheetKind(LegacySheetKind kind);

} // namespace quillory::spreadsheet::legacy
