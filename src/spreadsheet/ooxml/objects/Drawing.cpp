#include "spreadsheet/ooxml/objects/Drawing.h"

#include "spreadsheet/SpreadsheetError.h"
#include "spreadsheet/ooxml/objects/Chart.h"
#include "spreadsheet/ooxml/package/Relationships.h"
#include "spreadsheet/ooxml/styles/Colors.h"

#include <algorithm>
#include <array>

namespace quillory::spreadsheet::ooxml {

namespace {

constexpr std::string_view kSpreadsheetDrawingNamespace =
    "http://schemas.openxmlformats.org/drawingml/2006/spreadsheetDrawing";
// Graphic frames of slicers and timelines stay when the view came along.
constexpr std::string_view kSlicerGraphicUri =
    "http://schemas.microsoft.com/office/drawing/2010/slicer";
constexpr std::string_view kTimelineGraphicUri =
    "http://schemas.microsoft.com/office/drawing/2012/timeslicer";
// Attributes of shapes that hold a formula (a text box showing a cell, a camera picture).
constexpr std::string_view kFormulaAttributes[] = {"textlink", "cellRange"};
constexpr std::string_view kHyperlinkElements[] = {"hlinkClick", "hlinkHover", "hlinkMouseOver"};

// Scheme colour names in the order of the theme's colour list; bg/tx are the usual mapping.
constexpr std::array<std::pair<std::string_view, std::size_t>, 16> kSchemeColorIndex = {{
    {"lt1", 0},
    {"bg1", 0},
    {"dk1", 1},
    {"tx1", 1},
    {"lt2", 2},
    {"bg2", 2},
    {"dk2", 3},
    {"tx2", 3},
    {"accent1", 4},
    {"accent2", 5},
    {"accent3", 6},
    {"accent4", 7},
    {"accent5", 8},
    {"accent6", 9},
    {"hlink", 10},
    {"folHlink", 11},
}};

std::string_view Prefix(std::string_view qualified) {
    const auto colon = qualified.find(':');
    return colon == std::string_view::npos ? std::string_view() : qualified.substr(0, colon);
}

std::string Prefixed(std::string_view qualifiedLike, std::string_view local) {
    const std::string_view prefix = Prefix(qualifiedLike);
    return prefix.empty() ? std::string(local) : std::string(prefix) + ":" + std::string(local);
}

void CollectPrefixes(const XmlNode& node, std::set<std::string>& out) {
    for (const auto& [key, value] : node.attributes) {
        if (key.starts_with("xmlns:") && value == kRelationshipNamespace) {
            out.insert(key.substr(6));
        }
    }
    for (const auto& child : node.children) {
        if (!child.isText()) {
            CollectPrefixes(child, out);
        }
    }
}

bool IsRelationshipAttribute(std::string_view key, const std::set<std::string>& prefixes) {
    const std::string_view prefix = Prefix(key);
    return !prefix.empty() && prefixes.count(std::string(prefix)) != 0;
}

bool IsHyperlinkElement(const XmlNode& node) {
    for (const auto name : kHyperlinkElements) {
        if (node.localName() == name) {
            return true;
        }
    }
    return false;
}

// A slicer or timeline frame that stays is given the view's name in the result.
bool UsesUncarriedGraphic(XmlNode& node, const PartCopyContext& copy) {
    if (node.localName() == "graphicData") {
        const std::string uri = node.attributeOr("uri", "");
        const bool timeline = uri == kTimelineGraphicUri;
        if (timeline || uri == kSlicerGraphicUri) {
            XmlNode* view = node.child(timeline ? "timeslicer" : "slicer");
            const auto name =
                view != nullptr && copy.filterView
                    ? copy.filterView(timeline ? FilterViewKind::Timeline : FilterViewKind::Slicer,
                                      view->attributeOr("name", ""))
                    : std::nullopt;
            if (!name) {
                return true;
            }
            view->setAttribute("name", *name);
            return false;
        }
    }
    for (auto& child : node.children) {
        if (!child.isText() && UsesUncarriedGraphic(child, copy)) {
            return true;
        }
    }
    return false;
}

struct DrawingNotes {
    int anchorsDropped = 0;
    int linksDropped = 0;
    int alternatesReplaced = 0;
    int macrosRemoved = 0;
    int textLinksDropped = 0;
    std::set<std::string> warnings;
};

// Hyperlinks whose relationship is gone lose the link, not the shape.
void DropUncarriedHyperlinks(XmlNode& node, const std::set<std::string>& prefixes,
                             const std::set<std::string>& carried, DrawingNotes& notes) {
    std::erase_if(node.children, [&](const XmlNode& child) {
        const bool drop = !child.isText() && IsHyperlinkElement(child) &&
                          RefersToUncarried(child, prefixes, carried);
        notes.linksDropped += drop ? 1 : 0;
        return drop;
    });
    for (auto& child : node.children) {
        if (!child.isText()) {
            DropUncarriedHyperlinks(child, prefixes, carried, notes);
        }
    }
}

void RewriteShapeAttributes(XmlNode& node, const FormulaContext* formulas, DrawingNotes& notes) {
    for (auto& [key, value] : node.attributes) {
        const std::string_view local = LocalName(key);
        if (local == "macro" && !value.empty()) {
            value.clear();
            ++notes.macrosRemoved;
            continue;
        }
        for (const auto attribute : kFormulaAttributes) {
            if (local != attribute || value.empty() || formulas == nullptr) {
                continue;
            }
            const FormulaRewrite rewrite = RewriteFormula(value, *formulas);
            if (!rewrite.computable) {
                value.clear();
                ++notes.textLinksDropped;
            } else if (rewrite.changed) {
                value = rewrite.text;
            }
            notes.warnings.insert(rewrite.warnings.begin(), rewrite.warnings.end());
        }
    }
    for (auto& child : node.children) {
        if (!child.isText()) {
            RewriteShapeAttributes(child, formulas, notes);
        }
    }
}

// Whether the node shows a slicer or timeline that was left out and reported by name.
bool ShowsReportedFilterView(const XmlNode& node, const PartCopyContext& copy) {
    if (node.localName() == "graphicData") {
        const std::string uri = node.attributeOr("uri", "");
        const bool timeline = uri == kTimelineGraphicUri;
        const XmlNode* view = node.child(timeline ? "timeslicer" : "slicer");
        return (timeline || uri == kSlicerGraphicUri) && view != nullptr &&
               copy.filterViewReported &&
               copy.filterViewReported(timeline ? FilterViewKind::Timeline : FilterViewKind::Slicer,
                                       view->attributeOr("name", ""));
    }
    return std::any_of(node.children.begin(), node.children.end(), [&](const XmlNode& child) {
        return !child.isText() && ShowsReportedFilterView(child, copy);
    });
}

// mc:AlternateContent around an anchor, or inside one around its content: the first Choice that can
// be carried, else the Fallback.
std::optional<XmlNode> ChooseAlternate(XmlNode& alternate, const std::set<std::string>& prefixes,
                                       const std::set<std::string>& carried,
                                       const PartCopyContext& copy) {
    bool choiceOk = true;
    for (auto& child : alternate.children) {
        if (!child.isText() && child.localName() == "Choice" &&
            (RefersToUncarried(child, prefixes, carried) || UsesUncarriedGraphic(child, copy))) {
            choiceOk = false;
        }
    }
    if (choiceOk) {
        return std::move(alternate);
    }
    for (auto& child : alternate.children) {
        if (!child.isText() && child.localName() == "Fallback") {
            for (auto& inner : child.children) {
                if (!inner.isText() && !RefersToUncarried(inner, prefixes, carried)) {
                    return std::move(inner);
                }
            }
        }
    }
    return std::nullopt;
}

void RewriteDrawing(PartInTransit& part) {
    const std::string fileName = part.copy.source->displayName();
    XmlNode root;
    try {
        root = ParseNamespacedXmlTree(part.xml, fileName, part.sourcePart);
    } catch (const SpreadsheetError&) {
        // An unreadable drawing becomes an empty one; the sheet itself still copies.
        part.xml = std::string(kXmlDeclaration) + "<xdr:wsDr xmlns:xdr=\"" +
                   std::string(kSpreadsheetDrawingNamespace) + "\"/>";
        part.copy.report(ReportKind::PartNotCarried,
                         "Not copied: a drawing that is damaged (not readable XML).");
        return;
    }
    const std::set<std::string> prefixes = RelationshipPrefixes(root);
    DrawingNotes notes;
    // The carried choice of an alternate; a frame given up for its fallback is counted, unless
    // its slicer or timeline was reported by name already.
    const auto choose = [&](XmlNode& alternate) {
        const bool reported = ShowsReportedFilterView(alternate, part.copy);
        auto chosen = ChooseAlternate(alternate, prefixes, part.carriedIds, part.copy);
        if (chosen && chosen->localName() != "AlternateContent" && !reported) {
            ++notes.alternatesReplaced;
        }
        return chosen;
    };
    std::vector<XmlNode> kept;
    for (auto& child : root.children) {
        if (child.isText()) {
            kept.push_back(std::move(child));
        } else if (child.localName() == "AlternateContent") {
            if (auto chosen = choose(child)) {
                kept.push_back(std::move(*chosen));
            } else {
                ++notes.anchorsDropped;
            }
        } else {
            // An anchor whose content is an alternate (a slicer or timeline frame with its
            // fallback shape) keeps the content that can be carried, else it goes.
            bool contentLost = false;
            for (auto& inner : child.children) {
                if (inner.isText() || inner.localName() != "AlternateContent") {
                    continue;
                }
                if (auto chosen = choose(inner)) {
                    inner = std::move(*chosen);
                } else {
                    contentLost = true;
                }
            }
            if (contentLost) {
                ++notes.anchorsDropped;
                continue;
            }
            DropUncarriedHyperlinks(child, prefixes, part.carriedIds, notes);
            if (RefersToUncarried(child, prefixes, part.carriedIds)) {
                ++notes.anchorsDropped;
            } else {
                kept.push_back(std::move(child));
            }
        }
    }
    root.children = std::move(kept);
    RewriteShapeAttributes(root, part.copy.formulas, notes);
    if (ThemeDiffers(part.copy) && FixThemeReferences(root, *part.copy.sourceTheme)) {
        part.copy.report(ReportKind::Adjusted, std::string(kThemeFixedNote));
    }
    part.xml = PartXml(root);

    const auto& report = part.copy.report;
    if (notes.anchorsDropped > 0) {
        report(ReportKind::PartNotCarried,
               "Not copied: " + std::to_string(notes.anchorsDropped) +
                   " picture(s), chart(s) or shape(s) whose content is missing from the workbook "
                   "or not carried.");
    }
    if (notes.alternatesReplaced > 0) {
        report(ReportKind::PartNotCarried,
               "Not copied: " + std::to_string(notes.alternatesReplaced) +
                   " slicer(s), timeline(s) or similar objects; a plain shape stands in their "
                   "place.");
    }
    if (notes.linksDropped > 0) {
        report(ReportKind::PartNotCarried,
               "Not copied: links of shapes whose target is missing from the workbook.");
    }
    if (notes.macrosRemoved > 0) {
        report(ReportKind::PartNotCarried,
               "Not copied: macros assigned to shapes (the result holds no macros).");
    }
    if (notes.textLinksDropped > 0) {
        report(ReportKind::FormulaAsValue,
               "A shape showed the content of a sheet that is not in the result; it keeps the "
               "text it showed.");
    }
    for (const auto& warning : notes.warnings) {
        report(ReportKind::MayLookDifferent, warning);
    }
}

void RewriteThemeOnly(PartInTransit& part) {
    if (!ThemeDiffers(part.copy)) {
        return;
    }
    XmlNode root;
    try {
        root = ParseNamespacedXmlTree(part.xml, part.copy.source->displayName(), part.sourcePart);
    } catch (const SpreadsheetError&) {
        return; // left as the source has it
    }
    if (FixThemeReferences(root, *part.copy.sourceTheme)) {
        part.xml = PartXml(root);
        part.copy.report(ReportKind::Adjusted, std::string(kThemeFixedNote));
    }
}

} // namespace

bool ThemeDiffers(const PartCopyContext& copy) {
    return copy.sourceTheme != nullptr && copy.resultTheme != nullptr &&
           !copy.sourceTheme->equivalentTo(*copy.resultTheme);
}

bool FixThemeReferences(XmlNode& node, const Theme& sourceTheme) {
    bool changed = false;
    if (node.localName() == "schemeClr") {
        const std::string value = node.attributeOr("val", "");
        for (const auto& [name, index] : kSchemeColorIndex) {
            if (value == name) {
                const Argb color = sourceTheme.spreadsheetColors()[index];
                node.name = Prefixed(node.name, "srgbClr");
                node.setAttribute("val", FormatArgb(color).substr(2));
                changed = true;
                break;
            }
        }
    } else if (node.localName() == "latin" || node.localName() == "ea" ||
               node.localName() == "cs") {
        const std::string face = node.attributeOr("typeface", "");
        if (face.size() == 6 && face.starts_with('+')) {
            const ThemeFonts& fonts =
                face.substr(1, 2) == "mj" ? sourceTheme.majorFont() : sourceTheme.minorFont();
            const std::string script = face.substr(4);
            const std::string& resolved = script == "ea"   ? fonts.eastAsian
                                          : script == "cs" ? fonts.complexScript
                                                           : fonts.latin;
            if (!resolved.empty()) {
                node.setAttribute("typeface", resolved);
                changed = true;
            }
        }
    }
    for (auto& child : node.children) {
        if (!child.isText()) {
            changed = FixThemeReferences(child, sourceTheme) || changed;
        }
    }
    return changed;
}

std::set<std::string> RelationshipPrefixes(const XmlNode& root) {
    std::set<std::string> prefixes;
    CollectPrefixes(root, prefixes);
    return prefixes;
}

bool RefersToUncarried(const XmlNode& node, const std::set<std::string>& prefixes,
                       const std::set<std::string>& carried) {
    for (const auto& [key, value] : node.attributes) {
        if (!value.empty() && IsRelationshipAttribute(key, prefixes) && carried.count(value) == 0) {
            return true;
        }
    }
    for (const auto& child : node.children) {
        if (!child.isText() && RefersToUncarried(child, prefixes, carried)) {
            return true;
        }
    }
    return false;
}

std::string PartXml(const XmlNode& root) {
    std::string xml(kXmlDeclaration);
    AppendNode(xml, root);
    return xml;
}

void RegisterDrawingParts(PartGraph& graph) {
    graph.registerKind("drawing", RewriteDrawing);
    graph.registerKind("chartUserShapes", RewriteDrawing);
    graph.registerKind("image");
    graph.registerKind("chartStyle", RewriteThemeOnly);
    graph.registerKind("chartColorStyle", RewriteThemeOnly);
    RegisterChartParts(graph);
}

} // namespace quillory::spreadsheet::ooxml
