#include "spreadsheet/ooxml/styles/Styles.h"

#include "spreadsheet/SpreadsheetError.h"
#include "spreadsheet/ooxml/PackageError.h"
#include "spreadsheet/ooxml/styles/StyleXml.h"

#include <algorithm>
#include <cctype>

namespace quillory::spreadsheet::ooxml {

namespace {

constexpr std::string_view kDefaultTableStyle = "TableStyleMedium2";
constexpr std::string_view kDefaultPivotStyle = "PivotStyleLight16";
constexpr std::string_view kNormalStyleName = "Normal";

constexpr std::string_view kNoFill = R"(<fill><patternFill patternType="none"/></fill>)";
constexpr std::string_view kGray125Fill = R"(<fill><patternFill patternType="gray125"/></fill>)";
constexpr std::string_view kEmptyBorder =
    "<border><left/><right/><top/><bottom/><diagonal/></border>";
constexpr std::string_view kDefaultStyleXf =
    R"(<xf borderId="0" fillId="0" fontId="0" numFmtId="0"/>)";
constexpr std::string_view kDefaultCellXf =
    R"(<xf borderId="0" fillId="0" fontId="0" numFmtId="0" xfId="0"/>)";
constexpr std::string_view kNormalCellStyle =
    R"(<cellStyle builtinId="0" name="Normal" xfId="0"/>)";

std::string DefaultFont(std::string_view face) {
    std::string font = R"(<font><sz val="11"/><color theme="1"/><name val=")";
    AppendEscapedAttribute(font, face.empty() ? "Calibri" : face);
    font += R"("/><family val="2"/><scheme val="minor"/></font>)";
    return font;
}

XmlElement ParseConstant(std::string_view xml) {
    std::string document = std::string(xml);
    // Constants are written without a namespace declaration; give them the main namespace.
    const auto nameEnd = document.find_first_of(" />", 1);
    document.insert(nameEnd, " xmlns=\"" + std::string(kSpreadsheetMainNs) + "\"");
    return ParseXmlTree(document, "", "");
}

std::string Folded(std::string_view text) {
    std::string folded(text);
    for (char& c : folded) {
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    }
    return folded;
}

void RemoveForeignAttributes(XmlElement& element) {
    // Extension attributes (revision uids and the like) say nothing about the look and would
    // keep equal records apart.
    std::erase_if(element.attributes, [](const XmlAttribute& attribute) {
        return !attribute.name.uri.empty() && attribute.name.uri != kXmlNs;
    });
}

void TranslateElement(XmlElement& element, const ColorResolver& colors, bool dropFontScheme) {
    if (colors.active() && IsColorElementName(element.name.local)) {
        const auto fixed = colors.resolve(element.attribute("theme"), element.attribute("indexed"),
                                          element.attribute("tint"));
        if (fixed) {
            for (const auto* name : {"theme", "indexed", "tint"}) {
                element.removeAttribute(name);
            }
            element.setAttribute("rgb", FormatArgb(*fixed));
        }
    }
    if (dropFontScheme && element.name.local == "font") {
        std::erase_if(element.children,
                      [](const XmlElement& child) { return child.name.local == "scheme"; });
    }
    for (auto& child : element.children) {
        TranslateElement(child, colors, dropFontScheme);
    }
}

// The styles extensions with the dxfs of slicer and timeline styles, and those styles.
constexpr std::string_view kExtensionDxfsUri = "{46F421CA-312F-682f-3DD2-61675219B42D}";
constexpr std::string_view kSlicerStylesUri = "{EB79DEF2-80B8-43e5-95BD-54CBDDF9020C}";
constexpr std::string_view kTimelineStylesUri = "{9260A510-F301-46a8-8635-F512D64BE5F5}";

// The records of a section in order. A record wrapped in mc:AlternateContent counts once, as its
// fallback (we understand none of the extensions a choice may require), or as its first choice
// when it has no fallback, so that the indexes the writer counted still line up.
std::vector<XmlElement*> Records(XmlElement& section) {
    std::vector<XmlElement*> records;
    for (auto& child : section.children) {
        if (child.name.uri != kMarkupCompatibilityNs) {
            records.push_back(&child);
            continue;
        }
        if (child.name.local != "AlternateContent") {
            continue;
        }
        XmlElement* chosen = child.child("Fallback");
        if (chosen == nullptr) {
            chosen = child.child("Choice");
        }
        if (chosen != nullptr) {
            for (auto& record : chosen->children) {
                records.push_back(&record);
            }
        }
    }
    return records;
}

void CollectChildren(XmlElement& section, std::string_view local, std::vector<XmlElement>& into) {
    for (XmlElement* child : Records(section)) {
        if (child->name.local == local) {
            into.push_back(std::move(*child));
        }
    }
}

void AppendSection(std::string& out, std::string_view name,
                   const std::vector<std::string>& records) {
    out += '<';
    out += name;
    out += " count=\"" + std::to_string(records.size()) + "\"";
    if (records.empty()) {
        out += "/>";
        return;
    }
    out += '>';
    for (const auto& record : records) {
        out += record;
    }
    out += "</";
    out += name;
    out += '>';
}

} // namespace

// ---------------------------------------------------------------------------------------------
// SourceStyles

SourceStyles SourceStyles::parse(std::string_view stylesXml, const std::string& fileName) {
    XmlElement root = ParseXmlTree(stylesXml, fileName, kStylesPartName);
    if (root.name.local != "styleSheet") {
        ThrowDamaged(ErrorCode::MalformedXml, fileName, kStylesPartName,
                     "the styles part does not start with a styleSheet element");
    }
    SourceStyles styles;
    styles.fileName_ = fileName;
    for (auto& section : root.children) {
        const auto& local = section.name.local;
        if (local == "numFmts") {
            for (const XmlElement* format : Records(section)) {
                const auto id = format->intAttribute("numFmtId");
                const std::string* code = format->attribute("formatCode");
                if (format->name.local == "numFmt" && id && code != nullptr) {
                    styles.numberFormats_[static_cast<int>(*id)] = *code;
                }
            }
        } else if (local == "fonts") {
            CollectChildren(section, "font", styles.fonts_);
        } else if (local == "fills") {
            CollectChildren(section, "fill", styles.fills_);
        } else if (local == "borders") {
            CollectChildren(section, "border", styles.borders_);
        } else if (local == "cellStyleXfs") {
            CollectChildren(section, "xf", styles.cellStyleXfs_);
        } else if (local == "cellXfs") {
            CollectChildren(section, "xf", styles.cellXfs_);
        } else if (local == "dxfs") {
            CollectChildren(section, "dxf", styles.dxfs_);
        } else if (local == "cellStyles") {
            for (XmlElement* record : Records(section)) {
                XmlElement& style = *record;
                if (style.name.local != "cellStyle") {
                    continue;
                }
                NamedStyle named;
                const std::string* name = style.attribute("name");
                named.name = name != nullptr ? *name : std::string();
                named.xfId = static_cast<int>(style.intAttribute("xfId").value_or(-1));
                named.element = std::move(style);
                styles.cellStyles_.push_back(std::move(named));
            }
        } else if (local == "tableStyles") {
            if (const std::string* name = section.attribute("defaultTableStyle")) {
                styles.defaultTableStyle_ = *name;
            }
            if (const std::string* name = section.attribute("defaultPivotStyle")) {
                styles.defaultPivotStyle_ = *name;
            }
            CollectChildren(section, "tableStyle", styles.tableStyles_);
        } else if (local == "extLst") {
            for (auto& ext : section.children) {
                const std::string uri = Folded(ext.attribute("uri") ? *ext.attribute("uri") : "");
                XmlElement* list = nullptr;
                if (uri == Folded(kExtensionDxfsUri) && (list = ext.child("dxfs"))) {
                    CollectChildren(*list, "dxf", styles.extensionDxfs_);
                } else if (uri == Folded(kSlicerStylesUri) && (list = ext.child("slicerStyles"))) {
                    CollectChildren(*list, "slicerStyle", styles.slicerStyles_);
                    if (const std::string* name = list->attribute("defaultSlicerStyle")) {
                        styles.defaultSlicerStyle_ = *name;
                    }
                } else if (uri == Folded(kTimelineStylesUri) &&
                           (list = ext.child("timelineStyles"))) {
                    CollectChildren(*list, "timelineStyle", styles.timelineStyles_);
                    if (const std::string* name = list->attribute("defaultTimelineStyle")) {
                        styles.defaultTimelineStyle_ = *name;
                    }
                }
            }
        } else if (local == "colors") {
            if (const XmlElement* indexed = section.child("indexedColors")) {
                const auto& defaults = DefaultIndexedPalette();
                for (const auto& color : indexed->children) {
                    if (styles.palette_.size() == kIndexedPaletteSize) {
                        break;
                    }
                    const std::string* rgb = color.attribute("rgb");
                    const auto parsed = rgb != nullptr ? ParseArgb(*rgb) : std::nullopt;
                    styles.palette_.push_back(parsed.value_or(defaults[styles.palette_.size()]));
                }
            }
        }
    }
    styles.fillMissingDefaults();
    return styles;
}

SourceStyles SourceStyles::empty(const std::string& fileName) {
    SourceStyles styles;
    styles.fileName_ = fileName;
    styles.fillMissingDefaults();
    return styles;
}

void SourceStyles::fillMissingDefaults() {
    // What a reader assumes for a section a writer left out.
    if (fonts_.empty()) {
        fonts_.push_back(ParseConstant(DefaultFont("Calibri")));
    }
    if (fills_.empty()) {
        fills_.push_back(ParseConstant(kNoFill));
        fills_.push_back(ParseConstant(kGray125Fill));
    }
    if (borders_.empty()) {
        borders_.push_back(ParseConstant(kEmptyBorder));
    }
    if (cellStyleXfs_.empty()) {
        cellStyleXfs_.push_back(ParseConstant(kDefaultStyleXf));
    }
    if (cellXfs_.empty()) {
        cellXfs_.push_back(ParseConstant(kDefaultCellXf));
    }
}

const std::string* SourceStyles::numberFormatCode(int id) const {
    const auto found = numberFormats_.find(id);
    return found == numberFormats_.end() ? nullptr : &found->second;
}

bool SourceStyles::cellXfShowsDate(int cellXfIndex) const {
    if (cellXfIndex < 0 || static_cast<std::size_t>(cellXfIndex) >= cellXfs_.size()) {
        return false;
    }
    const int id = static_cast<int>(
        cellXfs_[static_cast<std::size_t>(cellXfIndex)].intAttribute("numFmtId").value_or(0));
    const std::string* code = numberFormatCode(id);
    return ShowsCalendarDate(id, code != nullptr ? std::string_view(*code) : std::string_view());
}

// ---------------------------------------------------------------------------------------------
// ResultStyles

int ResultStyles::Table::add(std::string record) {
    const auto [found, inserted] = indexes.try_emplace(record, static_cast<int>(records.size()));
    if (inserted) {
        records.push_back(std::move(record));
    }
    return found->second;
}

const int* ResultStyles::Table::find(const std::string& record) const {
    const auto found = indexes.find(record);
    return found == indexes.end() ? nullptr : &found->second;
}

void ResultStyles::Table::clear() {
    records.clear();
    indexes.clear();
}

ResultStyles::ResultStyles(const Theme& resultTheme) : theme_(resultTheme) {
    resetToDefaults();
}

ResultStyles::~ResultStyles() = default;

void ResultStyles::clearForBase() {
    numberFormats_ = ResultNumberFormats();
    fonts_.clear();
    fills_.clear();
    // Readers treat the first two fills as reserved: they stay, whatever the sources hold.
    fills_.add(std::string(kNoFill));
    fills_.add(std::string(kGray125Fill));
    borders_.clear();
    cellXfs_.clear();
    dxfs_.clear();
    cellStyleXfs_.clear();
    cellStyles_.clear();
    namedStyles_.clear();
    namedStylesByFoldedName_.clear();
    tableStyleRecords_.clear();
    tableStyles_.clear();
    extensionDxfs_.clear();
    slicerStyleRecords_.clear();
    timelineStyleRecords_.clear();
    filterStyles_.clear();
    defaultTableStyle_ = kDefaultTableStyle;
    defaultPivotStyle_ = kDefaultPivotStyle;
}

void ResultStyles::resetToDefaults() {
    clearForBase();
    fonts_.add(DefaultFont(theme_.minorFont().latin));
    borders_.add(std::string(kEmptyBorder));
    cellXfs_.add(std::string(kDefaultCellXf));
    cellStyleXfs_.emplace_back(kDefaultStyleXf);
    cellStyles_.emplace_back(kNormalCellStyle);
    namedStyles_.push_back({std::string(kNormalStyleName), std::string(kDefaultStyleXf), 0});
    namedStylesByFoldedName_.emplace(Folded(kNormalStyleName), 0);
}

void ResultStyles::checkFormatLimit(const std::string& fileName) const {
    if (cellXfs_.records.size() + cellStyleXfs_.size() >= kMaxCellFormats) {
        throw SpreadsheetError(
            ErrorCode::LimitExceeded,
            "The merged workbook would need more than " + std::to_string(kMaxCellFormats) +
                " different cell formats, more than a workbook can hold (reached while copying "
                "from " +
                QuotedFile(fileName) + "). Merge fewer worksheets into one workbook.");
    }
}

std::unique_ptr<ResultStyles::Importer>
ResultStyles::importerFor(const SourceStyles& source, const Theme& sourceTheme,
                          const std::vector<std::string>& sourceIndexedPalette) {
    std::vector<Argb> palette = source.palette_;
    if (!sourceIndexedPalette.empty()) {
        palette.clear();
        const auto& defaults = DefaultIndexedPalette();
        for (const auto& text : sourceIndexedPalette) {
            if (palette.size() == kIndexedPaletteSize) {
                break;
            }
            palette.push_back(ParseArgb(text).value_or(defaults[palette.size()]));
        }
    }
    const bool themeDiffers = !sourceTheme.equivalentTo(theme_);
    std::optional<ThemeColors> themeColors;
    if (themeDiffers) {
        themeColors = sourceTheme.spreadsheetColors();
    }
    std::optional<std::vector<Argb>> customPalette;
    if (!palette.empty() && !IsDefaultIndexedPalette(palette)) {
        customPalette = std::move(palette);
    }
    std::unique_ptr<Importer> importer(
        new Importer(*this, source, themeDiffers,
                     ColorResolver(std::move(themeColors), std::move(customPalette))));
    if (!baseChosen_) {
        baseChosen_ = true;
        clearForBase();
        try {
            importer->adoptAsBase();
        } catch (...) {
            // A broken base leaves the result as it was: complete defaults, no base yet.
            baseChosen_ = false;
            resetToDefaults();
            throw;
        }
    }
    return importer;
}

int ResultStyles::addNamedStyle(const std::string& wanted, const XmlElement& cellStyle,
                                std::string record, const std::string& fileName,
                                std::string& resultName) {
    for (int attempt = 1;; ++attempt) {
        const std::string candidate =
            attempt == 1 ? wanted : wanted + " " + std::to_string(attempt);
        const auto found = namedStylesByFoldedName_.find(Folded(candidate));
        if (found != namedStylesByFoldedName_.end()) {
            const NamedStyleEntry& existing = namedStyles_[found->second];
            if (existing.key == record) {
                resultName = existing.name;
                return existing.styleXf;
            }
            continue;
        }
        checkFormatLimit(fileName);
        const int index = static_cast<int>(cellStyleXfs_.size());
        XmlElement style = cellStyle;
        RemoveForeignAttributes(style);
        style.setAttribute("name", candidate);
        style.setAttribute("xfId", std::to_string(index));
        if (attempt > 1) {
            // A renamed copy is no longer the built-in style of its original name.
            style.removeAttribute("builtinId");
            style.removeAttribute("customBuiltin");
        }
        cellStyleXfs_.push_back(record);
        cellStyles_.push_back(WriteXml(style, true));
        namedStylesByFoldedName_.emplace(Folded(candidate), namedStyles_.size());
        namedStyles_.push_back({candidate, std::move(record), index});
        resultName = candidate;
        return index;
    }
}

std::string ResultStyles::addTableStyle(const std::string& wanted, XmlElement style) {
    style.removeAttribute("name");
    style.setAttribute("count", std::to_string(style.children.size()));
    const std::string key = WriteXml(style, true);
    for (int attempt = 1;; ++attempt) {
        const std::string candidate =
            attempt == 1 ? wanted : wanted + " " + std::to_string(attempt);
        const auto found = std::find_if(
            tableStyles_.begin(), tableStyles_.end(),
            [&](const TableStyleEntry& entry) { return Folded(entry.name) == Folded(candidate); });
        if (found == tableStyles_.end()) {
            style.setAttribute("name", candidate);
            tableStyleRecords_.push_back(WriteXml(style, true));
            tableStyles_.push_back({candidate, key});
            return candidate;
        }
        if (found->key == key) {
            return found->name;
        }
    }
}

std::string ResultStyles::addFilterStyle(const std::string& wanted, XmlElement table,
                                         XmlElement extension, bool timeline) {
    table.removeAttribute("name");
    table.setAttribute("count", std::to_string(table.children.size()));
    extension.removeAttribute("name");
    const std::string tableKey = WriteXml(table, true);
    const std::string key =
        tableKey + (timeline ? "|timeline|" : "|slicer|") + WriteXml(extension, true);
    for (int attempt = 1;; ++attempt) {
        const std::string candidate =
            attempt == 1 ? wanted : wanted + " " + std::to_string(attempt);
        const auto sameName = [&](const auto& entry) {
            return Folded(entry.name) == Folded(candidate);
        };
        const auto tableFound = std::find_if(tableStyles_.begin(), tableStyles_.end(), sameName);
        const auto found = std::find_if(filterStyles_.begin(), filterStyles_.end(), sameName);
        if (found != filterStyles_.end() && found->key == key) {
            return found->name;
        }
        // The name also names the table style the slicer or timeline style extends.
        if (found == filterStyles_.end() && tableFound == tableStyles_.end()) {
            table.setAttribute("name", candidate);
            extension.setAttribute("name", candidate);
            tableStyleRecords_.push_back(WriteXml(table, true));
            tableStyles_.push_back({candidate, tableKey});
            (timeline ? timelineStyleRecords_ : slicerStyleRecords_)
                .push_back(WriteXml(extension, true));
            filterStyles_.push_back({candidate, key});
            return candidate;
        }
    }
}

std::string ResultStyles::toXml() const {
    std::string out = R"(<?xml version="1.0" encoding="UTF-8" standalone="yes"?>)"
                      "\n<styleSheet xmlns=\"";
    out += kSpreadsheetMainNs;
    out += "\">";
    const auto& customs = numberFormats_.customFormats();
    if (!customs.empty()) {
        out += "<numFmts count=\"" + std::to_string(customs.size()) + "\">";
        for (const auto& [id, code] : customs) {
            out += "<numFmt numFmtId=\"" + std::to_string(id) + "\" formatCode=\"";
            AppendEscapedAttribute(out, code);
            out += "\"/>";
        }
        out += "</numFmts>";
    }
    AppendSection(out, "fonts", fonts_.records);
    AppendSection(out, "fills", fills_.records);
    AppendSection(out, "borders", borders_.records);
    AppendSection(out, "cellStyleXfs", cellStyleXfs_);
    AppendSection(out, "cellXfs", cellXfs_.records);
    AppendSection(out, "cellStyles", cellStyles_);
    AppendSection(out, "dxfs", dxfs_.records);
    out += "<tableStyles count=\"" + std::to_string(tableStyleRecords_.size()) +
           "\" defaultTableStyle=\"";
    AppendEscapedAttribute(out, defaultTableStyle_);
    out += "\" defaultPivotStyle=\"";
    AppendEscapedAttribute(out, defaultPivotStyle_);
    out += '"';
    if (tableStyleRecords_.empty()) {
        out += "/>";
    } else {
        out += '>';
        for (const auto& record : tableStyleRecords_) {
            out += record;
        }
        out += "</tableStyles>";
    }
    if (!extensionDxfs_.records.empty() || !filterStyles_.empty()) {
        const auto list = [&](std::string_view uri, std::string_view ns, std::string_view prefix,
                              std::string_view element, std::string_view attribute,
                              const std::vector<std::string>& records) {
            out += "<ext uri=\"" + std::string(uri) + "\" xmlns:" + std::string(prefix) + "=\"" +
                   std::string(ns) + "\"><" + std::string(prefix) + ":" + std::string(element) +
                   " " + std::string(attribute) + ">";
            for (const auto& record : records) {
                out += record;
            }
            out += "</" + std::string(prefix) + ":" + std::string(element) + "></ext>";
        };
        out += "<extLst>";
        if (!extensionDxfs_.records.empty()) {
            list(kExtensionDxfsUri, kX14Ns, "x14", "dxfs",
                 "count=\"" + std::to_string(extensionDxfs_.records.size()) + "\"",
                 extensionDxfs_.records);
        }
        if (!slicerStyleRecords_.empty()) {
            // Views name their style; the defaults are the ones spreadsheet programs assume.
            list(kSlicerStylesUri, kX14Ns, "x14", "slicerStyles",
                 "defaultSlicerStyle=\"SlicerStyleLight1\"", slicerStyleRecords_);
        }
        if (!timelineStyleRecords_.empty()) {
            list(kTimelineStylesUri, kX15Ns, "x15", "timelineStyles",
                 "defaultTimelineStyle=\"TimeSlicerStyleLight1\"", timelineStyleRecords_);
        }
        out += "</extLst>";
    }
    out += "</styleSheet>";
    return out;
}

// ---------------------------------------------------------------------------------------------
// ResultStyles::Importer

ResultStyles::Importer::Importer(ResultStyles& result, const SourceStyles& source,
                                 bool themeDiffers, ColorResolver colors)
    : result_(result), source_(source), themeDiffers_(themeDiffers), colors_(std::move(colors)),
      cellXfs_(source.cellXfs_.size(), -1), dxfs_(source.dxfs_.size(), -1),
      fonts_(source.fonts_.size(), -1), fills_(source.fills_.size(), -1),
      borders_(source.borders_.size(), -1), namedStyles_(source.cellStyleXfs_.size(), -1) {}

void ResultStyles::Importer::throwOutOfRange(const std::string& what) const {
    ThrowDamaged(ErrorCode::IndexOutOfRange, source_.fileName_, kStylesPartName, what);
}

void ResultStyles::Importer::adoptAsBase() {
    // The base workbook's Normal style becomes the result's, so its columns keep their widths
    // and its unformatted cells their look.
    std::size_t normal = 0;
    for (const auto& style : source_.cellStyles_) {
        const auto builtin = style.element.intAttribute("builtinId");
        if ((builtin && *builtin == 0) || Folded(style.name) == Folded(kNormalStyleName)) {
            if (style.xfId >= 0 &&
                static_cast<std::size_t>(style.xfId) < source_.cellStyleXfs_.size()) {
                normal = static_cast<std::size_t>(style.xfId);
            }
            break;
        }
    }
    std::string record =
        WriteXml(xfRecord(source_.cellStyleXfs_[normal], static_cast<int>(normal), false), true);
    result_.cellStyleXfs_.push_back(record);
    result_.cellStyles_.emplace_back(kNormalCellStyle);
    result_.namedStylesByFoldedName_.emplace(Folded(kNormalStyleName), 0);
    result_.namedStyles_.push_back({std::string(kNormalStyleName), std::move(record), 0});
    namedStyles_[normal] = 0;
    cellXf(0);
    if (!source_.defaultTableStyle_.empty()) {
        result_.defaultTableStyle_ = tableStyle(source_.defaultTableStyle_);
    }
    if (!source_.defaultPivotStyle_.empty()) {
        result_.defaultPivotStyle_ = tableStyle(source_.defaultPivotStyle_);
    }
}

XmlElement ResultStyles::Importer::translated(const XmlElement& record) const {
    XmlElement copy = record;
    TranslateElement(copy, colors_, themeDiffers_);
    return copy;
}

int ResultStyles::Importer::mapReference(const XmlElement& xf, std::string_view attribute,
                                         const std::string& owner, std::string_view what,
                                         std::size_t count, int (Importer::*map)(int)) {
    const long long value = xf.intAttribute(attribute).value_or(0);
    if (value < 0 || static_cast<std::size_t>(value) >= count) {
        throwOutOfRange(owner + " refers to " + std::string(what) + " " + std::to_string(value) +
                        ", but the styles part defines only " + std::to_string(count));
    }
    return (this->*map)(static_cast<int>(value));
}

XmlElement ResultStyles::Importer::xfRecord(const XmlElement& sourceXf, int sourceIndex,
                                            bool cellXf) {
    const std::string owner =
        (cellXf ? "cell format " : "cell style format ") + std::to_string(sourceIndex);
    XmlElement record = translated(sourceXf);
    RemoveForeignAttributes(record);
    // Absent ids mean 0, which is an index like any other: always written explicitly.
    record.setAttribute("numFmtId", std::to_string(numberFormat(static_cast<int>(
                                        sourceXf.intAttribute("numFmtId").value_or(0)))));
    record.setAttribute("fontId",
                        std::to_string(mapReference(sourceXf, "fontId", owner, "font",
                                                    source_.fonts_.size(), &Importer::font)));
    record.setAttribute("fillId",
                        std::to_string(mapReference(sourceXf, "fillId", owner, "fill",
                                                    source_.fills_.size(), &Importer::fill)));
    record.setAttribute("borderId",
                        std::to_string(mapReference(sourceXf, "borderId", owner, "border",
                                                    source_.borders_.size(), &Importer::border)));
    if (cellXf) {
        record.setAttribute("xfId", std::to_string(mapReference(
                                        sourceXf, "xfId", owner, "cell style",
                                        source_.cellStyleXfs_.size(), &Importer::namedStyle)));
    } else {
        record.removeAttribute("xfId");
    }
    return record;
}

int ResultStyles::Importer::cellXf(int sourceIndex) {
    if (sourceIndex < 0 || static_cast<std::size_t>(sourceIndex) >= cellXfs_.size()) {
        throwOutOfRange("a cell uses cell format " + std::to_string(sourceIndex) +
                        ", but the styles part defines only " + std::to_string(cellXfs_.size()));
    }
    int& mapped = cellXfs_[static_cast<std::size_t>(sourceIndex)];
    if (mapped >= 0) {
        return mapped;
    }
    std::string record = WriteXml(
        xfRecord(source_.cellXfs_[static_cast<std::size_t>(sourceIndex)], sourceIndex, true), true);
    if (const int* existing = result_.cellXfs_.find(record)) {
        mapped = *existing;
        return mapped;
    }
    result_.checkFormatLimit(source_.fileName_);
    mapped = result_.cellXfs_.add(std::move(record));
    return mapped;
}

int ResultStyles::Importer::font(int sourceIndex) {
    if (sourceIndex < 0 || static_cast<std::size_t>(sourceIndex) >= fonts_.size()) {
        throwOutOfRange("font " + std::to_string(sourceIndex) +
                        " is used, but the styles part defines only " +
                        std::to_string(fonts_.size()));
    }
    int& mapped = fonts_[static_cast<std::size_t>(sourceIndex)];
    if (mapped < 0) {
        mapped = result_.fonts_.add(
            WriteXml(translated(source_.fonts_[static_cast<std::size_t>(sourceIndex)]), true));
    }
    return mapped;
}

int ResultStyles::Importer::fill(int sourceIndex) {
    int& mapped = fills_[static_cast<std::size_t>(sourceIndex)];
    if (mapped < 0) {
        mapped = result_.fills_.add(
            WriteXml(translated(source_.fills_[static_cast<std::size_t>(sourceIndex)]), true));
    }
    return mapped;
}

int ResultStyles::Importer::border(int sourceIndex) {
    int& mapped = borders_[static_cast<std::size_t>(sourceIndex)];
    if (mapped < 0) {
        mapped = result_.borders_.add(
            WriteXml(translated(source_.borders_[static_cast<std::size_t>(sourceIndex)]), true));
    }
    return mapped;
}

int ResultStyles::Importer::numberFormat(int sourceId) {
    const auto found = numberFormats_.find(sourceId);
    if (found != numberFormats_.end()) {
        return found->second;
    }
    int mapped = 0;
    if (const std::string* code = source_.numberFormatCode(sourceId)) {
        mapped = result_.numberFormats_.idFor(sourceId, *code);
    } else if (sourceId >= 0 && sourceId < kFirstCustomNumberFormatId) {
        mapped = sourceId; // implied built-in: keeps its meaning (and its locale) in the result
    }
    // A custom id the source never defines shows as General in every reader.
    numberFormats_.emplace(sourceId, mapped);
    return mapped;
}

int ResultStyles::Importer::namedStyle(int sourceIndex) {
    int& mapped = namedStyles_[static_cast<std::size_t>(sourceIndex)];
    if (mapped >= 0) {
        return mapped;
    }
    const auto style = std::find_if(
        source_.cellStyles_.begin(), source_.cellStyles_.end(),
        [&](const SourceStyles::NamedStyle& named) { return named.xfId == sourceIndex; });
    if (style == source_.cellStyles_.end()) {
        // A style format no named style uses: the cell format alone defines the look.
        mapped = 0;
        return mapped;
    }
    const auto builtin = style->element.intAttribute("builtinId");
    if ((builtin && *builtin == 0) || Folded(style->name) == Folded(kNormalStyleName) ||
        style->name.empty()) {
        mapped = 0;
        return mapped;
    }
    std::string record = WriteXml(
        xfRecord(source_.cellStyleXfs_[static_cast<std::size_t>(sourceIndex)], sourceIndex, false),
        true);
    std::string resultName;
    const int index = result_.addNamedStyle(style->name, style->element, std::move(record),
                                            source_.fileName_, resultName);
    if (resultName != style->name) {
        renamed_.emplace_back(style->name, resultName);
    }
    mapped = index;
    return mapped;
}

int ResultStyles::Importer::dxf(int sourceIndex) {
    if (sourceIndex < 0 || static_cast<std::size_t>(sourceIndex) >= dxfs_.size()) {
        throwOutOfRange("a conditional format or table uses differential format " +
                        std::to_string(sourceIndex) + ", but the styles part defines only " +
                        std::to_string(dxfs_.size()));
    }
    int& mapped = dxfs_[static_cast<std::size_t>(sourceIndex)];
    if (mapped < 0) {
        mapped = result_.dxfs_.add(
            WriteXml(dxfRecord(source_.dxfs_[static_cast<std::size_t>(sourceIndex)]), true));
    }
    return mapped;
}

int ResultStyles::Importer::extensionDxf(int sourceIndex) {
    if (sourceIndex < 0 || static_cast<std::size_t>(sourceIndex) >= source_.extensionDxfs_.size()) {
        throwOutOfRange("a slicer or timeline style uses differential format " +
                        std::to_string(sourceIndex) + ", but the styles part defines only " +
                        std::to_string(source_.extensionDxfs_.size()) + " for them");
    }
    extensionDxfs_.resize(source_.extensionDxfs_.size(), -1);
    int& mapped = extensionDxfs_[static_cast<std::size_t>(sourceIndex)];
    if (mapped < 0) {
        mapped = result_.extensionDxfs_.add(WriteXml(
            dxfRecord(source_.extensionDxfs_[static_cast<std::size_t>(sourceIndex)]), true));
    }
    return mapped;
}

XmlElement ResultStyles::Importer::dxfRecord(const XmlElement& sourceDxf) {
    XmlElement record = translated(sourceDxf);
    if (XmlElement* format = record.child("numFmt")) {
        const int id = static_cast<int>(format->intAttribute("numFmtId").value_or(0));
        if (const std::string* code = format->attribute("formatCode")) {
            format->setAttribute("numFmtId",
                                 std::to_string(result_.numberFormats_.idFor(id, *code)));
        } else {
            format->setAttribute("numFmtId", std::to_string(numberFormat(id)));
            if (const std::string* known = source_.numberFormatCode(id)) {
                format->setAttribute("formatCode", *known);
            }
        }
    }
    return record;
}

std::string ResultStyles::Importer::tableStyle(const std::string& sourceName) {
    if (const auto cached = tableStyles_.find(sourceName); cached != tableStyles_.end()) {
        return cached->second;
    }
    const auto& styles = source_.tableStyles_;
    const auto named = [&](const XmlElement& style, bool folded) {
        const std::string* name = style.attribute("name");
        return name != nullptr &&
               (folded ? Folded(*name) == Folded(sourceName) : *name == sourceName);
    };
    auto found = std::find_if(styles.begin(), styles.end(),
                              [&](const XmlElement& style) { return named(style, false); });
    if (found == styles.end()) {
        found = std::find_if(styles.begin(), styles.end(),
                             [&](const XmlElement& style) { return named(style, true); });
    }
    if (found == styles.end()) {
        // A built-in style: its name means the same in every workbook.
        tableStyles_.emplace(sourceName, sourceName);
        return sourceName;
    }
    XmlElement style = *found;
    RemoveForeignAttributes(style);
    for (auto& element : style.children) {
        RemoveForeignAttributes(element);
        if (const auto dxfId = element.intAttribute("dxfId")) {
            element.setAttribute("dxfId", std::to_string(dxf(static_cast<int>(*dxfId))));
        }
    }
    const std::string resultName = result_.addTableStyle(sourceName, std::move(style));
    if (resultName != sourceName) {
        renamed_.emplace_back(sourceName, resultName);
    }
    tableStyles_.emplace(sourceName, resultName);
    return resultName;
}

std::optional<std::string> ResultStyles::Importer::filterStyle(const std::string& sourceName,
                                                               bool timeline) {
    const std::string cacheKey = (timeline ? "timeline|" : "slicer|") + sourceName;
    if (const auto cached = filterStyles_.find(cacheKey); cached != filterStyles_.end()) {
        return cached->second;
    }
    const auto named = [&](const std::vector<XmlElement>& styles) -> const XmlElement* {
        for (const bool folded : {false, true}) {
            for (const auto& style : styles) {
                const std::string* name = style.attribute("name");
                if (name != nullptr &&
                    (folded ? Folded(*name) == Folded(sourceName) : *name == sourceName)) {
                    return &style;
                }
            }
        }
        return nullptr;
    };
    const XmlElement* table = named(source_.tableStyles_);
    const XmlElement* extension = named(timeline ? source_.timelineStyles_ : source_.slicerStyles_);
    std::optional<std::string> resultName;
    if (table != nullptr && extension != nullptr) {
        XmlElement tableCopy = *table;
        RemoveForeignAttributes(tableCopy);
        for (auto& element : tableCopy.children) {
            RemoveForeignAttributes(element);
            if (const auto dxfId = element.intAttribute("dxfId")) {
                element.setAttribute("dxfId", std::to_string(dxf(static_cast<int>(*dxfId))));
            }
        }
        XmlElement extensionCopy = *extension;
        for (auto& elements : extensionCopy.children) {
            for (auto& element : elements.children) {
                if (const auto dxfId = element.intAttribute("dxfId")) {
                    element.setAttribute("dxfId",
                                         std::to_string(extensionDxf(static_cast<int>(*dxfId))));
                }
            }
        }
        resultName = result_.addFilterStyle(sourceName, std::move(tableCopy),
                                            std::move(extensionCopy), timeline);
        if (*resultName != sourceName) {
            renamed_.emplace_back(sourceName, *resultName);
        }
    }
    filterStyles_.emplace(cacheKey, resultName);
    return resultName;
}

std::string ResultStyles::Importer::translateColors(std::string_view xmlFragment) {
    FragmentRules rules;
    rules.colors = &colors_;
    rules.dropFontScheme = themeDiffers_;
    return TranslateFragment(xmlFragment, rules);
}

std::string ResultStyles::Importer::richText(std::string_view xmlFragment) {
    FragmentRules rules;
    rules.colors = &colors_;
    rules.dropFontScheme = themeDiffers_;
    rules.phoneticFontId = [this](int sourceFont) {
        // A phonetic hint naming a missing font is not worth failing a merge for.
        if (sourceFont < 0 || static_cast<std::size_t>(sourceFont) >= fonts_.size()) {
            return 0;
        }
        return font(sourceFont);
    };
    return TranslateFragment(xmlFragment, rules);
}

} // namespace quillory::spreadsheet::ooxml
