#include "spreadsheet/ooxml/styles/FontMetrics.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <string_view>

namespace quillory::spreadsheet::ooxml {

namespace {

constexpr double kPixelsPerPoint = 96.0 / 72.0;
// The row heights below are those at this size; other sizes scale them.
constexpr double kReferenceSize = 11;

// Where a figure comes from (see the comment above the table).
constexpr std::string_view kMeasured = "measured here";
constexpr std::string_view kFontTable = "font's metric table";
constexpr std::string_view kRowList = "published row heights";
constexpr std::string_view kCited = "commonly cited";
constexpr std::string_view kEstimate = "estimate";

struct FontFigures {
    std::string_view names[4];   // the font's names (localised, English) and its stand-ins
    double digitEm;              // widest digit's advance, in ems
    std::string_view digitsFrom; // one of the sources above
    double rowPoints;            // natural row height at kReferenceSize, in points
    std::string_view rowsFrom;   // the same for the row height
};

// kMeasured: the widest advance of 0-9 in the metric-compatible font that fontconfig picks for
// the name here (Carlito, Caladea, Liberation Sans / Serif / Mono). kFontTable: the digit
// advances of the font's own metric tables, as this table had them before (not re-measured:
// the fonts are not installed here). kRowList: a published per-font list of the default row
// height the spreadsheet program saves at 11 pt and 96 dpi. kCited: commonly cited figures of the
// program for that font at 11 pt (a standard column of 8.38 characters in 72 pixels, that is 8
// pixels a digit; 游ゴシック rows of 18.75 pt), not checked against a source here. kEstimate:
// nothing published was at hand. Row heights at other sizes scale the 11 pt figure.
constexpr FontFigures kFonts[] = {
    {{"Calibri", "Carlito"}, 0.5068, kMeasured, 15, kRowList},
    {{"Cambria", "Caladea"}, 0.5170, kMeasured, 14.25, kRowList},
    {{"Arial", "Liberation Sans", "Helvetica", "Arimo"}, 0.5562, kMeasured, 14.25, kRowList},
    {{"Times New Roman", "Liberation Serif", "Tinos"}, 0.5, kMeasured, 15, kRowList},
    {{"Courier New", "Liberation Mono", "Cousine"}, 0.6001, kMeasured, 15, kRowList},
    {{"Tahoma"}, 0.5459, kFontTable, 14.25, kRowList},
    {{"Verdana"}, 0.6362, kFontTable, 14.25, kRowList},
    {{"Segoe UI"}, 0.5581, kFontTable, 16.5, kRowList},
    {{"Consolas"}, 0.5498, kFontTable, 15, kRowList},
    {{"Georgia"}, 0.6153, kFontTable, 14.25, kRowList},
    {{"Aptos Narrow"}, 0.5, kFontTable, 15, kEstimate},
    {{"Aptos"}, 0.5498, kFontTable, 15, kEstimate},
    {{"MS Sans Serif"}, 0.5, kEstimate, 14, kEstimate},
    {{"游ゴシック", "Yu Gothic"}, 8 / 14.6667, kCited, 18.75, kCited},
    {{"ＭＳ Ｐゴシック", "MS PGothic"}, 8 / 14.6667, kCited, 13.5, kRowList},
    {{"맑은 고딕", "Malgun Gothic"}, 8 / 14.6667, kCited, 16.5, kRowList},
    {{"等线", "DengXian"}, 8 / 14.6667, kCited, 14.25, kEstimate},
    {{"宋体", "SimSun"}, 0.5, kCited, 13.5, kRowList},
    {{"新細明體", "PMingLiU"}, 0.5, kCited, 15.75, kRowList},
    {{"微軟正黑體", "Microsoft JhengHei"}, 8 / 14.6667, kEstimate, 15, kRowList},
};

// Font names compare without regard to ASCII case; other characters as they are.
bool SameFontName(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) {
        return false;
    }
    const auto lower = [](char c) {
        return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
    };
    for (std::size_t i = 0; i < a.size(); ++i) {
        if (lower(a[i]) != lower(b[i])) {
            return false;
        }
    }
    return true;
}

std::string FormatSize(double size) {
    char buffer[32];
    const auto [end, ec] = std::to_chars(buffer, buffer + sizeof buffer, size);
    return ec == std::errc() ? std::string(buffer, end) : std::string("?");
}

} // namespace

std::string Describe(const NormalFont& font) {
    return font.name + (font.size ? " " + FormatSize(*font.size) : std::string(" (no size)"));
}

std::string UnusableSizeReason(const NormalFont& font) {
    if (!font.size) {
        return font.name + " has no size";
    }
    if (!(*font.size >= kMinStandardFontSize && *font.size <= kMaxStandardFontSize)) {
        return FormatSize(*font.size) + " pt is not a size a standard font takes";
    }
    return {};
}

std::optional<StandardFontMetrics> MetricsOf(const NormalFont& font) {
    if (!UnusableSizeReason(font).empty()) {
        return std::nullopt;
    }
    for (const auto& known : kFonts) {
        for (const auto name : known.names) {
            if (!name.empty() && SameFontName(name, font.name)) {
                const double size = *font.size;
                StandardFontMetrics metrics;
                metrics.maxDigitWidth = std::max(
                    1, static_cast<int>(std::lround(size * kPixelsPerPoint * known.digitEm)));
                metrics.rowHeight =
                    std::max(1, static_cast<int>(std::lround(known.rowPoints * kPixelsPerPoint *
                                                             size / kReferenceSize)));
                return metrics;
            }
        }
    }
    return std::nullopt;
}

} // namespace quillory::spreadsheet::ooxml
