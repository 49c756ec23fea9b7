#include "spreadsheet/ooxml/styles/Colors.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdlib>

namespace quillory::spreadsheet::ooxml {

namespace {

constexpr Argb kOpaque = 0xFF000000u;

struct Hsl {
    double hue;        // 0..1
    double saturation; // 0..1
    double luminance;  // 0..1
};

Hsl ToHsl(Argb color) {
    const double red = ((color >> 16) & 0xFF) / 255.0;
    const double green = ((color >> 8) & 0xFF) / 255.0;
    const double blue = (color & 0xFF) / 255.0;
    const double high = std::max({red, green, blue});
    const double low = std::min({red, green, blue});
    const double luminance = (high + low) / 2.0;
    const double delta = high - low;
    if (delta == 0.0) {
        return {0.0, 0.0, luminance};
    }
    const double saturation = luminance <= 0.5 ? delta / (high + low) : delta / (2.0 - high - low);
    double hue = 0.0;
    if (high == red) {
        hue = (green - blue) / delta;
    } else if (high == green) {
        hue = 2.0 + (blue - red) / delta;
    } else {
        hue = 4.0 + (red - green) / delta;
    }
    hue /= 6.0;
    if (hue < 0.0) {
        hue += 1.0;
    }
    return {hue, saturation, luminance};
}

double HueToChannel(double p, double q, double t) {
    if (t < 0.0) {
        t += 1.0;
    }
    if (t > 1.0) {
        t -= 1.0;
    }
    if (t < 1.0 / 6.0) {
        return p + (q - p) * 6.0 * t;
    }
    if (t < 0.5) {
        return q;
    }
    if (t < 2.0 / 3.0) {
        return p + (q - p) * (2.0 / 3.0 - t) * 6.0;
    }
    return p;
}

Argb FromHsl(const Hsl& hsl, Argb alpha) {
    double red = hsl.luminance;
    double green = hsl.luminance;
    double blue = hsl.luminance;
    if (hsl.saturation != 0.0) {
        const double q = hsl.luminance <= 0.5
                             ? hsl.luminance * (1.0 + hsl.saturation)
                             : hsl.luminance + hsl.saturation - hsl.luminance * hsl.saturation;
        const double p = 2.0 * hsl.luminance - q;
        red = HueToChannel(p, q, hsl.hue + 1.0 / 3.0);
        green = HueToChannel(p, q, hsl.hue);
        blue = HueToChannel(p, q, hsl.hue - 1.0 / 3.0);
    }
    const auto channel = [](double value) {
        return static_cast<Argb>(std::lround(std::clamp(value, 0.0, 1.0) * 255.0));
    };
    return alpha | (channel(red) << 16) | (channel(green) << 8) | channel(blue);
}

std::optional<int> ParseIndex(const std::string* text) {
    if (text == nullptr) {
        return std::nullopt;
    }
    int value = 0;
    const auto [end, error] = std::from_chars(text->data(), text->data() + text->size(), value);
    if (error != std::errc() || end != text->data() + text->size() || value < 0) {
        return std::nullopt;
    }
    return value;
}

double ParseTint(const std::string* text) {
    if (text == nullptr) {
        return 0.0;
    }
    char* end = nullptr;
    const double tint = std::strtod(text->c_str(), &end);
    if (end == text->c_str() || !std::isfinite(tint)) {
        return 0.0;
    }
    return std::clamp(tint, -1.0, 1.0);
}

} // namespace

std::optional<Argb> ParseArgb(std::string_view text) {
    if (text.size() != 8 && text.size() != 6) {
        return std::nullopt;
    }
    Argb value = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value, 16);
    if (error != std::errc() || end != text.data() + text.size()) {
        return std::nullopt;
    }
    return text.size() == 6 ? (kOpaque | value) : value;
}

std::string FormatArgb(Argb color) {
    static constexpr char kDigits[] = "0123456789ABCDEF";
    std::string text(8, '0');
    for (int position = 7; position >= 0; --position) {
        text[static_cast<std::size_t>(position)] = kDigits[color & 0xF];
        color >>= 4;
    }
    return text;
}

const std::array<Argb, kIndexedPaletteSize>& DefaultIndexedPalette() {
    static const std::array<Argb, kIndexedPaletteSize> palette = {
        0xFF000000, 0xFFFFFFFF, 0xFFFF0000, 0xFF00FF00, 0xFF0000FF, 0xFFFFFF00, 0xFFFF00FF,
        0xFF00FFFF, 0xFF000000, 0xFFFFFFFF, 0xFFFF0000, 0xFF00FF00, 0xFF0000FF, 0xFFFFFF00,
        0xFFFF00FF, 0xFF00FFFF, 0xFF800000, 0xFF008000, 0xFF000080, 0xFF808000, 0xFF800080,
        0xFF008080, 0xFFC0C0C0, 0xFF808080, 0xFF9999FF, 0xFF993366, 0xFFFFFFCC, 0xFFCCFFFF,
        0xFF660066, 0xFFFF8080, 0xFF0066CC, 0xFFCCCCFF, 0xFF000080, 0xFFFF00FF, 0xFFFFFF00,
        0xFF00FFFF, 0xFF800080, 0xFF800000, 0xFF008080, 0xFF0000FF, 0xFF00CCFF, 0xFFCCFFFF,
        0xFFCCFFCC, 0xFFFFFF99, 0xFF99CCFF, 0xFFFF99CC, 0xFFCC99FF, 0xFFFFCC99, 0xFF3366FF,
        0xFF33CCCC, 0xFF99CC00, 0xFFFFCC00, 0xFFFF9900, 0xFFFF6600, 0xFF666699, 0xFF969696,
        0xFF003366, 0xFF339966, 0xFF003300, 0xFF333300, 0xFF993300, 0xFF993366, 0xFF333399,
        0xFF333333,
    };
    return palette;
}

bool IsDefaultIndexedPalette(const std::vector<Argb>& palette) {
    const auto& defaults = DefaultIndexedPalette();
    // A palette shorter than the default leaves the remaining entries at their defaults; alpha is
    // not part of what the palette means.
    for (std::size_t index = 0; index < palette.size() && index < defaults.size(); ++index) {
        if ((palette[index] & 0xFFFFFFu) != (defaults[index] & 0xFFFFFFu)) {
            return false;
        }
    }
    return true;
}

Argb ApplyTint(Argb color, double tint) {
    if (tint == 0.0) {
        return color;
    }
    Hsl hsl = ToHsl(color);
    if (tint < 0.0) {
        hsl.luminance = hsl.luminance * (1.0 + tint);
    } else {
        hsl.luminance = hsl.luminance * (1.0 - tint) + tint;
    }
    return FromHsl(hsl, color & kOpaque);
}

ColorResolver::ColorResolver(std::optional<ThemeColors> sourceThemeColors,
                             std::optional<std::vector<Argb>> sourcePalette)
    : themeColors_(std::move(sourceThemeColors)), palette_(std::move(sourcePalette)) {}

std::optional<Argb> ColorResolver::resolve(const std::string* theme, const std::string* indexed,
                                           const std::string* tint) const {
    std::optional<Argb> base;
    if (theme != nullptr && themeColors_) {
        const auto index = ParseIndex(theme);
        if (index && static_cast<std::size_t>(*index) < kThemeColorCount) {
            base = (*themeColors_)[static_cast<std::size_t>(*index)];
        }
    } else if (indexed != nullptr && palette_) {
        const auto index = ParseIndex(indexed);
        if (index && *index < static_cast<int>(kIndexedPaletteSize)) {
            const auto position = static_cast<std::size_t>(*index);
            base = position < palette_->size() ? (*palette_)[position]
                                               : DefaultIndexedPalette()[position];
        }
    }
    if (!base) {
        return std::nullopt;
    }
    return ApplyTint(*base | kOpaque, ParseTint(tint));
}

bool IsColorElementName(std::string_view localName) {
    return localName.find("olor") != std::string_view::npos;
}

namespace {

struct ScannedAttribute {
    std::string_view name;
    std::string value; // raw, still escaped as written (colour attributes hold no entities)
};

std::string_view LocalPart(std::string_view qualified) {
    const auto colon = qualified.find(':');
    return colon == std::string_view::npos ? qualified : qualified.substr(colon + 1);
}

const std::string* FindScanned(const std::vector<ScannedAttribute>& attributes,
                               std::string_view name) {
    for (const auto& attribute : attributes) {
        if (attribute.name == name) {
            return &attribute.value;
        }
    }
    return nullptr;
}

bool IsSpace(char c) {
    return c == ' ' || c == '\t' || c == '\r' || c == '\n';
}

// A start tag split into its parts; nullopt when the text at position is not one.
struct StartTag {
    std::string_view name;
    std::vector<ScannedAttribute> attributes;
    std::vector<char> quotes;
    bool selfClosing = false;
    std::size_t end = 0; // one past '>'
};

std::optional<StartTag> ScanStartTag(std::string_view xml, std::size_t position) {
    StartTag tag;
    std::size_t cursor = position + 1;
    const std::size_t nameStart = cursor;
    while (cursor < xml.size() && !IsSpace(xml[cursor]) && xml[cursor] != '>' &&
           xml[cursor] != '/') {
        ++cursor;
    }
    tag.name = xml.substr(nameStart, cursor - nameStart);
    if (tag.name.empty()) {
        return std::nullopt;
    }
    while (cursor < xml.size()) {
        while (cursor < xml.size() && IsSpace(xml[cursor])) {
            ++cursor;
        }
        if (cursor >= xml.size()) {
            return std::nullopt;
        }
        if (xml[cursor] == '>') {
            tag.end = cursor + 1;
            return tag;
        }
        if (xml[cursor] == '/') {
            if (cursor + 1 < xml.size() && xml[cursor + 1] == '>') {
                tag.selfClosing = true;
                tag.end = cursor + 2;
                return tag;
            }
            return std::nullopt;
        }
        const std::size_t attributeStart = cursor;
        while (cursor < xml.size() && xml[cursor] != '=' && !IsSpace(xml[cursor])) {
            ++cursor;
        }
        const auto attributeName = xml.substr(attributeStart, cursor - attributeStart);
        while (cursor < xml.size() && IsSpace(xml[cursor])) {
            ++cursor;
        }
        if (cursor >= xml.size() || xml[cursor] != '=') {
            return std::nullopt;
        }
        ++cursor;
        while (cursor < xml.size() && IsSpace(xml[cursor])) {
            ++cursor;
        }
        if (cursor >= xml.size() || (xml[cursor] != '"' && xml[cursor] != '\'')) {
            return std::nullopt;
        }
        const char quote = xml[cursor++];
        const std::size_t valueEnd = xml.find(quote, cursor);
        if (valueEnd == std::string_view::npos) {
            return std::nullopt;
        }
        tag.attributes.push_back(
            {attributeName, std::string(xml.substr(cursor, valueEnd - cursor))});
        tag.quotes.push_back(quote);
        cursor = valueEnd + 1;
    }
    return std::nullopt;
}

void WriteStartTag(std::string& out, const StartTag& tag) {
    out += '<';
    out += tag.name;
    for (std::size_t index = 0; index < tag.attributes.size(); ++index) {
        out += ' ';
        out += tag.attributes[index].name;
        out += '=';
        out += tag.quotes[index];
        out += tag.attributes[index].value;
        out += tag.quotes[index];
    }
    out += tag.selfClosing ? "/>" : ">";
}

// Applies the colour rules to one tag; true when it changed.
bool ResolveColorTag(StartTag& tag, const ColorResolver& colors) {
    const auto fixed =
        colors.resolve(FindScanned(tag.attributes, "theme"), FindScanned(tag.attributes, "indexed"),
                       FindScanned(tag.attributes, "tint"));
    if (!fixed) {
        return false;
    }
    std::erase_if(tag.attributes, [](const ScannedAttribute& attribute) {
        return attribute.name == "theme" || attribute.name == "indexed" ||
               attribute.name == "tint" || attribute.name == "rgb";
    });
    tag.attributes.push_back({"rgb", FormatArgb(*fixed)});
    tag.quotes.assign(tag.attributes.size(), '"');
    return true;
}

} // namespace

std::string TranslateFragment(std::string_view xml, const FragmentRules& rules) {
    const bool colors = rules.colors != nullptr && rules.colors->active();
    const bool scheme = rules.dropFontScheme && xml.find("scheme") != std::string_view::npos;
    const bool phonetic = rules.phoneticFontId && xml.find("phoneticPr") != std::string_view::npos;
    if (!colors && !scheme && !phonetic) {
        return std::string(xml);
    }

    std::string out;
    out.reserve(xml.size());
    std::vector<std::string_view> open; // local names of open elements
    std::size_t position = 0;
    while (position < xml.size()) {
        const std::size_t tagStart = xml.find('<', position);
        if (tagStart == std::string_view::npos) {
            out.append(xml.substr(position));
            break;
        }
        out.append(xml.substr(position, tagStart - position));
        const auto rest = xml.substr(tagStart);
        const auto copyThrough = [&](std::string_view terminator) {
            const std::size_t end = xml.find(terminator, tagStart);
            const std::size_t stop =
                end == std::string_view::npos ? xml.size() : end + terminator.size();
            out.append(xml.substr(tagStart, stop - tagStart));
            position = stop;
        };
        if (rest.starts_with("<!--")) {
            copyThrough("-->");
            continue;
        }
        if (rest.starts_with("<![CDATA[")) {
            copyThrough("]]>");
            continue;
        }
        if (rest.starts_with("<?") || rest.starts_with("<!")) {
            copyThrough(">");
            continue;
        }
        if (rest.starts_with("</")) {
            if (!open.empty()) {
                open.pop_back();
            }
            copyThrough(">");
            continue;
        }
        auto tag = ScanStartTag(xml, tagStart);
        if (!tag) {
            // Not a tag we understand: keep the rest as written.
            out.append(rest);
            break;
        }
        const auto local = LocalPart(tag->name);
        const auto parent = open.empty() ? std::string_view() : open.back();
        if (scheme && local == "scheme" && (parent == "rPr" || parent == "font")) {
            position = tag->end;
            if (!tag->selfClosing) {
                const std::size_t close = xml.find('>', xml.find("</", position));
                position = close == std::string_view::npos ? xml.size() : close + 1;
            }
            continue;
        }
        bool changed = false;
        if (colors && IsColorElementName(local)) {
            changed = ResolveColorTag(*tag, *rules.colors);
        } else if (phonetic && local == "phoneticPr") {
            for (auto& attribute : tag->attributes) {
                if (attribute.name == "fontId") {
                    const auto index = ParseIndex(&attribute.value);
                    attribute.value = std::to_string(rules.phoneticFontId(index ? *index : 0));
                    changed = true;
                }
            }
        }
        if (changed) {
            WriteStartTag(out, *tag);
        } else {
            out.append(xml.substr(tagStart, tag->end - tagStart));
        }
        if (!tag->selfClosing) {
            open.push_back(local);
        }
        position = tag->end;
    }
    return out;
}

} // namespace quillory::spreadsheet::ooxml
