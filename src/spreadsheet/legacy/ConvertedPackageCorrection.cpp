#include "spreadsheet/legacy/ConvertedPackageCorrection.h"

#include "spreadsheet/Utf8.h"
#include "spreadsheet/legacy/ConversionWorkbook.h"
#include "spreadsheet/legacy/DigitText.h"
#include "spreadsheet/legacy/EmbeddedCharts.h"
#include "spreadsheet/legacy/LegacyErrors.h"
#include "spreadsheet/legacy/LegacyFormats.h"
#include "spreadsheet/legacy/LostNames.h"
#include "spreadsheet/ooxml/Limits.h"
#include "spreadsheet/ooxml/package/OutputSink.h"
#include "spreadsheet/ooxml/package/Relationships.h"
#include "spreadsheet/ooxml/package/ZipReader.h"
#include "spreadsheet/ooxml/package/ZipWriter.h"
#include "spreadsheet/ooxml/sheetcopy/CellPosition.h"
#include "spreadsheet/ooxml/styles/FontMetrics.h"
#include "spreadsheet/ooxml/xml/Xml.h"

#include <algorithm>
#include <map>
#include <memory>
#include <set>
#include <utility>

namespace quillory::spreadsheet::legacy {

namespace {

using ooxml::XmlNode;

constexpr const char* kStylesPart = "xl/styles.xml";
constexpr std::size_t kFlushBytes = 64 * 1024;
constexpr int kTwipsPerPoint = 20;
constexpr std::uint32_t kAfterLastColumn = 0x100;
constexpr std::uint32_t kAfterLastRow = 0x10000;
constexpr std::uint32_t kWidthUnitsPerCharacter = 256;
constexpr std::uint32_t kWidthFractionDigits = 8;
constexpr std::uint32_t kWidthUnitDecimal = 390625; // 1/256 = 0.00390625
// A default column width of so many characters is that many digits, 5 pixels of padding and
// gridline, rounded up to whole blocks of 8 pixels.
constexpr int kDefaultWidthPaddingPixels = 5;
constexpr int kDefaultWidthBlockPixels = 8;
constexpr std::uint16_t kMaxDefaultWidthCharacters = 255;
// Worksheet children that come after <drawing>, in the order the schema gives them.
constexpr std::string_view kAfterDrawing[] = {"legacyDrawing",   "legacyDrawingHF", "drawingHF",
                                              "picture",         "oleObjects",      "controls",
                                              "webPublishItems", "tableParts",      "extLst"};

// A COLINFO width as characters, exactly: 898 -> "3.5078125", 2560 -> "10".
std::string widthInCharacters(std::uint16_t width) {
    std::string text = std::to_string(width / kWidthUnitsPerCharacter);
    const std::uint32_t fraction = (width % kWidthUnitsPerCharacter) * kWidthUnitDecimal;
    if (fraction != 0) {
        std::string digits = std::to_string(fraction);
        digits.insert(0, kWidthFractionDigits - digits.size(), '0');
        digits.erase(digits.find_last_not_of('0') + 1);
        text += '.' + digits;
    }
    return text;
}

// Twips as points: 315 -> "15.75", 300 -> "15".
std::string points(std::uint16_t twips) {
    std::string text = std::to_string(twips / kTwipsPerPoint);
    const int hundredths = (twips % kTwipsPerPoint) * 5;
    if (hundredths != 0) {
        text += '.';
        text += static_cast<char>('0' + hundredths / 10);
        if (hundredths % 10 != 0) {
            text += static_cast<char>('0' + hundredths % 10);
        }
    }
    return text;
}

const char* underlineValue(LegacyUnderline underline) {
    switch (underline) {
    case LegacyUnderline::Single:
        return "single";
    case LegacyUnderline::Double:
        return "double";
    case LegacyUnderline::SingleAccounting:
        return "singleAccounting";
    case LegacyUnderline::DoubleAccounting:
        return "doubleAccounting";
    case LegacyUnderline::None:
        break;
    }
    return nullptr;
}

// "B12" -> (11, 1), 0-based as the legacy records count; nothing for what is not a cell.
std::optional<std::pair<std::uint32_t, std::uint32_t>> parseCell(std::string_view ref) {
    const auto position = ooxml::ParseCellPosition(ref);
    if (!position) {
        return std::nullopt;
    }
    return std::make_pair(static_cast<std::uint32_t>(position->row - 1),
                          static_cast<std::uint32_t>(position->column - 1));
}

// The name and, where the conversion kept an underline, its kind, of a font ("name") or a
// rich-text run's properties ("rFont"); an element is only ever changed, never added, so the
// children keep the order the schema wants.
bool correctFont(XmlNode& font, const LegacyFont& legacy, std::string_view nameElement) {
    bool changed = false;
    XmlNode* name = font.child(nameElement);
    if (name != nullptr && !legacy.name.empty() && name->attributeOr("val", "") != legacy.name) {
        name->setAttribute("val", legacy.name);
        changed = true;
    }
    XmlNode* underline = font.child("u");
    const char* wanted = underlineValue(legacy.underline);
    if (underline != nullptr && wanted != nullptr &&
        underline->attributeOr("val", "single") != wanted) {
        underline->setAttribute("val", wanted);
        changed = true;
    }
    return changed;
}

// UTF-8 appended as UTF-16 code units; false for what is not UTF-8.
bool appendUtf16(std::u16string& out, std::string_view text) {
    constexpr char32_t kFirstSupplementary = 0x10000;
    for (const char* p = text.data(); p < text.data() + text.size();) {
        char32_t c = 0;
        const std::size_t length = DecodeUtf8(p, text.data() + text.size(), c);
        if (length == 0) {
            return false;
        }
        if (c < kFirstSupplementary) {
            out.push_back(static_cast<char16_t>(c));
        } else {
            c -= kFirstSupplementary;
            out.push_back(static_cast<char16_t>(0xD800 + (c >> 10)));
            out.push_back(static_cast<char16_t>(0xDC00 + (c & 0x3FF)));
        }
        p += length;
    }
    return true;
}

// Whole UTF-16 text (no pair cut in two) as UTF-8.
std::string utf8Of(std::u16string_view text) {
    std::string out;
    for (std::size_t i = 0; i < text.size(); ++i) {
        char32_t c = text[i];
        if (c >= 0xD800 && c < 0xDC00 && i + 1 < text.size()) {
            c = 0x10000 + ((c - 0xD800) << 10) + (text[++i] - 0xDC00);
        }
        AppendUtf8(out, c);
    }
    return out;
}

// The cell formats of the converted package, with a corrected copy made for each pair of a
// converted format and the legacy XF its cell had, where the two differ.
class StyleCorrections {
public:
    StyleCorrections(XmlNode root, const LegacyWorkbookFormats& formats)
        : root_(std::move(root)), formats_(formats) {
        if (root_.child("numFmts") == nullptr) {
            XmlNode numFmts;
            numFmts.name = "numFmts";
            root_.children.insert(root_.children.begin(), std::move(numFmts));
        }
        numFmts_ = root_.child("numFmts");
        for (const XmlNode* numFmt : numFmts_->childrenNamed("numFmt")) {
            if (const auto id = ParseDigits(numFmt->attributeOr("numFmtId", ""))) {
                codes_[*id] = numFmt->attributeOr("formatCode", "");
                nextFormatId_ = std::max(nextFormatId_, *id + 1);
            }
        }
        fills_ = root_.child("fills");
        if (fills_ != nullptr) {
            fillCount_ = fills_->childrenNamed("fill").size();
        }
        fonts_ = root_.child("fonts");
        cellXfs_ = root_.child("cellXfs");
        if (fonts_ != nullptr && cellXfs_ != nullptr) {
            fontCount_ = fonts_->childrenNamed("font").size();
            xfCount_ = cellXfs_->childrenNamed("xf").size();
        }
    }

    bool changed() const { return changed_; }
    const XmlNode& root() const { return root_; }

    std::size_t corrected(std::size_t style, std::uint16_t legacyXf) {
        if (cellXfs_ == nullptr || fonts_ == nullptr || style >= xfCount_ ||
            legacyXf >= formats_.xfs.size()) {
            return style; // nothing to go by: the conversion's reading stands
        }
        const auto key = std::make_pair(style, legacyXf);
        if (const auto found = made_.find(key); found != made_.end()) {
            return found->second;
        }
        const std::size_t result = makeCorrected(style, formats_.xfs[legacyXf]);
        made_.emplace(key, result);
        return result;
    }

    bool centredAcross(std::uint16_t legacyXf) const {
        return legacyXf < formats_.xfs.size() &&
               formats_.xfs[legacyXf].horizontalAlignment == kLegacyAlignCenterAcross;
    }

    // The counts of the lists that grew; called once, after the last sheet.
    void finishCounts() {
        if (fonts_ != nullptr) {
            fonts_->setAttribute("count", std::to_string(fontCount_));
        }
        if (cellXfs_ != nullptr) {
            cellXfs_->setAttribute("count", std::to_string(xfCount_));
        }
        if (fills_ != nullptr) {
            fills_->setAttribute("count", std::to_string(fillCount_));
        }
        const std::size_t formats = numFmts_->childrenNamed("numFmt").size();
        if (formats == 0) { // made here and not needed: an empty list is not allowed
            root_.children.erase(root_.children.begin() + (numFmts_ - root_.children.data()));
            numFmts_ = nullptr;
        } else {
            numFmts_->setAttribute("count", std::to_string(formats));
        }
    }

private:
    std::size_t makeCorrected(std::size_t style, const LegacyXf& legacy) {
        XmlNode xf = *cellXfs_->childrenNamed("xf")[style];
        bool xfChanged = false;
        if (const LegacyFont* font = formats_.fontOf(legacy)) {
            const std::size_t fontId =
                ParseDigits(xf.attributeOr("fontId", "0")).value_or(fontCount_);
            if (fontId < fontCount_) {
                XmlNode copy = *fonts_->childrenNamed("font")[fontId];
                if (correctFont(copy, *font, "name")) {
                    fonts_->children.push_back(std::move(copy));
                    xf.setAttribute("fontId", std::to_string(fontCount_++));
                    xf.setAttribute("applyFont", "true");
                    xfChanged = true;
                }
            }
        }
        xfChanged |= correctNumberFormat(xf, legacy);
        xfChanged |= correctFill(xf, legacy);
        if (legacy.horizontalAlignment == kLegacyAlignCenterAcross) {
            XmlNode* alignment = xf.child("alignment");
            if (alignment == nullptr) {
                XmlNode made;
                made.name = "alignment";
                xf.children.insert(xf.children.begin(), std::move(made));
                alignment = &xf.children.front();
            }
            if (alignment->attributeOr("horizontal", "") != "centerContinuous") {
                alignment->setAttribute("horizontal", "centerContinuous");
                xf.setAttribute("applyAlignment", "true");
                xfChanged = true;
            }
        }
        if (!xfChanged) {
            return style;
        }
        cellXfs_->children.push_back(std::move(xf));
        changed_ = true;
        return xfCount_++;
    }

    // A format code of the workbook's own that the conversion spelled another way ("mmm d, yyyy"
    // as "mmm\\ d\", \"yyyy") is written as the workbook has it. Built-in formats, and
    // formats the conversion maps to built-in ones, stay as converted.
    bool correctNumberFormat(XmlNode& xf, const LegacyXf& legacy) {
        const auto code = formats_.numberFormats.find(legacy.formatIndex);
        const auto id = ParseDigits(xf.attributeOr("numFmtId", "0"));
        if (legacy.formatIndex < kLegacyFirstOwnFormat || code == formats_.numberFormats.end() ||
            code->second.empty() || !id) {
            return false;
        }
        const auto converted = codes_.find(*id);
        if (converted == codes_.end() || converted->second == code->second) {
            return false;
        }
        auto [made, fresh] = madeFormats_.emplace(code->second, nextFormatId_);
        if (fresh) {
            XmlNode numFmt;
            numFmt.name = "numFmt";
            numFmt.setAttribute("numFmtId", std::to_string(nextFormatId_++));
            numFmt.setAttribute("formatCode", code->second);
            numFmts_->children.push_back(std::move(numFmt));
        }
        xf.setAttribute("numFmtId", std::to_string(made->second));
        xf.setAttribute("applyNumberFormat", "true");
        return true;
    }

    // A solid fill in the system's window background colour, which the conversion writes as
    // white, keeps that colour.
    bool correctFill(XmlNode& xf, const LegacyXf& legacy) {
        if (fills_ == nullptr || legacy.fillPattern != kLegacySolidFill ||
            legacy.fillForeground != kLegacySystemBackground) {
            return false;
        }
        const std::size_t fillId = ParseDigits(xf.attributeOr("fillId", "0")).value_or(fillCount_);
        if (fillId < fillCount_) {
            const XmlNode* pattern = fills_->childrenNamed("fill")[fillId]->child("patternFill");
            const XmlNode* foreground = pattern != nullptr ? pattern->child("fgColor") : nullptr;
            if (foreground != nullptr &&
                foreground->attributeOr("indexed", "") == std::to_string(kLegacySystemBackground)) {
                return false;
            }
        }
        if (!systemBackgroundFill_) {
            XmlNode fill;
            fill.name = "fill";
            XmlNode pattern;
            pattern.name = "patternFill";
            pattern.setAttribute("patternType", "solid");
            for (const char* which : {"fgColor", "bgColor"}) {
                XmlNode colour;
                colour.name = which;
                colour.setAttribute("indexed", which == std::string_view("fgColor")
                                                   ? std::to_string(kLegacySystemBackground)
                                                   : "64");
                pattern.children.push_back(std::move(colour));
            }
            fill.children.push_back(std::move(pattern));
            fills_->children.push_back(std::move(fill));
            systemBackgroundFill_ = fillCount_++;
        }
        xf.setAttribute("fillId", std::to_string(*systemBackgroundFill_));
        xf.setAttribute("applyFill", "true");
        return true;
    }

    XmlNode root_;
    const LegacyWorkbookFormats& formats_;
    XmlNode* numFmts_ = nullptr;
    XmlNode* fills_ = nullptr;
    XmlNode* fonts_ = nullptr;
    XmlNode* cellXfs_ = nullptr;
    std::map<std::size_t, std::string> codes_; // the converted package's own formats
    std::map<std::string, std::size_t> madeFormats_;
    std::size_t nextFormatId_ = kLegacyFirstCustomFormat;
    std::size_t fillCount_ = 0;
    std::optional<std::size_t> systemBackgroundFill_;
    std::size_t fontCount_ = 0;
    std::size_t xfCount_ = 0;
    std::map<std::pair<std::size_t, std::uint16_t>, std::size_t> made_;
    bool changed_ = false;
};

// Rich text of the converted shared strings, given back the runs of the workbook's own shared
// strings: the conversion keeps each run's text and most of its font, but writes a substitute
// font name for characters the converting machine has no font for (splitting the run there) and
// plain underlines for accounting ones. Each run of the source gets the properties the conversion
// gave its first character, with the name and underline kind of the source's FONT record.
class StringRunCorrections {
public:
    explicit StringRunCorrections(const LegacyWorkbookFormats& formats) : formats_(formats) {}

    // A converted cell's shared string and the source's string and XF for that cell; the first
    // cell met with a string decides for it.
    void note(std::size_t converted, std::uint32_t legacy, std::optional<std::uint16_t> xf) {
        wanted_.emplace(converted, std::make_pair(legacy, xf));
    }

    bool empty() const { return wanted_.empty(); }

    // The shared strings part with the noted items' runs rebuilt; nothing when none was.
    std::optional<std::string> corrected(XmlNode root) const {
        const std::vector<XmlNode*> items = root.childrenNamed("si");
        bool changed = false;
        for (const auto& [index, legacy] : wanted_) {
            if (index < items.size()) {
                changed |= correctItem(*items[index], legacy.first, legacy.second);
            }
        }
        if (!changed) {
            return std::nullopt;
        }
        std::string xml(ooxml::kXmlDeclaration);
        ooxml::AppendNode(xml, root);
        return xml;
    }

private:
    // False, leaving the item as converted, where its text is not the source's, it holds no
    // runs, a run of the source starts inside a character or names a font past the table.
    bool correctItem(XmlNode& item, std::uint32_t legacyIndex,
                     std::optional<std::uint16_t> xf) const {
        const auto found = formats_.richStrings.find(legacyIndex);
        if (found == formats_.richStrings.end()) {
            return false;
        }
        const LegacyRichString& legacy = found->second;
        std::u16string text;
        std::vector<std::pair<std::size_t, const XmlNode*>> converted; // first character, rPr
        for (const XmlNode& child : item.children) {
            if (child.isText() || child.localName() != "r") {
                if (!child.isText() && child.localName() == "t") {
                    return false; // no runs kept at all
                }
                continue;
            }
            converted.emplace_back(text.size(), child.child("rPr"));
            const XmlNode* t = child.child("t");
            if (t != nullptr && !appendUtf16(text, t->textContent())) {
                return false;
            }
        }
        if (converted.empty() || text != legacy.text) {
            return false;
        }
        std::vector<std::pair<std::size_t, const LegacyFont*>> segments;
        if (legacy.runs.front().first > 0) { // the cell's own font up to the first run
            segments.emplace_back(
                0, xf && *xf < formats_.xfs.size() ? formats_.fontOf(formats_.xfs[*xf]) : nullptr);
        }
        for (const auto& [first, fontIndex] : legacy.runs) {
            const LegacyFont* font = formats_.font(fontIndex);
            if (font == nullptr || (text[first] >= 0xDC00 && text[first] < 0xE000)) {
                return false;
            }
            segments.emplace_back(first, font);
        }
        const std::string prefix = item.name.substr(0, item.name.size() - 2);
        std::vector<XmlNode> children;
        for (std::size_t i = 0; i < segments.size(); ++i) {
            const std::size_t start = segments[i].first;
            const std::size_t end = i + 1 < segments.size() ? segments[i + 1].first : text.size();
            const auto holder = std::prev(
                std::upper_bound(converted.begin(), converted.end(), start,
                                 [](std::size_t at, const auto& run) { return at < run.first; }));
            XmlNode run;
            run.name = prefix + "r";
            if (holder->second != nullptr) {
                XmlNode properties = *holder->second;
                if (segments[i].second != nullptr) {
                    correctFont(properties, *segments[i].second, "rFont");
                }
                run.children.push_back(std::move(properties));
            }
            XmlNode t;
            t.name = prefix + "t";
            t.setAttribute("xml:space", "preserve");
            t.setTextContent(utf8Of(std::u16string_view(text).substr(start, end - start)));
            run.children.push_back(std::move(t));
            children.push_back(std::move(run));
        }
        for (XmlNode& child : item.children) { // phonetic runs and their settings stay, after
            if (!child.isText() && child.localName() != "r") {
                children.push_back(std::move(child));
            }
        }
        item.children = std::move(children);
        return true;
    }

    const LegacyWorkbookFormats& formats_;
    std::map<std::size_t, std::pair<std::uint32_t, std::optional<std::uint16_t>>> wanted_;
};

// Streams one worksheet part through, writing it again with the corrections: row heights from
// the sheet's ROW and DEFAULTROWHEIGHT records, column widths from its COLINFO records, each cell's
// format corrected for its legacy XF, and merges the conversion made of "centred across the
// selection" taken out again; and, where charts were put back, the sheet's new drawing named.
class SheetCorrector final : public ooxml::XmlHandler {
public:
    SheetCorrector(const LegacySheetFormats& sheet, StyleCorrections& styles,
                   StringRunCorrections& strings, ooxml::ZipWriter& out,
                   std::optional<std::string> drawingId, bool judgeFormulas,
                   const std::unordered_map<std::uint32_t, TakenFormula>* takenFormulas,
                   std::optional<int> digitWidth)
        : sheet_(sheet), styles_(styles), strings_(strings), out_(out),
          drawingId_(std::move(drawingId)), judgeFormulas_(judgeFormulas),
          takenFormulas_(takenFormulas), digitWidth_(digitWidth) {
        buffer_ = ooxml::kXmlDeclaration;
        legacyCells_.reserve(sheet.xfs.size());
        for (const auto& [key, xf] : sheet.xfs) {
            legacyCells_.push_back(key);
        }
        std::sort(legacyCells_.begin(), legacyCells_.end()); // row by row, as sheetData is
        for (const LegacyMergedRange& range : sheet.merged) {
            stated_.insert({LegacySheetFormats::CellKey(range.firstRow, range.firstColumn),
                            LegacySheetFormats::CellKey(range.lastRow, range.lastColumn)});
        }
    }

    void startElement(const char* name, const char** attributes) override {
        closePending();
        std::vector<std::pair<std::string, std::string>> list;
        for (const char** a = attributes; *a != nullptr; a += 2) {
            list.emplace_back(a[0], a[1]);
        }
        const std::string_view local = ooxml::LocalName(name);
        const int depth = depth_++;
        if (depth == 0) {
            noteRoot(name, list);
        } else if (depth == 1 && drawingId_) {
            if (local == "drawing") { // one the conversion left without its part
                for (auto& [key, value] : list) {
                    if (ooxml::IsRelationshipIdAttribute(key)) {
                        value = *drawingId_;
                    }
                }
                drawingId_.reset();
            } else if (std::find(std::begin(kAfterDrawing), std::end(kAfterDrawing), local) !=
                       std::end(kAfterDrawing)) {
                addDrawing();
            }
        }
        if (inMergeCells_) {
            if (local == "mergeCell") {
                keepMerge(list);
            }
            ++skipDepth_;
            return;
        }
        if (local == "row") {
            correctRow(list);
            rowPrefix_ = std::string(name, local.data() - name);
            currentRow_ = rowNumber(list);
            if (currentRow_) {
                addMissingRows(*currentRow_);
            }
        } else if (local == "c") {
            correctCell(list);
            watchFormula(list);
        } else if (local == "f" && formulaCell_) {
            sawFormula_ = true;
            inFormula_ = true;
        } else if (local == "v" && richString_) {
            inValue_ = true;
            value_.clear();
        } else if (local == "cols") {
            sawColumns_ = true;
        } else if (local == "col") {
            correctColumns(name, list);
        } else if (local == "sheetData" && !sawColumns_ && !sheet_.columns.empty()) {
            const std::string prefix(name, local.data() - name);
            buffer_ += '<' + prefix + "cols>";
            addMissingColumns(prefix + "col", kAfterLastColumn + 1);
            buffer_ += "</" + prefix + "cols>";
        } else if (local == "sheetFormatPr") {
            correctSheetFormat(list);
        } else if (local == "mergeCells") {
            inMergeCells_ = true;
            mergeCellsName_ = name;
            return;
        }
        buffer_ += '<';
        buffer_ += name;
        for (const auto& [key, value] : list) {
            buffer_ += ' ';
            buffer_ += key;
            buffer_ += "=\"";
            ooxml::EscapeAttributeInto(buffer_, value);
            buffer_ += '"';
        }
        pending_ = true;
    }

    void endElement(const char* name) override {
        if (--depth_ == 0 && drawingId_) {
            addDrawing();
        }
        if (inMergeCells_) {
            if (skipDepth_ > 0) {
                --skipDepth_;
                return;
            }
            inMergeCells_ = false;
            writeMerges();
            return;
        }
        const std::string_view local = ooxml::LocalName(name);
        if (local == "f") {
            inFormula_ = false;
        } else if (local == "c" && formulaCell_ && replaceFormula(name)) {
            return;
        }
        if (local == "v" && inValue_) {
            inValue_ = false;
            if (const auto index = ParseDigits(value_)) {
                strings_.note(*index, richString_->first, richString_->second);
            }
        }
        if (local == "row" && currentRow_) {
            closePending();
            addMissingCells(*currentRow_, kAfterLastColumn);
            currentRow_.reset();
        } else if (local == "cols") {
            closePending();
            addMissingColumns(std::string(name, local.data() - name) + "col", kAfterLastColumn + 1);
        } else if (local == "sheetData") {
            closePending();
            addMissingRows(kAfterLastRow);
        }
        if (pending_) {
            buffer_ += "/>";
            pending_ = false;
        } else {
            buffer_ += "</";
            buffer_ += name;
            buffer_ += '>';
        }
        flushIfLarge();
    }

    void characters(std::string_view text) override {
        if (inMergeCells_) {
            return;
        }
        closePending();
        if (inValue_) {
            value_ += text;
        }
        if (inFormula_) {
            formulaText_ += text;
        }
        ooxml::EscapeTextInto(buffer_, text);
        flushIfLarge();
    }

    void finish() {
        out_.write(buffer_);
        buffer_.clear();
    }

    // Formula cells of the source that came out broken and took no other conversion's formula.
    std::size_t brokenFormulasLeft() const { return brokenFormulas_; }

private:
    // A formula cell of the source is watched, while names the conversion lost may have broken it.
    void watchFormula(const std::vector<std::pair<std::string, std::string>>& list) {
        formulaCell_.reset();
        const std::string* ref = attribute(list, "r");
        const auto cell = ref != nullptr ? parseCell(*ref) : std::nullopt;
        if (!judgeFormulas_ || !cell) {
            return;
        }
        const std::uint32_t key = LegacySheetFormats::CellKey(cell->first, cell->second);
        if (cell->second < kAfterLastColumn && sheet_.formulas.count(key) != 0) {
            formulaCell_ = key;
            cellStart_ = buffer_.size();
            cellAttributes_ = list;
            sawFormula_ = false;
            formulaText_.clear();
        }
    }

    // At the end of a watched cell: one that lost its formula, kept it with #NAME? in it, or
    // shows an error where the source keeps a result, takes the other conversion's formula and
    // result where it has them; true when written.
    bool replaceFormula(const char* name) {
        const std::uint32_t key = *formulaCell_;
        formulaCell_.reset();
        const std::string* type = attribute(cellAttributes_, "t");
        const bool errorResult = type != nullptr && *type == "e";
        if (sawFormula_ && formulaText_.find("#NAME?") == std::string::npos &&
            (!errorResult || sheet_.formulas.at(key))) {
            return false;
        }
        if (takenFormulas_ == nullptr || takenFormulas_->count(key) == 0) {
            ++brokenFormulas_;
            return false;
        }
        const TakenFormula& taken = takenFormulas_->at(key);
        buffer_.resize(cellStart_);
        pending_ = false;
        removeAttribute(cellAttributes_, "t");
        if (!taken.type.empty() && taken.type != "n") {
            cellAttributes_.emplace_back("t", taken.type);
        }
        const std::string prefix(name, ooxml::LocalName(name).data() - name);
        ooxml::AppendStartTag(buffer_, name, cellAttributes_, false);
        buffer_ += '<' + prefix + "f>";
        ooxml::EscapeTextInto(buffer_, taken.formula);
        buffer_ += "</" + prefix + "f>";
        if (!taken.value.empty()) {
            buffer_ += '<' + prefix + "v>";
            ooxml::EscapeTextInto(buffer_, taken.value);
            buffer_ += "</" + prefix + "v>";
        }
        buffer_ += "</" + std::string(name) + '>';
        return true;
    }

    // The root's prefix and the one it gives the relationships namespace, for a new <drawing>.
    void noteRoot(const char* name,
                  const std::vector<std::pair<std::string, std::string>>& attributes) {
        rootPrefix_.assign(name, ooxml::LocalName(name).data() - name);
        for (const auto& [key, value] : attributes) {
            if (key.rfind("xmlns:", 0) == 0 && value == ooxml::kRelationshipNamespace) {
                relationshipPrefix_ = key.substr(6);
            }
        }
    }

    void addDrawing() {
        closePending();
        buffer_ += '<' + rootPrefix_ + "drawing ";
        if (relationshipPrefix_.empty()) {
            buffer_ += "xmlns:r=\"" + std::string(ooxml::kRelationshipNamespace) + "\" r";
        } else {
            buffer_ += relationshipPrefix_;
        }
        buffer_ += ":id=\"";
        ooxml::EscapeAttributeInto(buffer_, *drawingId_);
        buffer_ += "\"/>";
        drawingId_.reset();
    }

    static void setAttribute(std::vector<std::pair<std::string, std::string>>& list,
                             std::string_view key, std::string value) {
        for (auto& [name, current] : list) {
            if (name == key) {
                current = std::move(value);
                return;
            }
        }
        list.emplace_back(std::string(key), std::move(value));
    }
    static void removeAttribute(std::vector<std::pair<std::string, std::string>>& list,
                                std::string_view key) {
        list.erase(std::remove_if(list.begin(), list.end(),
                                  [key](const auto& item) { return item.first == key; }),
                   list.end());
    }
    static const std::string*
    attribute(const std::vector<std::pair<std::string, std::string>>& list, std::string_view key) {
        for (const auto& [name, value] : list) {
            if (name == key) {
                return &value;
            }
        }
        return nullptr;
    }

    void correctSheetFormat(std::vector<std::pair<std::string, std::string>>& list) const {
        if (sheet_.standardWidth) {
            setAttribute(list, "defaultColWidth", widthInCharacters(*sheet_.standardWidth));
        } else if (sheet_.defaultWidthCharacters &&
                   *sheet_.defaultWidthCharacters <= kMaxDefaultWidthCharacters) {
            // DEFCOLWIDTH alone: the width in characters is the base width, and the default
            // width follows from it by the standard font's digits (the conversion measures its
            // own font, a pixel off); kept as converted for a font of unknown digits.
            const int characters = *sheet_.defaultWidthCharacters;
            setAttribute(list, "baseColWidth", std::to_string(characters));
            if (digitWidth_) {
                const int blocks = (characters * *digitWidth_ + kDefaultWidthPaddingPixels +
                                    kDefaultWidthBlockPixels - 1) /
                                   kDefaultWidthBlockPixels;
                const int units = blocks * kDefaultWidthBlockPixels *
                                  static_cast<int>(kWidthUnitsPerCharacter) / *digitWidth_;
                setAttribute(list, "defaultColWidth",
                             widthInCharacters(static_cast<std::uint16_t>(units)));
            }
        }
        if (!sheet_.defaultRowHeightTwips) {
            return;
        }
        setAttribute(list, "defaultRowHeight", points(*sheet_.defaultRowHeightTwips));
        if (sheet_.defaultRowHeightCustom) {
            setAttribute(list, "customHeight", "true");
        }
    }

    // Widths from the sheet's COLINFO records, which a conversion rounds through its own unit:
    // a range of columns whose widths differ in the source is split, each part keeping the
    // converted attributes (style, hidden, outline level) but for its width. All parts but the
    // last are written here; the last is left in list.
    void correctColumns(const char* name, std::vector<std::pair<std::string, std::string>>& list) {
        const std::string* minText = attribute(list, "min");
        const std::string* maxText = attribute(list, "max");
        const auto first = minText != nullptr ? ParseDigits(*minText) : std::nullopt;
        const auto last = maxText != nullptr ? ParseDigits(*maxText) : std::nullopt;
        if (!first || !last || *first == 0 || *last < *first) {
            return;
        }
        addMissingColumns(name, *first);
        nextColumn_ = std::max(nextColumn_, *last + 1);
        for (std::size_t start = *first;;) {
            const LegacyColumn* column = columnAt(start);
            const std::optional<std::uint16_t> width =
                column != nullptr ? std::optional(column->width) : std::nullopt;
            std::size_t end = start;
            while (end < *last && end < kAfterLastColumn && columnWidth(end + 1) == width) {
                ++end;
            }
            if (end >= kAfterLastColumn) {
                end = *last; // columns past the legacy ones stay with the last, as converted
            }
            setAttribute(list, "min", std::to_string(start));
            setAttribute(list, "max", std::to_string(end));
            if (width) {
                setAttribute(list, "width", widthInCharacters(*width));
            }
            if (end == *last) {
                return;
            }
            ooxml::AppendStartTag(buffer_, name, list, true);
            start = end + 1;
        }
    }

    // Columns the conversion left to the sheet's default width although COLINFO gives them
    // their own (rounded, it came out as the default): written before the 1-based column before.
    void addMissingColumns(std::string_view colName, std::size_t before) {
        const std::size_t stop = std::min<std::size_t>(before, kAfterLastColumn + 1);
        while (nextColumn_ < stop) {
            const LegacyColumn* column = columnAt(nextColumn_);
            std::size_t end = nextColumn_;
            while (column != nullptr && end + 1 < stop && columnAt(end + 1) != nullptr &&
                   *columnAt(end + 1) == *column) {
                ++end;
            }
            if (column != nullptr) {
                std::vector<std::pair<std::string, std::string>> list = {
                    {"min", std::to_string(nextColumn_)},
                    {"max", std::to_string(end)},
                    {"width", widthInCharacters(column->width)},
                    {"customWidth", "true"}};
                if ((column->options & kLegacyColumnHidden) != 0) {
                    list.emplace_back("hidden", "true");
                }
                if (const int level =
                        (column->options & kLegacyColumnOutlineMask) >> kLegacyColumnOutlineShift) {
                    list.emplace_back("outlineLevel", std::to_string(level));
                }
                if ((column->options & kLegacyColumnCollapsed) != 0) {
                    list.emplace_back("collapsed", "true");
                }
                ooxml::AppendStartTag(buffer_, colName, list, true);
            }
            nextColumn_ = end + 1;
        }
    }

    const LegacyColumn* columnAt(std::size_t column) const {
        const auto found = sheet_.columns.find(static_cast<std::uint32_t>(column - 1));
        return found != sheet_.columns.end() ? &found->second : nullptr;
    }
    std::optional<std::uint16_t> columnWidth(std::size_t column) const {
        const LegacyColumn* found = columnAt(column);
        return found != nullptr ? std::optional(found->width) : std::nullopt;
    }

    void correctRow(std::vector<std::pair<std::string, std::string>>& list) const {
        constexpr std::size_t kMaxRowDigits = 7;
        const std::string* number = attribute(list, "r");
        const auto stated = number != nullptr ? ParseDigits(*number, kMaxRowDigits) : std::nullopt;
        if (!stated) {
            return;
        }
        const auto row = static_cast<std::uint32_t>(*stated);
        const auto found = row > 0 ? sheet_.rows.find(row - 1) : sheet_.rows.end();
        if (found == sheet_.rows.end() || found->second.defaultHeight) {
            // No height of its own in the source: the row follows the sheet's default.
            removeAttribute(list, "ht");
            removeAttribute(list, "customHeight");
            return;
        }
        setAttribute(list, "ht", points(found->second.heightTwips));
        setAttribute(list, "customHeight", found->second.customHeight ? "true" : "false");
    }

    static std::optional<std::uint32_t>
    rowNumber(const std::vector<std::pair<std::string, std::string>>& list) {
        constexpr std::size_t kMaxRows = 1U << 20;
        const std::string* number = attribute(list, "r");
        const auto row = number != nullptr ? ParseDigits(*number) : std::nullopt;
        if (!row || *row == 0 || *row > kMaxRows) {
            return std::nullopt;
        }
        return static_cast<std::uint32_t>(*row - 1);
    }

    // Formatted blank cells of the source that the conversion left out (it drops whole runs of
    // them at the end of a sheet), added in their place with the format that cells of the same
    // legacy XF were given; an XF no written cell showed is left out.
    void addMissingCells(std::uint32_t row, std::uint32_t beforeColumn) {
        while (nextLegacy_ < legacyCells_.size() && (legacyCells_[nextLegacy_] >> 8) <= row &&
               (legacyCells_[nextLegacy_] >> 8 < row ||
                (legacyCells_[nextLegacy_] & 0xFF) < beforeColumn)) {
            const std::uint32_t key = legacyCells_[nextLegacy_++];
            if ((key >> 8) < row) {
                continue;
            }
            const auto style = styleOfXf_.find(sheet_.xfs.at(key));
            if (style != styleOfXf_.end()) {
                buffer_ += '<' + rowPrefix_ + "c r=\"" + cellName(row, key & 0xFF) + "\" s=\"" +
                           std::to_string(style->second) + "\"/>";
            }
        }
    }

    void addMissingRows(std::uint32_t beforeRow) {
        while (nextLegacy_ < legacyCells_.size() && (legacyCells_[nextLegacy_] >> 8) < beforeRow) {
            const std::uint32_t row = legacyCells_[nextLegacy_] >> 8;
            std::vector<std::pair<std::string, std::string>> list = {
                {"r", std::to_string(row + 1)}};
            correctRow(list);
            const std::size_t start = buffer_.size();
            ooxml::AppendStartTag(buffer_, rowPrefix_ + "row", list, false);
            const std::size_t cellsStart = buffer_.size();
            addMissingCells(row, kAfterLastColumn);
            if (buffer_.size() == cellsStart) {
                buffer_.resize(start); // no cell whose format is known
            } else {
                buffer_ += "</" + rowPrefix_ + "row>";
            }
        }
        flushIfLarge();
    }

    static std::string cellName(std::uint32_t row, std::uint32_t column) {
        std::string letters;
        for (std::uint32_t n = column + 1; n > 0; n = (n - 1) / 26) {
            letters.insert(letters.begin(), static_cast<char>('A' + (n - 1) % 26));
        }
        return letters + std::to_string(row + 1);
    }

    void correctCell(std::vector<std::pair<std::string, std::string>>& list) {
        const std::string* ref = attribute(list, "r");
        const auto cell = ref != nullptr ? parseCell(*ref) : std::nullopt;
        richString_.reset();
        if (!cell) {
            return;
        }
        const std::uint32_t cellKey = LegacySheetFormats::CellKey(cell->first, cell->second);
        const auto found = sheet_.xfs.find(cellKey);
        const std::string* type = attribute(list, "t");
        if (const auto rich = sheet_.richStrings.find(cellKey);
            rich != sheet_.richStrings.end() && type != nullptr && *type == "s") {
            richString_.emplace(rich->second, found != sheet_.xfs.end()
                                                  ? std::optional<std::uint16_t>(found->second)
                                                  : std::nullopt);
        }
        if (currentRow_ && cell->first == *currentRow_) {
            addMissingCells(cell->first, cell->second);
            if (nextLegacy_ < legacyCells_.size() && legacyCells_[nextLegacy_] == cellKey) {
                ++nextLegacy_;
            }
        }
        if (found == sheet_.xfs.end()) {
            return;
        }
        const std::string* style = attribute(list, "s");
        const auto stated = style != nullptr ? ParseDigits(*style) : std::optional<std::size_t>(0);
        if (!stated) {
            return;
        }
        const std::size_t current = *stated;
        const std::size_t corrected = styles_.corrected(current, found->second);
        if (corrected != current) {
            setAttribute(list, "s", std::to_string(corrected));
        }
        styleOfXf_.emplace(found->second, corrected);
    }

    // A merge the source does not state, whose first cell is centred across the selection, is
    // the conversion's rendering of that alignment: it goes, and the alignment comes back.
    void keepMerge(const std::vector<std::pair<std::string, std::string>>& list) {
        const std::string* ref = attribute(list, "ref");
        if (ref == nullptr) {
            return;
        }
        const std::size_t colon = ref->find(':');
        const auto first = parseCell(std::string_view(*ref).substr(0, colon));
        const auto last = colon == std::string::npos
                              ? first
                              : parseCell(std::string_view(*ref).substr(colon + 1));
        if (first && last) {
            const std::uint32_t firstKey = LegacySheetFormats::CellKey(first->first, first->second);
            const auto xf = sheet_.xfs.find(firstKey);
            const bool stated =
                stated_.count({firstKey, LegacySheetFormats::CellKey(last->first, last->second)});
            if (!stated && xf != sheet_.xfs.end() && styles_.centredAcross(xf->second)) {
                return;
            }
        }
        merges_.push_back(*ref);
    }

    void writeMerges() {
        if (merges_.empty()) {
            return;
        }
        buffer_ += '<' + mergeCellsName_ + " count=\"" + std::to_string(merges_.size()) + "\">";
        const std::string prefix = mergeCellsName_.substr(0, mergeCellsName_.size() - 5);
        for (const std::string& ref : merges_) {
            buffer_ += '<' + prefix + "Cell ref=\"";
            ooxml::EscapeAttributeInto(buffer_, ref);
            buffer_ += "\"/>";
        }
        buffer_ += "</" + mergeCellsName_ + '>';
    }

    void closePending() {
        if (pending_) {
            buffer_ += '>';
            pending_ = false;
        }
    }

    void flushIfLarge() {
        if (buffer_.size() >= kFlushBytes && !formulaCell_) { // a watched cell may be rewritten
            out_.write(buffer_);
            buffer_.clear();
        }
    }

    const LegacySheetFormats& sheet_;
    StyleCorrections& styles_;
    StringRunCorrections& strings_;
    ooxml::ZipWriter& out_;
    // The source's shared string and XF of the cell being read, while its value is awaited.
    std::optional<std::pair<std::uint32_t, std::optional<std::uint16_t>>> richString_;
    bool inValue_ = false;
    std::string value_;
    std::string buffer_;
    bool pending_ = false;
    bool inMergeCells_ = false;
    int skipDepth_ = 0;
    std::string mergeCellsName_;
    std::string rowPrefix_;
    std::size_t nextColumn_ = 1; // 1-based: the columns before it are written
    bool sawColumns_ = false;
    std::optional<std::uint32_t> currentRow_;
    std::vector<std::uint32_t> legacyCells_; // CellKeys in sheet order
    std::size_t nextLegacy_ = 0;             // the first not yet met in the converted sheet
    std::unordered_map<std::uint16_t, std::size_t> styleOfXf_;
    std::vector<std::string> merges_;
    std::set<std::pair<std::uint32_t, std::uint32_t>> stated_;
    std::optional<std::string> drawingId_; // of a drawing the sheet must name, until it does
    bool judgeFormulas_ = false;
    const std::unordered_map<std::uint32_t, TakenFormula>* takenFormulas_ = nullptr;
    std::optional<std::uint32_t> formulaCell_; // the watched cell being read
    std::size_t cellStart_ = 0;                // where its start tag is in buffer_
    std::vector<std::pair<std::string, std::string>> cellAttributes_;
    bool sawFormula_ = false;
    bool inFormula_ = false;
    std::string formulaText_;
    std::size_t brokenFormulas_ = 0;
    std::optional<int> digitWidth_; // of the workbook's standard font, in pixels
    int depth_ = 0;
    std::string rootPrefix_;
    std::string relationshipPrefix_;
};

} // namespace

std::map<std::string, std::string> CorrectConvertedPackage(const std::filesystem::path& source,
                                                           const std::filesystem::path& converted,
                                                           const OtherConversion& other) {
    const LegacyWorkbookFormats formats = ReadLegacyWorkbookFormats(source);
    const std::string name = QuotedFileName(source);
    const auto zip = ooxml::ZipReader::OpenFile(converted, source.filename().string());
    const ConvertedWorkbook workbook = ReadConvertedWorkbook(*zip, name);
    const std::optional<std::string> stylesPart = zip->find(kStylesPart);
    if (!stylesPart) {
        return {};
    }
    std::map<std::string, std::size_t> wanted;
    for (const LegacySheetFormats& sheet : formats.worksheets) {
        wanted[sheet.name] = sheet.embeddedCharts;
    }
    EmbeddedChartTransfer charts(*zip, workbook.sheets, wanted, name);
    LostNames names(workbook, formats, name);
    if (charts.needed() || names.needed()) {
        std::unique_ptr<ooxml::ZipReader> donor;
        std::string failure = "no other conversion was tried";
        try {
            if (other) {
                donor = ooxml::ZipReader::OpenFile(other(), source.filename().string());
            }
        } catch (const SpreadsheetError& error) {
            // A conversion that is not a package is named after the source: say whose it is.
            failure = error.code() == ErrorCode::ConverterMissing ||
                              error.code() == ErrorCode::ConversionFailed ||
                              error.code() == ErrorCode::ConversionTimedOut
                          ? error.description()
                          : "Gnumeric's conversion, tried for them, could not be read";
        }
        // Read once for both transfers.
        const OtherWorkbook donorWorkbook =
            donor ? ReadOtherWorkbook(*donor, name) : OtherWorkbook();
        if (charts.needed()) {
            donor ? charts.takeFrom(*donor, donorWorkbook) : charts.giveUp(failure);
        }
        if (names.needed()) {
            names.mend(donor.get(), donorWorkbook, workbook.sheets, failure);
        }
    }
    std::map<std::string, std::string> notes = charts.notes();
    std::optional<int> digitWidth;
    if (!formats.fonts.empty()) { // the first font is the standard one
        const auto metrics = ooxml::MetricsOf(
            {formats.fonts.front().name,
             static_cast<double>(formats.fonts.front().heightTwips) / kTwipsPerPoint});
        if (metrics && metrics->maxDigitWidth > 0) {
            digitWidth = metrics->maxDigitWidth;
        }
    }
    StyleCorrections styles(
        ooxml::ParseXmlTree(zip->readWhole(*stylesPart, ooxml::kMaxWholePartBytes), name,
                            *stylesPart),
        formats);
    std::map<std::string, const LegacySheetFormats*> bySheetPart;
    for (const LegacySheetFormats& sheet : formats.worksheets) {
        if (const auto found = workbook.sheets.find(sheet.name); found != workbook.sheets.end()) {
            bySheetPart[found->second] = &sheet;
        }
    }
    StringRunCorrections strings(formats);
    // Written last, once the sheets have said which strings their cells hold.
    const std::optional<std::string> stringsPart =
        formats.richStrings.empty() ? std::nullopt : workbook.sharedStrings;
    ooxml::WriteFileAtomically(converted, [&](ooxml::OutputSink& sink) {
        ooxml::ZipWriter out(sink);
        for (const std::string& entry : zip->entryNames()) {
            const auto sheet = bySheetPart.find(entry);
            if (sheet == bySheetPart.end()) {
                if (entry != *stylesPart && entry != stringsPart && !charts.replaces(entry) &&
                    !names.replaces(entry)) {
                    out.addRawEntry(entry, *zip, entry);
                }
                continue;
            }
            out.beginEntry(entry);
            SheetCorrector corrector(*sheet->second, styles, strings, out,
                                     charts.drawingIdFor(entry), names.needed(),
                                     names.formulasOf(sheet->second->name), digitWidth);
            ooxml::XmlStreamParser parser(corrector, name, entry);
            zip->readChunks(entry, [&parser](std::string_view chunk) { parser.feed(chunk); });
            parser.finish();
            corrector.finish();
            if (const std::size_t broken = corrector.brokenFormulasLeft()) {
                std::string& note = notes[sheet->second->name];
                note += (note.empty() ? "" : " ") + names.note(broken);
            }
            out.endEntry();
        }
        // Last, once every sheet has added the formats it needs.
        styles.finishCounts();
        std::string xml(ooxml::kXmlDeclaration);
        ooxml::AppendNode(xml, styles.root());
        out.addEntry(*stylesPart, xml);
        if (stringsPart) {
            std::optional<std::string> corrected;
            if (!strings.empty()) {
                try {
                    corrected = strings.corrected(
                        ooxml::ParseXmlTree(zip->readWhole(*stringsPart, ooxml::kMaxWholePartBytes),
                                            name, *stringsPart));
                } catch (const SpreadsheetError&) {
                    // too large or not readable as a whole: the strings stay as converted
                }
            }
            if (corrected) {
                out.addEntry(*stringsPart, *corrected);
            } else {
                out.addRawEntry(*stringsPart, *zip, *stringsPart);
            }
        }
        charts.write(out);
        names.write(out);
        out.finish();
    });
    return notes;
}

} // namespace quillory::spreadsheet::legacy
