#pragma once
// [Content_Types].xml: reading a source's (Override by part name, else Default by extension,
// both compared without regard to case) and writing the result's.

#include <map>
#include <string>
#include <string_view>
#include <vector>

namespace quillory::spreadsheet::ooxml {

// The package's list of content types, and the namespace it is written in.
inline constexpr std::string_view kContentTypesPartName = "[Content_Types].xml";
inline constexpr std::string_view kContentTypesNamespace =
    "http://schemas.openxmlformats.org/package/2006/content-types";

namespace content_type {
inline constexpr std::string_view kRelationships =
    "application/vnd.openxmlformats-package.relationships+xml";
inline constexpr std::string_view kXml = "application/xml";
inline constexpr std::string_view kWorkbook =
    "application/vnd.openxmlformats-officedocument.spreadsheetml.sheet.main+xml";
inline constexpr std::string_view kWorkbookMacro =
    "application/vnd.ms-excel.sheet.macroEnabled.main+xml";
inline constexpr std::string_view kTemplate =
    "application/vnd.openxmlformats-officedocument.spreadsheetml.template.main+xml";
inline constexpr std::string_view kTemplateMacro =
    "application/vnd.ms-excel.template.macroEnabled.main+xml";
inline constexpr std::string_view kBinaryWorkbook =
    "application/vnd.ms-excel.sheet.binary.macroEnabled.main";
inline constexpr std::string_view kWorksheet =
    "application/vnd.openxmlformats-officedocument.spreadsheetml.worksheet+xml";
inline constexpr std::string_view kChartsheet =
    "application/vnd.openxmlformats-officedocument.spreadsheetml.chartsheet+xml";
inline constexpr std::string_view kDialogsheet =
    "application/vnd.openxmlformats-officedocument.spreadsheetml.dialogsheet+xml";
inline constexpr std::string_view kMacrosheet = "application/vnd.ms-excel.macrosheet+xml";
inline constexpr std::string_view kIntlMacrosheet = "application/vnd.ms-excel.intlmacrosheet+xml";
inline constexpr std::string_view kStyles =
    "application/vnd.openxmlformats-officedocument.spreadsheetml.styles+xml";
inline constexpr std::string_view kSharedStrings =
    "application/vnd.openxmlformats-officedocument.spreadsheetml.sharedStrings+xml";
inline constexpr std::string_view kTheme =
    "application/vnd.openxmlformats-officedocument.theme+xml";
inline constexpr std::string_view kDrawing =
    "application/vnd.openxmlformats-officedocument.drawing+xml";
inline constexpr std::string_view kTable =
    "application/vnd.openxmlformats-officedocument.spreadsheetml.table+xml";
inline constexpr std::string_view kPrinterSettings =
    "application/vnd.openxmlformats-officedocument.spreadsheetml.printerSettings";
inline constexpr std::string_view kCoreProperties =
    "application/vnd.openxmlformats-package.core-properties+xml";
inline constexpr std::string_view kExtendedProperties =
    "application/vnd.openxmlformats-officedocument.extended-properties+xml";
} // namespace content_type

class ContentTypes {
public:
    static ContentTypes Parse(std::string_view xml, const std::string& fileName);

    // The content type of a part name (no leading '/'); empty when none applies.
    std::string typeOf(std::string_view partName) const;

private:
    std::map<std::string, std::string> defaults_;  // folded extension -> type
    std::map<std::string, std::string> overrides_; // folded part name -> type
};

// Builds the result's [Content_Types].xml.
class ContentTypesWriter {
public:
    ContentTypesWriter();
    void addDefault(std::string_view extension, std::string_view type);
    void addOverride(std::string_view partName, std::string_view type);
    std::string toXml() const;

private:
    std::vector<std::pair<std::string, std::string>> defaults_;
    std::vector<std::pair<std::string, std::string>> overrides_;
};

} // namespace quillory::spreadsheet::ooxml
