#pragma once
// The formats and layout of a legacy .xls workbook as its own records state them: fonts, cell
// formats (XF), the XF of each cell, row heights, column widths and merged ranges of each
// worksheet. Read to correct what a conversion of the workbook loses (see
// ConvertedPackageCorrection).

#include "spreadsheet/legacy/LegacySharedStrings.h"
#include "spreadsheet/legacy/LegacyWorkbookListing.h"

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <unordered_map>
#include <vector>

namespace quillory::spreadsheet::legacy {

// Underline kinds as a FONT record stores them.
enum class LegacyUnderline : std::uint8_t {
    None = 0x00,
    Single = 0x01,
    Double = 0x02,
    SingleAccounting = 0x21,
    DoubleAccounting = 0x22,
};

struct LegacyFont {
    std::string name;              // UTF-8
    std::uint16_t heightTwips = 0; // the size, in 1/20 of a point
    LegacyUnderline underline = LegacyUnderline::None;
};

// Horizontal alignment "centred across the selection", which a conversion may turn into a merge.
inline constexpr std::uint8_t kLegacyAlignCenterAcross = 6;

// Fill colour index "system window background" (white on almost every system).
inline constexpr std::uint8_t kLegacySystemBackground = 65;
inline constexpr std::uint8_t kLegacySolidFill = 1;

struct LegacyXf {
    std::uint16_t fontIndex = 0; // as stored: index 4 is never used, 5 is the fifth font
    std::uint16_t formatIndex = 0;
    std::uint8_t horizontalAlignment = 0;
    std::uint8_t fillPattern = 0;
    std::uint8_t fillForeground = 0; // colour index
};

struct LegacyRow {
    std::uint16_t heightTwips = 0;
    bool defaultHeight = false; // the row follows the sheet's default height
    bool customHeight = false;  // the height was set by hand, not fitted to the row's contents
};

struct LegacyColumn {
    std::uint16_t width = 0; // in 1/256 of a character, the unit of an .xlsx width
    std::uint16_t options = 0;
    bool operator==(const LegacyColumn&) const = default;
};
inline constexpr std::uint16_t kLegacyColumnHidden = 0x0001;
inline constexpr std::uint16_t kLegacyColumnOutlineMask = 0x0700;
inline constexpr int kLegacyColumnOutlineShift = 8;
inline constexpr std::uint16_t kLegacyColumnCollapsed = 0x1000;

struct LegacyMergedRange {
    std::uint16_t firstRow = 0, lastRow = 0, firstColumn = 0, lastColumn = 0;
};

struct LegacySheetFormats {
    std::string name; // UTF-8, as the listing reads it
    std::optional<std::uint16_t> defaultRowHeightTwips;
    bool defaultRowHeightCustom = false;
    std::unordered_map<std::uint32_t, LegacyRow> rows;       // by 0-based row
    std::unordered_map<std::uint32_t, LegacyColumn> columns; // by 0-based column, from COLINFO
    std::optional<std::uint16_t> standardWidth;           // STANDARDWIDTH, in a column width's unit
    std::optional<std::uint16_t> defaultWidthCharacters;  // DEFCOLWIDTH, whole characters
    std::unordered_map<std::uint32_t, std::uint16_t> xfs; // by CellKey
    std::vector<LegacyMergedRange> merged;
    std::unordered_map<std::uint32_t, std::uint32_t> richStrings; // by CellKey: shared string index
    std::size_t embeddedCharts = 0; // chart substreams nested in the sheet's own
    // Cells of FORMULA records, but for the cells of an array formula or a data table other than
    // its first, which no formula of its own stands for in a package; true where the result the
    // record keeps is an error.
    std::unordered_map<std::uint32_t, bool> formulas;

    static std::uint32_t CellKey(std::uint32_t row, std::uint32_t column) {
        return (row << 8) | (column & 0xFF);
    }
};

// Number formats below this index are built in (a workbook may restate them in its own
// spelling); the workbook's own come above, usually from 164.
inline constexpr std::uint16_t kLegacyFirstOwnFormat = 50;
inline constexpr std::uint16_t kLegacyFirstCustomFormat = 164;

// A defined name of the workbook's own (built-in names such as the print area left out).
struct LegacyName {
    std::string name;  // UTF-8
    std::string scope; // the name of the sheet it belongs to; empty for the whole workbook
};

struct LegacyWorkbookFormats {
    std::vector<LegacyFont> fonts;
    std::vector<LegacyName> names;
    std::unordered_map<std::uint16_t, std::string> numberFormats; // FORMAT records by index
    std::vector<LegacyXf> xfs;
    std::vector<LegacySheetFormats> worksheets; // tab order, worksheets only
    // By shared string index; RSTRING cells' strings under indexes no string table reaches.
    std::unordered_map<std::uint32_t, LegacyRichString> richStrings;

    // The font of a stored font index, or null when it is 4 or past the font table.
    const LegacyFont* font(std::uint16_t index) const;
    const LegacyFont* fontOf(const LegacyXf& xf) const { return font(xf.fontIndex); }
};

// Throws SpreadsheetError as ListLegacyWorkbook does, and DamagedLegacyWorkbook for a record
// that runs past the workbook data or a sheet that starts outside it.
LegacyWorkbookFormats ReadLegacyWorkbookFormats(const std::filesystem::path& file);

} // namespace quillory::spreadsheet::legacy
