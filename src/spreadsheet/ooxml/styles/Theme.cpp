#include "spreadsheet/ooxml/styles/Theme.h"

#include "spreadsheet/ooxml/styles/StyleXml.h"

#include <algorithm>
#include <array>
#include <cmath>

namespace quillory::spreadsheet::ooxml {

namespace {

constexpr std::string_view kThemePartName = "xl/theme/theme1.xml";

// The default theme: the colours and fonts a workbook without a theme part is drawn with.
constexpr std::string_view kDefaultThemeXml =
    R"(<?xml version="1.0" encoding="UTF-8" standalone="yes"?>
<a:theme xmlns:a="http://schemas.openxmlformats.org/drawingml/2006/main" name="Default">)"
    R"(<a:themeElements><a:clrScheme name="Default">)"
    R"(<a:dk1><a:sysClr val="windowText" lastClr="000000"/></a:dk1>)"
    R"(<a:lt1><a:sysClr val="window" lastClr="FFFFFF"/></a:lt1>)"
    R"(<a:dk2><a:srgbClr val="1F497D"/></a:dk2><a:lt2><a:srgbClr val="EEECE1"/></a:lt2>)"
    R"(<a:accent1><a:srgbClr val="4F81BD"/></a:accent1>)"
    R"(<a:accent2><a:srgbClr val="C0504D"/></a:accent2>)"
    R"(<a:accent3><a:srgbClr val="9BBB59"/></a:accent3>)"
    R"(<a:accent4><a:srgbClr val="8064A2"/></a:accent4>)"
    R"(<a:accent5><a:srgbClr val="4BACC6"/></a:accent5>)"
    R"(<a:accent6><a:srgbClr val="F79646"/></a:accent6>)"
    R"(<a:hlink><a:srgbClr val="0000FF"/></a:hlink>)"
    R"(<a:folHlink><a:srgbClr val="800080"/></a:folHlink></a:clrScheme>)"
    R"(<a:fontScheme name="Default">)"
    R"(<a:majorFont><a:latin typeface="Cambria"/><a:ea typeface=""/><a:cs typeface=""/>)"
    R"(</a:majorFont>)"
    R"(<a:minorFont><a:latin typeface="Calibri"/><a:ea typeface=""/><a:cs typeface=""/>)"
    R"(</a:minorFont></a:fontScheme>)"
    R"(<a:fmtScheme name="Default"><a:fillStyleLst>)"
    R"(<a:solidFill><a:schemeClr val="phClr"/></a:solidFill>)"
    R"(<a:solidFill><a:schemeClr val="phClr"><a:tint val="50000"/></a:schemeClr></a:solidFill>)"
    R"(<a:solidFill><a:schemeClr val="phClr"><a:shade val="80000"/></a:schemeClr></a:solidFill>)"
    R"(</a:fillStyleLst><a:lnStyleLst>)"
    R"(<a:ln w="9525" cap="flat" cmpd="sng" algn="ctr"><a:solidFill><a:schemeClr val="phClr">)"
    R"(<a:shade val="95000"/></a:schemeClr></a:solidFill><a:prstDash val="solid"/></a:ln>)"
    R"(<a:ln w="25400" cap="flat" cmpd="sng" algn="ctr"><a:solidFill><a:schemeClr val="phClr"/>)"
    R"(</a:solidFill><a:prstDash val="solid"/></a:ln>)"
    R"(<a:ln w="38100" cap="flat" cmpd="sng" algn="ctr"><a:solidFill><a:schemeClr val="phClr"/>)"
    R"(</a:solidFill><a:prstDash val="solid"/></a:ln>)"
    R"(</a:lnStyleLst><a:effectStyleLst>)"
    R"(<a:effectStyle><a:effectLst/></a:effectStyle><a:effectStyle><a:effectLst/></a:effectStyle>)"
    R"(<a:effectStyle><a:effectLst/></a:effectStyle>)"
    R"(</a:effectStyleLst><a:bgFillStyleLst>)"
    R"(<a:solidFill><a:schemeClr val="phClr"/></a:solidFill>)"
    R"(<a:solidFill><a:schemeClr val="phClr"><a:tint val="95000"/></a:schemeClr></a:solidFill>)"
    R"(<a:solidFill><a:schemeClr val="phClr"><a:shade val="90000"/></a:schemeClr></a:solidFill>)"
    R"(</a:bgFillStyleLst></a:fmtScheme></a:themeElements>)"
    R"(<a:objectDefaults/><a:extraClrSchemeLst/></a:theme>)";

// Scheme slots in the order theme="n" counts them.
constexpr std::array<std::string_view, kThemeColorCount> kSlotsBySpreadsheetIndex = {
    "lt1",     "dk1",     "lt2",     "dk2",     "accent1", "accent2",
    "accent3", "accent4", "accent5", "accent6", "hlink",   "folHlink"};

const XmlElement* FindDescendant(const XmlElement& element, std::string_view local) {
    for (const auto& child : element.children) {
        if (child.name.local == local) {
            return &child;
        }
        if (const XmlElement* found = FindDescendant(child, local)) {
            return found;
        }
    }
    return nullptr;
}

// scRGB components are linear light in thousandths of a percent.
Argb FromScRgb(const XmlElement& color) {
    const auto channel = [&](std::string_view name) -> Argb {
        const double linear = std::clamp(color.intAttribute(name).value_or(0) / 100000.0, 0.0, 1.0);
        const double encoded =
            linear <= 0.0031308 ? 12.92 * linear : 1.055 * std::pow(linear, 1.0 / 2.4) - 0.055;
        return static_cast<Argb>(std::lround(encoded * 255.0));
    };
    return 0xFF000000u | (channel("r") << 16) | (channel("g") << 8) | channel("b");
}

std::optional<Argb> SchemeColor(const XmlElement& slot) {
    for (const auto& color : slot.children) {
        const auto& kind = color.name.local;
        if (kind == "srgbClr") {
            if (const auto* value = color.attribute("val")) {
                return ParseArgb(*value);
            }
        } else if (kind == "sysClr") {
            if (const auto* last = color.attribute("lastClr")) {
                if (auto parsed = ParseArgb(*last)) {
                    return parsed;
                }
            }
            const auto* value = color.attribute("val");
            if (value != nullptr && *value == "window") {
                return 0xFFFFFFFFu;
            }
            return 0xFF000000u;
        } else if (kind == "scrgbClr") {
            return FromScRgb(color);
        }
    }
    return std::nullopt;
}

ThemeFonts ReadFonts(const XmlElement* font) {
    ThemeFonts fonts;
    if (font == nullptr) {
        return fonts;
    }
    const auto typeface = [&](std::string_view local) {
        const XmlElement* element = font->child(local);
        const std::string* value = element ? element->attribute("typeface") : nullptr;
        return value ? *value : std::string();
    };
    fonts.latin = typeface("latin");
    fonts.eastAsian = typeface("ea");
    fonts.complexScript = typeface("cs");
    return fonts;
}

} // namespace

Theme Theme::parse(std::string_view themeXml, const std::string& fileName) {
    const XmlElement root = ParseXmlTree(themeXml, fileName, kThemePartName);
    Theme theme = builtinDefault();
    theme.xml_ = std::string(themeXml);
    if (const XmlElement* scheme = FindDescendant(root, "clrScheme")) {
        for (std::size_t index = 0; index < kThemeColorCount; ++index) {
            if (const XmlElement* slot = scheme->child(kSlotsBySpreadsheetIndex[index])) {
                if (const auto color = SchemeColor(*slot)) {
                    theme.colors_[index] = *color;
                }
            }
        }
    }
    if (const XmlElement* fonts = FindDescendant(root, "fontScheme")) {
        theme.major_ = ReadFonts(fonts->child("majorFont"));
        theme.minor_ = ReadFonts(fonts->child("minorFont"));
    }
    return theme;
}

Theme Theme::builtinDefault() {
    static const Theme defaults = [] {
        Theme theme;
        theme.xml_ = std::string(kDefaultThemeXml);
        theme.colors_ = {0xFFFFFFFF, 0xFF000000, 0xFFEEECE1, 0xFF1F497D, 0xFF4F81BD, 0xFFC0504D,
                         0xFF9BBB59, 0xFF8064A2, 0xFF4BACC6, 0xFFF79646, 0xFF0000FF, 0xFF800080};
        theme.major_ = {"Cambria", "", ""};
        theme.minor_ = {"Calibri", "", ""};
        return theme;
    }();
    return defaults;
}

bool Theme::equivalentTo(const Theme& other) const {
    for (std::size_t index = 0; index < kThemeColorCount; ++index) {
        if ((colors_[index] & 0xFFFFFFu) != (other.colors_[index] & 0xFFFFFFu)) {
            return false;
        }
    }
    return major_ == other.major_ && minor_ == other.minor_;
}

} // namespace quillory::spreadsheet::ooxml
