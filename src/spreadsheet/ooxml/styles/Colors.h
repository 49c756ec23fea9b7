#pragma once
// SpreadsheetML colours: ARGB values, the default indexed palette, tints, and turning theme and
// indexed colour references into fixed colours when a copied record leaves its own workbook.

#include <array>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace quillory::spreadsheet::ooxml {

using Argb = std::uint32_t;

inline constexpr std::size_t kIndexedPaletteSize = 64;
// Indexes 64 and 65 mean the system foreground and background; they are never resolved.
inline constexpr int kSystemForegroundIndex = 64;
// Colours of a theme in the order SpreadsheetML's theme="n" attribute counts them.
inline constexpr std::size_t kThemeColorCount = 12;
using ThemeColors = std::array<Argb, kThemeColorCount>;

// "FF4F81BD" or "4F81BD" (alpha FF assumed); nullopt when not hexadecimal of that length.
std::optional<Argb> ParseArgb(std::string_view text);
// Always eight upper-case hex digits.
std::string FormatArgb(Argb color);

// The palette a workbook without <indexedColors> uses.
const std::array<Argb, kIndexedPaletteSize>& DefaultIndexedPalette();
bool IsDefaultIndexedPalette(const std::vector<Argb>& palette);

// Lightens (tint > 0) or darkens (tint < 0) in HSL: the luminance moves towards white by tint or
// towards black by -tint; hue, saturation and alpha stay.
Argb ApplyTint(Argb color, double tint);

// Decides which colour references of one source workbook must become fixed colours in the
// result, and computes them.
class ColorResolver {
public:
    ColorResolver() = default;
    // sourceThemeColors: set when the source's theme differs from the result's, so theme="n"
    // must be resolved. sourcePalette: set when the source's indexed palette is not the default.
    ColorResolver(std::optional<ThemeColors> sourceThemeColors,
                  std::optional<std::vector<Argb>> sourcePalette);

    bool resolvesTheme() const { return themeColors_.has_value(); }
    bool resolvesIndexed() const { return palette_.has_value(); }
    bool active() const { return resolvesTheme() || resolvesIndexed(); }

    // Given the attributes of one colour element, the fixed colour that replaces them (theme,
    // indexed and tint then go), or nullopt when the element stays as it is.
    std::optional<Argb> resolve(const std::string* theme, const std::string* indexed,
                                const std::string* tint) const;

private:
    std::optional<ThemeColors> themeColors_;
    std::optional<std::vector<Argb>> palette_;
};

// True for the local names of elements of the colour type (color, fgColor, x14:negativeFillColor,
// sparkline colorSeries, ...).
bool IsColorElementName(std::string_view localName);

// What to change while copying a fragment of SpreadsheetML text (rich text runs, extension
// elements) without parsing it into a tree.
struct FragmentRules {
    const ColorResolver* colors = nullptr;  // may be null or inactive
    bool dropFontScheme = false;            // <scheme> inside <rPr> / <font>
    std::function<int(int)> phoneticFontId; // remaps <phoneticPr fontId>, when set
};

// Applies rules to a fragment (any sequence of elements and text, prefixes need not be
// declared). Everything not changed is kept byte for byte.
std::string TranslateFragment(std::string_view xml, const FragmentRules& rules);

} // namespace quillory::spreadsheet::ooxml
