#pragma once
// What a workbook's standard font (its Normal style's font) makes of the grid: the width of its
// widest digit, in which column widths are counted, and the height of a row that holds nothing
// taller than that font. Both in whole pixels at 96 dots per inch, as spreadsheet programs draw
// them.

#include <optional>
#include <string>

namespace quillory::spreadsheet::ooxml {

struct NormalFont {
    std::string name;
    std::optional<double> size; // points; none when the styles part gives the font no size

    bool operator==(const NormalFont&) const = default;
};

// Sizes a standard font can sensibly take; outside them the font cannot measure a grid.
constexpr double kMinStandardFontSize = 1;
constexpr double kMaxStandardFontSize = 72;

struct StandardFontMetrics {
    int maxDigitWidth = 0; // pixels
    int rowHeight = 0;     // pixels
};

// The figures for the fonts of the table in FontMetrics.cpp; nullopt for any other font and for
// a size that is missing or outside the sensible range.
std::optional<StandardFontMetrics> MetricsOf(const NormalFont& font);

// "Calibri 11", "Calibri (no size)".
std::string Describe(const NormalFont& font);

// Why the font cannot measure a grid ("400 pt is not a size a standard font takes"), or empty
// when its size is usable.
std::string UnusableSizeReason(const NormalFont& font);

} // namespace quillory::spreadsheet::ooxml
