#pragma once
// A workbook's theme part: the colours and fonts that theme references in styles resolve
// against, and the bytes written as the result's theme.

#include "spreadsheet/ooxml/styles/Colors.h"

#include <string>
#include <string_view>

namespace quillory::spreadsheet::ooxml {

struct ThemeFonts {
    std::string latin;
    std::string eastAsian;
    std::string complexScript;
    bool operator==(const ThemeFonts&) const = default;
};

class Theme {
public:
    // The xl/theme/theme1.xml part. Colours the part does not define keep the default theme's.
    static Theme parse(std::string_view themeXml, const std::string& fileName = {});
    // The default office theme (Calibri / Cambria, blue accent), with its XML.
    static Theme builtinDefault();

    const std::string& xml() const { return xml_; }
    // True when colours and fonts are the same, so theme references keep their meaning.
    bool equivalentTo(const Theme& other) const;

    // Colours in the order SpreadsheetML's theme="n" counts them: lt1, dk1, lt2, dk2,
    // accent1..6, hlink, folHlink.
    const ThemeColors& spreadsheetColors() const { return colors_; }
    const ThemeFonts& majorFont() const { return major_; }
    const ThemeFonts& minorFont() const { return minor_; }

private:
    std::string xml_;
    ThemeColors colors_{};
    ThemeFonts major_;
    ThemeFonts minor_;
};

} // namespace quillory::spreadsheet::ooxml
