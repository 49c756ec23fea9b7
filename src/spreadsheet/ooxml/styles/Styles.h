#pragma once
// Styles of the source workbooks and of the result. A source's cell formats, differential formats
// and custom table styles are imported into the result on first use, together with everything
// they refer to, and deduplicated by content across all sources.

#include "spreadsheet/ooxml/styles/Colors.h"
#include "spreadsheet/ooxml/styles/NumberFormats.h"
#include "spreadsheet/ooxml/styles/StyleXml.h"
#include "spreadsheet/ooxml/styles/Theme.h"

#include <cstddef>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <utility>
#include <vector>

namespace quillory::spreadsheet::ooxml {

// The most cell formats a workbook can hold (the format allows a little more; this keeps a
// margin for what the receiving program adds).
inline constexpr std::size_t kMaxCellFormats = 64'000;
inline constexpr std::string_view kStylesPartName = "xl/styles.xml";

// One source workbook's styles part, parsed.
class SourceStyles {
public:
    static SourceStyles parse(std::string_view stylesXml, const std::string& fileName);
    // A package without a styles part: the defaults every reader assumes.
    static SourceStyles empty(const std::string& fileName = {});

    std::size_t cellXfCount() const { return cellXfs_.size(); }
    std::size_t dxfCount() const { return dxfs_.size(); }
    std::size_t fontCount() const { return fonts_.size(); }
    const std::string& fileName() const { return fileName_; }
    // The custom <indexedColors> palette, or empty when the workbook uses the default one.
    const std::vector<Argb>& indexedPalette() const { return palette_; }
    // True when cells with this cell format show a calendar date (their serial numbers depend on
    // the date system); false for an index out of range.
    bool cellXfShowsDate(int cellXfIndex) const;

private:
    friend class ResultStyles;

    struct NamedStyle {
        std::string name;
        int xfId = 0;
        XmlElement element; // the <cellStyle> as written
    };

    void fillMissingDefaults();
    const std::string* numberFormatCode(int id) const;

    std::string fileName_;
    std::unordered_map<int, std::string> numberFormats_;
    std::vector<XmlElement> fonts_;
    std::vector<XmlElement> fills_;
    std::vector<XmlElement> borders_;
    std::vector<XmlElement> cellStyleXfs_;
    std::vector<XmlElement> cellXfs_;
    std::vector<NamedStyle> cellStyles_;
    std::vector<XmlElement> dxfs_;
    std::vector<XmlElement> tableStyles_;
    std::string defaultTableStyle_;
    std::string defaultPivotStyle_;
    std::vector<Argb> palette_;
    // From the extension list: the differential formats slicer and timeline styles use, and the
    // slicer- and timeline-specific parts of custom styles.
    std::vector<XmlElement> extensionDxfs_;
    std::vector<XmlElement> slicerStyles_;
    std::vector<XmlElement> timelineStyles_;
    std::string defaultSlicerStyle_;
    std::string defaultTimelineStyle_;
};

// The result's styles part, built up by content.
class ResultStyles {
public:
    explicit ResultStyles(const Theme& resultTheme);
    ~ResultStyles();
    ResultStyles(const ResultStyles&) = delete;
    ResultStyles& operator=(const ResultStyles&) = delete;

    // One per source workbook; maps its indexes into the result. The first importer made gives
    // the result its Normal style and its default cell format (index 0).
    class Importer {
    public:
        // c/@s, row/@s, col/@style; imports on first use, then a vector lookup.
        int cellXf(int sourceIndex);
        // cfRule/@dxfId, table and table-style dxf ids, sort and filter conditions.
        int dxf(int sourceIndex);
        // A font index outside a cell format (phoneticPr/@fontId).
        int font(int sourceIndex);
        // A custom table or pivot style used by a copied table: imported with its dxfs, renamed
        // when the result already holds a different style of that name. Built-in names pass.
        std::string tableStyle(const std::string& sourceName);
        // A custom slicer or timeline style of a copied view: its table style and its
        // slicer- or timeline-specific elements, imported with their dxfs and renamed when the
        // result holds a different style of that name; nullopt when the source lacks either.
        std::optional<std::string> filterStyle(const std::string& sourceName, bool timeline);
        // The style the source gives slicers or timelines that name none ("" when unset).
        const std::string& defaultFilterStyle(bool timeline) const {
            return timeline ? source_.defaultTimelineStyle_ : source_.defaultSlicerStyle_;
        }
        // Theme and indexed colours inside rich text or extension elements made fixed where the
        // source's theme or palette differs from the result's (font schemes dropped there);
        // the fragment unchanged otherwise.
        std::string translateColors(std::string_view xmlFragment);
        // What a copied <si> or <is> needs: translateColors plus phonetic font ids remapped.
        std::string richText(std::string_view xmlFragment);
        bool themeDiffers() const { return themeDiffers_; }
        // Named styles and table styles that got a new name in the result: {source, result}.
        const std::vector<std::pair<std::string, std::string>>& renamedStyles() const {
            return renamed_;
        }

    private:
        friend class ResultStyles;
        Importer(ResultStyles& result, const SourceStyles& source, bool themeDiffers,
                 ColorResolver colors);

        int fill(int sourceIndex);
        XmlElement dxfRecord(const XmlElement& sourceDxf);
        int extensionDxf(int sourceIndex);
        int border(int sourceIndex);
        int numberFormat(int sourceId);
        int namedStyle(int sourceIndex);
        void adoptAsBase();
        // A copy of a font/fill/border/dxf/xf with colours fixed and font schemes dropped.
        XmlElement translated(const XmlElement& record) const;
        XmlElement xfRecord(const XmlElement& sourceXf, int sourceIndex, bool cellXf);
        int mapReference(const XmlElement& xf, std::string_view attribute, const std::string& owner,
                         std::string_view what, std::size_t count, int (Importer::*map)(int));
        [[noreturn]] void throwOutOfRange(const std::string& what) const;

        ResultStyles& result_;
        const SourceStyles& source_;
        bool themeDiffers_;
        ColorResolver colors_;
        std::vector<int> cellXfs_;
        std::vector<int> dxfs_;
        std::vector<int> fonts_;
        std::vector<int> fills_;
        std::vector<int> borders_;
        std::vector<int> namedStyles_;
        std::unordered_map<int, int> numberFormats_;
        std::unordered_map<std::string, std::string> tableStyles_;
        std::vector<int> extensionDxfs_;
        std::unordered_map<std::string, std::optional<std::string>> filterStyles_;
        std::vector<std::pair<std::string, std::string>> renamed_;
    };

    // The returned importer keeps a reference to *this and to source; both outlive it.
    // sourceIndexedPalette (ARGB hex) overrides the palette found in the source's styles part.
    std::unique_ptr<Importer>
    importerFor(const SourceStyles& source, const Theme& sourceTheme,
                const std::vector<std::string>& sourceIndexedPalette = {});

    std::string toXml() const; // xl/styles.xml of the result

    std::size_t cellXfCount() const { return cellXfs_.records.size(); }
    std::size_t dxfCount() const { return dxfs_.records.size(); }
    std::size_t fontCount() const { return fonts_.records.size(); }

private:
    // Records of one kind, deduplicated by their canonical text.
    struct Table {
        std::vector<std::string> records;
        std::unordered_map<std::string, int> indexes;
        int add(std::string record);
        const int* find(const std::string& record) const;
        void clear();
    };
    struct NamedStyleEntry {
        std::string name;
        std::string key; // the style's cellStyleXf record
        int styleXf = 0;
    };
    struct TableStyleEntry {
        std::string name;
        std::string key; // the style without its name
    };
    struct FilterStyleEntry {
        std::string name;
        std::string key; // table style and extension elements, without the name
    };

    void checkFormatLimit(const std::string& fileName) const;
    void resetToDefaults();
    void clearForBase();
    int addNamedStyle(const std::string& wanted, const XmlElement& cellStyle, std::string record,
                      const std::string& fileName, std::string& resultName);
    std::string addTableStyle(const std::string& wanted, XmlElement style);
    std::string addFilterStyle(const std::string& wanted, XmlElement table, XmlElement extension,
                               bool timeline);

    Theme theme_;
    bool baseChosen_ = false;
    ResultNumberFormats numberFormats_;
    Table fonts_;
    Table fills_;
    Table borders_;
    Table cellXfs_;
    Table dxfs_;
    std::vector<std::string> cellStyleXfs_;
    std::vector<std::string> cellStyles_;
    std::vector<NamedStyleEntry> namedStyles_;
    std::unordered_map<std::string, std::size_t> namedStylesByFoldedName_;
    std::vector<std::string> tableStyleRecords_;
    std::vector<TableStyleEntry> tableStyles_;
    Table extensionDxfs_;
    std::vector<std::string> slicerStyleRecords_;
    std::vector<std::string> timelineStyleRecords_;
    std::vector<FilterStyleEntry> filterStyles_;
    std::string defaultTableStyle_;
    std::string defaultPivotStyle_;
};

} // namespace quillory::spreadsheet::ooxml
