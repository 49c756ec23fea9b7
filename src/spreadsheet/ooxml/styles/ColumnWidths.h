#pragma once
// Column widths are stored in characters of the workbook's Normal font: the width of its widest
// digit in pixels (the "maximum digit width") plus padding. A sheet copied into a result whose
// Normal font is another one would change the look of every column, so its widths are converted
// to keep the same pixels under the result's font.

#include <optional>
#include <string>
#include <string_view>

namespace quillory::spreadsheet::ooxml {

struct NormalFont {
    std::string name;
    double size = 0; // points

    bool operator==(const NormalFont&) const = default;
};

// The Normal style's font of a styles part (Calibri 11 when the part does not say).
NormalFont NormalFontOf(std::string_view stylesXml, const std::string& fileName);

// The maximum digit width in pixels at 96 dots per inch, for the fonts whose digit widths are
// known; nullopt for others.
std::optional<int> MaxDigitWidth(const NormalFont& font);

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

private:
    int from_;
    int to_;
};

} // namespace quillory::spreadsheet::ooxml

namespace quillory::spreadsheet::ooxml {

// How a sheet's columns travel from a workbook with one Normal font into a result with another:
// the conversion when the digit widths differ, and the report's sentence (empty when the
// columns look the same without a change).
struct ColumnWidthDecision {
    std::optional<ColumnWidthConverter> converter;
    std::string note;
};
ColumnWidthDecision DecideColumnWidths(const NormalFont& source, const NormalFont& result);

} // namespace quillory::spreadsheet::ooxml
