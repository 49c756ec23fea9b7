#pragma once
// Column widths are stored in characters of the workbook's Normal font: the width of its widest
// digit in pixels (the "maximum digit width") plus padding. A sheet copied into a result whose
// Normal font is another one would change the look of every column, so its widths are converted
// to keep the same pixels under the result's font.

#include "spreadsheet/ooxml/styles/FontMetrics.h"

#include <optional>
#include <string>
#include <string_view>

namespace quillory::spreadsheet::ooxml {

// The Normal style's font of a styles part (Calibri 11 when the part does not say).
NormalFont NormalFontOf(std::string_view stylesXml, const std::string& fileName);

// The maximum digit width in pixels at 96 dots per inch, for the fonts whose digit widths are
// known; nullopt for others.
std::optional<int> MaxDigitWidth(const NormalFont& font);

// Column widths that a sheet leaves to its defaults: 8 characters unless baseColWidth says
// otherwise, widened to the next multiple of 8 pixels as spreadsheet programs do.
constexpr int kImplicitBaseColumnWidth = 8;
// A baseColWidth outside [1, kMaxBaseColumnWidth] cannot be a sheet's default column.
constexpr int kMaxBaseColumnWidth = 254;

class ColumnWidthConverter {
public:
    ColumnWidthConverter(int fromDigitWidth, int toDigitWidth)
        : from_(fromDigitWidth), to_(toDigitWidth) {}

    // A column width (characters with padding, as in col/@width and defaultColWidth).
    double width(double sourceWidth) const;
    // The text of a width attribute converted; unchanged when it is not a number.
    std::string widthText(std::string_view sourceWidth) const;
    // A base width (whole characters, no padding: sheetFormatPr/@baseColWidth).
    std::string baseWidthText(std::string_view sourceBaseWidth) const;
    // The defaultColWidth that draws, under the result's font, the pixels of a sheet whose
    // default columns follow baseColWidth alone (or its absence).
    std::string implicitDefaultWidthText(int baseWidth) const;
    bool changesWidths() const { return from_ > 0 && to_ > 0 && from_ != to_; }

private:
    int from_;
    int to_;
};

} // namespace quillory::spreadsheet::ooxml

namespace quillory::spreadsheet::ooxml {

// How a sheet's columns and rows keep their size when its workbook's standard font differs from
// the result's: set when both fonts are known; otherwise the sheet keeps widths as stored.
struct DefaultSizes {
    ColumnWidthConverter columns;
    // The source font's natural row height in points: the height of rows that state none, kept
    // by a custom default height since the result's font would give them another.
    double rowHeight = 0;
};

// The sizes to keep, and the report's sentence for the workbook (empty when the fonts match).
struct ColumnWidthDecision {
    std::optional<DefaultSizes> sizes;
    std::string note;
};
ColumnWidthDecision DecideColumnWidths(const NormalFont& source, const NormalFont& result);

} // namespace quillory::spreadsheet::ooxml
