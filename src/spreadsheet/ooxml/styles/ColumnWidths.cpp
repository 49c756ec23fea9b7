#include "spreadsheet/ooxml/styles/ColumnWidths.h"

#include "spreadsheet/SpreadsheetError.h"
#include "spreadsheet/ooxml/xml/Xml.h"

#include <charconv>
#include <cmath>
#include <cstdlib>

namespace quillory::spreadsheet::ooxml {

namespace {

constexpr std::string_view kDefaultFontName = "Calibri";
constexpr double kDefaultFontSize = 11;
// Pixels added to every column around its characters.
constexpr double kColumnPadding = 5;
// Widths are kept in 1/256 of a character.
constexpr double kWidthSteps = 256;
// Default columns are widened to a multiple of this many pixels.
constexpr double kPixelsPerStep = 8;
constexpr double kPointsPerPixel = 72.0 / 96.0;

std::optional<double> ParseNumber(std::string_view text) {
    double value = 0;
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (ec != std::errc() || end != text.data() + text.size() || !std::isfinite(value)) {
        return std::nullopt;
    }
    return value;
}

std::string FormatWidth(double width) {
    char buffer[32];
    const auto [end, ec] = std::to_chars(buffer, buffer + sizeof buffer, width);
    return ec == std::errc() ? std::string(buffer, end) : std::string("0");
}

std::size_t IndexAttribute(const XmlNode* node, std::string_view name) {
    if (node == nullptr) {
        return 0;
    }
    const auto value = ParseNumber(node->attributeOr(std::string(name), "0"));
    return value && *value >= 0 ? static_cast<std::size_t>(*value) : 0;
}

} // namespace

NormalFont NormalFontOf(std::string_view stylesXml, const std::string& fileName) {
    NormalFont font{std::string(kDefaultFontName), kDefaultFontSize};
    XmlNode root;
    try {
        root = ParseXmlTree(stylesXml, fileName, "xl/styles.xml");
    } catch (const SpreadsheetError&) {
        return font; // the styles part is judged where it is read for the cells
    }
    std::size_t styleXf = 0;
    if (const XmlNode* styles = root.child("cellStyles")) {
        for (const XmlNode* style : styles->childrenNamed("cellStyle")) {
            if (style->attributeOr("builtinId", "") == "0") {
                styleXf = IndexAttribute(style, "xfId");
                break;
            }
        }
    }
    std::size_t fontId = 0;
    if (const XmlNode* xfs = root.child("cellStyleXfs")) {
        const auto records = xfs->childrenNamed("xf");
        if (styleXf < records.size()) {
            fontId = IndexAttribute(records[styleXf], "fontId");
        }
    }
    const XmlNode* fonts = root.child("fonts");
    if (fonts == nullptr) {
        return font;
    }
    const auto records = fonts->childrenNamed("font");
    if (fontId >= records.size()) {
        return font;
    }
    if (const XmlNode* name = records[fontId]->child("name")) {
        font.name = name->attributeOr("val", font.name);
    }
    // A font without a usable size cannot measure the grid: the size stays unknown.
    font.size = std::nullopt;
    if (const XmlNode* size = records[fontId]->child("sz")) {
        font.size = ParseNumber(size->attributeOr("val", ""));
    }
    return font;
}

std::optional<int> MaxDigitWidth(const NormalFont& font) {
    const auto metrics = MetricsOf(font);
    return metrics ? std::optional<int>(metrics->maxDigitWidth) : std::nullopt;
}

double ColumnWidthConverter::width(double sourceWidth) const {
    if (from_ <= 0 || to_ <= 0 || from_ == to_ || sourceWidth <= 0) {
        return sourceWidth;
    }
    // Pixels as the source's program draws the column, then the width that draws as many.
    const double pixels =
        std::trunc((kWidthSteps * sourceWidth + std::trunc(128.0 / from_)) / kWidthSteps * from_);
    return std::trunc(pixels / to_ * kWidthSteps) / kWidthSteps;
}

std::string ColumnWidthConverter::widthText(std::string_view sourceWidth) const {
    const auto value = ParseNumber(sourceWidth);
    return value ? FormatWidth(width(*value)) : std::string(sourceWidth);
}

std::string ColumnWidthConverter::baseWidthText(std::string_view sourceBaseWidth) const {
    const auto value = ParseNumber(sourceBaseWidth);
    if (!value || to_ <= 0) {
        return std::string(sourceBaseWidth);
    }
    const double pixels = *value * from_ + kColumnPadding;
    return std::to_string(std::max(1L, std::lround((pixels - kColumnPadding) / to_)));
}

std::string ColumnWidthConverter::implicitDefaultWidthText(int baseWidth) const {
    const double pixels =
        std::ceil((baseWidth * from_ + kColumnPadding) / kPixelsPerStep) * kPixelsPerStep;
    // The smallest width in 1/256 steps that draws at least those pixels draws exactly them.
    return FormatWidth(std::ceil(pixels / to_ * kWidthSteps) / kWidthSteps);
}

} // namespace quillory::spreadsheet::ooxml

namespace quillory::spreadsheet::ooxml {

ColumnWidthDecision DecideColumnWidths(const NormalFont& source, const NormalFont& result) {
    ColumnWidthDecision decision;
    if (source == result) {
        return decision;
    }
    const std::string lead = "The standard font " + Describe(source) +
                             " differs from the result's " + Describe(result) +
                             ": column widths and row heights were ";
    for (const NormalFont* font : {&source, &result}) {
        if (const std::string reason = UnusableSizeReason(*font); !reason.empty()) {
            decision.note = lead + "copied as stored, because " + reason + ".";
            return decision;
        }
    }
    const auto from = MetricsOf(source);
    const auto to = MetricsOf(result);
    if (!from || !to) {
        decision.note = lead + "copied as stored, because the digit widths of " +
                        (from ? result.name : source.name) +
                        " are not known; columns may look wider or narrower than in the source.";
        return decision;
    }
    decision.sizes = DefaultSizes{ColumnWidthConverter(from->maxDigitWidth, to->maxDigitWidth),
                                  from->rowHeight * kPointsPerPixel};
    if (from->maxDigitWidth != to->maxDigitWidth || from->rowHeight != to->rowHeight) {
        decision.note = lead + "converted to keep their size.";
    }
    return decision;
}

} // namespace quillory::spreadsheet::ooxml
