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
constexpr double kPixelsPerPoint = 96.0 / 72.0;
// Pixels added to every column around its characters.
constexpr double kColumnPadding = 5;
// Widths are kept in 1/256 of a character.
constexpr double kWidthSteps = 256;

// Advance width of the digits as a fraction of the font size (the em), for fonts commonly used
// as a workbook's Normal font and their metric-compatible replacements.
struct DigitWidth {
    std::string_view font;
    double emFraction;
};
constexpr DigitWidth kDigitWidths[] = {
    {"Calibri", 0.5068},         {"Carlito", 0.5068},       {"Arial", 0.5562},
    {"Liberation Sans", 0.5562}, {"Helvetica", 0.5562},     {"Arimo", 0.5562},
    {"Times New Roman", 0.5},    {"Liberation Serif", 0.5}, {"Tinos", 0.5},
    {"Cambria", 0.5562},         {"Caladea", 0.5562},       {"Courier New", 0.6001},
    {"Liberation Mono", 0.6001}, {"Cousine", 0.6001},       {"Verdana", 0.6362},
    {"Tahoma", 0.5459},          {"Segoe UI", 0.5581},      {"Aptos Narrow", 0.5},
    {"Aptos", 0.5498},           {"Consolas", 0.5498},      {"Georgia", 0.6153},
};

bool SameFontName(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) {
        return false;
    }
    for (std::size_t i = 0; i < a.size(); ++i) {
        const auto lower = [](char c) {
            return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
        };
        if (lower(a[i]) != lower(b[i])) {
            return false;
        }
    }
    return true;
}

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
    if (const XmlNode* size = records[fontId]->child("sz")) {
        font.size = ParseNumber(size->attributeOr("val", "")).value_or(font.size);
    }
    return font;
}

std::optional<int> MaxDigitWidth(const NormalFont& font) {
    if (font.size <= 0) {
        return std::nullopt;
    }
    for (const auto& known : kDigitWidths) {
        if (SameFontName(known.font, font.name)) {
            return static_cast<int>(std::lround(font.size * kPixelsPerPoint * known.emFraction));
        }
    }
    return std::nullopt;
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

} // namespace quillory::spreadsheet::ooxml

namespace quillory::spreadsheet::ooxml {

namespace {

std::string Describe(const NormalFont& font) {
    char size[32];
    const auto [end, ec] = std::to_chars(size, size + sizeof size, font.size);
    return font.name + " " + (ec == std::errc() ? std::string(size, end) : std::string("?"));
}

} // namespace

ColumnWidthDecision DecideColumnWidths(const NormalFont& source, const NormalFont& result) {
    ColumnWidthDecision decision;
    if (source.size == result.size && source.name == result.name) {
        return decision;
    }
    const auto from = MaxDigitWidth(source);
    const auto to = MaxDigitWidth(result);
    if (from && to) {
        if (*from != *to) {
            decision.converter.emplace(*from, *to);
            decision.note = "The workbook's standard font (" + Describe(source) +
                            ") differs from the merged workbook's (" + Describe(result) +
                            "): column widths were converted to keep their size on screen.";
        }
        return decision;
    }
    decision.note = "The workbook's standard font (" + Describe(source) +
                    ") differs from the merged workbook's (" + Describe(result) +
                    "): columns may look wider or narrower than in the source.";
    return decision;
}

} // namespace quillory::spreadsheet::ooxml
