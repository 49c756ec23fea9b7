#include "spreadsheet/ooxml/objects/Chart.h"

#include "spreadsheet/SpreadsheetError.h"
#include "spreadsheet/ooxml/objects/Drawing.h"

#include <algorithm>
#include <functional>

namespace quillory::spreadsheet::ooxml {

namespace {

constexpr std::string_view kDrawingMainNamespace =
    "http://schemas.openxmlformats.org/drawingml/2006/main";
constexpr std::string_view kChartNamespace =
    "http://schemas.openxmlformats.org/drawingml/2006/chart";
constexpr std::string_view kChartExNamespace =
    "http://schemas.microsoft.com/office/drawing/2014/chartex";

std::string Prefixed(std::string_view qualifiedLike, std::string_view local) {
    const auto colon = qualifiedLike.find(':');
    return colon == std::string_view::npos
               ? std::string(local)
               : std::string(qualifiedLike.substr(0, colon + 1)) + std::string(local);
}

XmlNode Element(std::string name) {
    XmlNode node;
    node.name = std::move(name);
    return node;
}

XmlNode TextElement(std::string name, std::string text) {
    XmlNode node = Element(std::move(name));
    node.setTextContent(std::move(text));
    return node;
}

void CollectText(const XmlNode& node, std::string_view local, std::string& out) {
    for (const auto& child : node.children) {
        if (child.isText()) {
            continue;
        }
        if (child.localName() == local) {
            out += child.textContent();
        } else {
            CollectText(child, local, out);
        }
    }
}

std::string DrawingPrefix(const XmlNode& root) {
    for (const auto& [key, value] : root.attributes) {
        if (key.starts_with("xmlns:") && value == kDrawingMainNamespace) {
            return key.substr(6);
        }
    }
    return {};
}

class ChartRewriter {
public:
    ChartRewriter(const XmlNode& root, const FormulaContext& formulas, bool chartEx)
        : formulas_(formulas), chartEx_(chartEx), drawingPrefix_(DrawingPrefix(root)) {}

    ChartRewriteNotes notes;

    // Returns true when a range that cannot compute sits below `node` outside any series data,
    // so the nearest extension element holding it must go.
    bool walk(XmlNode& node, std::string_view parentLocal) {
        bool failed = false;
        for (std::size_t i = 0; i < node.children.size();) {
            XmlNode& child = node.children[i];
            if (child.isText()) {
                ++i;
                continue;
            }
            const std::string_view local = child.localName();
            if (!chartEx_ &&
                (local == "numRef" || local == "strRef" || local == "multiLvlStrRef")) {
                replaceReference(node, i, parentLocal);
                ++i;
                continue;
            }
            if (local == "f") {
                if (!rewriteInPlace(child)) {
                    if (chartEx_) {
                        // cx: data keeps its levels of values without the range.
                        node.children.erase(node.children.begin() + static_cast<long>(i));
                        ++notes.rangesAsValues;
                        if (node.child("lvl") == nullptr && node.child("v") == nullptr) {
                            ++notes.emptyCaches;
                        }
                        continue;
                    }
                    failed = true;
                }
                ++i;
                continue;
            }
            if (walk(child, node.localName())) {
                if (local == "ext") {
                    node.children.erase(node.children.begin() + static_cast<long>(i));
                    ++notes.dropped;
                    continue;
                }
                failed = true;
            }
            ++i;
        }
        return failed;
    }

private:
    // True when the formula computes in the result (rewritten when needed).
    bool rewriteInPlace(XmlNode& f) {
        const std::string text = f.textContent();
        if (text.empty()) {
            return true;
        }
        const FormulaRewrite rewrite = RewriteFormula(text, formulas_);
        if (!rewrite.computable) {
            return false;
        }
        if (rewrite.changed) {
            f.setTextContent(rewrite.text);
        }
        return true;
    }

    // `holder.children[index]` is a numRef / strRef / multiLvlStrRef; `holderParent` is the
    // local name of the holder's parent (a series name sits in ser/tx).
    void replaceReference(XmlNode& holder, std::size_t index, std::string_view holderParent) {
        XmlNode& ref = holder.children[index];
        XmlNode* f = ref.child("f");
        if (f == nullptr || rewriteInPlace(*f)) {
            return;
        }
        ++notes.rangesAsValues;
        const std::string_view local = ref.localName();
        const XmlNode* cache = ref.child(local == "numRef"   ? "numCache"
                                         : local == "strRef" ? "strCache"
                                                             : "multiLvlStrCache");
        std::vector<XmlNode> points;
        if (cache != nullptr) {
            const XmlNode* level = cache;
            if (local == "multiLvlStrRef") {
                level = cache->child("lvl");
                if (level != nullptr) {
                    ++notes.flattenedLevels;
                }
            }
            for (const auto& child : cache->children) {
                if (!child.isText() &&
                    (child.localName() == "formatCode" || child.localName() == "ptCount")) {
                    points.push_back(child);
                }
            }
            if (level != nullptr) {
                for (const auto& child : level->children) {
                    if (!child.isText() && child.localName() == "pt") {
                        points.push_back(child);
                    }
                }
            }
        }
        const bool empty = std::none_of(points.begin(), points.end(),
                                        [](const XmlNode& n) { return n.localName() == "pt"; });
        if (empty) {
            ++notes.emptyCaches;
        }
        if (holder.localName() == "tx") {
            replaceText(holder, index, holderParent, points);
            return;
        }
        XmlNode literal = Element(Prefixed(ref.name, local == "numRef" ? "numLit" : "strLit"));
        if (empty && std::none_of(points.begin(), points.end(),
                                  [](const XmlNode& n) { return n.localName() == "ptCount"; })) {
            XmlNode count = Element(Prefixed(ref.name, "ptCount"));
            count.setAttribute("val", "0");
            points.push_back(std::move(count));
        }
        literal.children = std::move(points);
        holder.children[index] = std::move(literal);
    }

    // A series name becomes its text (c:v); a title or label becomes rich text.
    void replaceText(XmlNode& holder, std::size_t index, std::string_view holderParent,
                     const std::vector<XmlNode>& points) {
        std::string text;
        for (const auto& point : points) {
            if (point.localName() == "pt") {
                if (const XmlNode* v = point.child("v")) {
                    text = v->textContent();
                }
                break;
            }
        }
        const std::string& refName = holder.children[index].name;
        if (holderParent == "ser") {
            holder.children[index] = TextElement(Prefixed(refName, "v"), text);
            return;
        }
        const std::string a = drawingPrefix_.empty() ? "a" : drawingPrefix_;
        XmlNode rich = Element(Prefixed(refName, "rich"));
        if (drawingPrefix_.empty()) {
            rich.setAttribute("xmlns:a", std::string(kDrawingMainNamespace));
        }
        rich.children.push_back(Element(a + ":bodyPr"));
        XmlNode paragraph = Element(a + ":p");
        XmlNode run = Element(a + ":r");
        run.children.push_back(TextElement(a + ":t", text));
        paragraph.children.push_back(std::move(run));
        rich.children.push_back(std::move(paragraph));
        holder.children[index] = std::move(rich);
    }

    const FormulaContext& formulas_;
    bool chartEx_;
    std::string drawingPrefix_;
};

std::string ChartTitle(const XmlNode& root) {
    const XmlNode* chart = root.child("chart");
    const XmlNode* title = chart != nullptr ? chart->child("title") : nullptr;
    if (title == nullptr) {
        return {};
    }
    std::string text;
    CollectText(*title, "t", text);
    if (text.empty()) {
        CollectText(*title, "v", text);
    }
    return text;
}

bool HasFill(const XmlNode& node) {
    for (const auto& child : node.children) {
        if (child.isText()) {
            continue;
        }
        const std::string_view local = child.localName();
        if (local == "solidFill" || local == "gradFill" || local == "pattFill" ||
            local == "noFill" || local == "blipFill" || HasFill(child)) {
            return true;
        }
    }
    return false;
}

// Whether some series or point takes its colour from the theme in use, having none of its own:
// only those can change colour under another theme.
bool HasAutomaticColours(const XmlNode& node) {
    for (const auto& child : node.children) {
        if (child.isText()) {
            continue;
        }
        const std::string_view local = child.localName();
        if (local == "varyColors" && child.attributeOr("val", "1") != "0") {
            return true;
        }
        if (local == "ser") {
            const XmlNode* shape = child.child("spPr");
            if (shape == nullptr || !HasFill(*shape)) {
                return true;
            }
        } else if (HasAutomaticColours(child)) {
            return true;
        }
    }
    return false;
}

void ReportChart(const PartCopyContext& copy, const ChartRewriteNotes& notes) {
    const std::string which = notes.title.empty() ? "A chart" : "The chart '" + notes.title + "'";
    if (notes.rangesAsValues > notes.emptyCaches) {
        copy.report(ReportKind::FormulaAsValue,
                    which + " reads " + std::to_string(notes.rangesAsValues - notes.emptyCaches) +
                        " range(s) of sheets that are not in the result; they keep the values "
                        "the chart last showed.");
    }
    if (notes.emptyCaches > 0) {
        copy.report(ReportKind::FormulaAsValue,
                    which + " reads " + std::to_string(notes.emptyCaches) +
                        " range(s) of sheets that are not in the result and saved no values "
                        "for them; that data is empty in the result.");
    }
    if (notes.flattenedLevels > 0) {
        copy.report(ReportKind::MayLookDifferent,
                    which + " had category labels on several levels; only the innermost level "
                            "is kept.");
    }
    if (notes.pivotRemoved) {
        copy.report(ReportKind::PartNotCarried,
                    which + " was a pivot chart; it is now an ordinary chart of the values the "
                            "pivot table showed.");
    }
    if (notes.dropped > 0) {
        copy.report(ReportKind::PartNotCarried,
                    which + " took label texts or filtered series from sheets that are not in "
                            "the result; those were left out.");
    }
}

// A pivot chart names its pivot table as "[file]Sheet!PivotTable": where that pivot table came
// along, the name follows its sheet and the chart stays a pivot chart.
bool RepointPivotSource(XmlNode& root, const PartCopyContext& copy) {
    XmlNode* source = root.child("pivotSource");
    XmlNode* name = source != nullptr ? source->child("name") : nullptr;
    if (name == nullptr || !copy.pivotTable) {
        return false;
    }
    const std::string text = name->textContent();
    const std::size_t bracket = text.starts_with('[') ? text.find(']') : std::string::npos;
    const std::size_t start = bracket == std::string::npos ? 0 : bracket + 1;
    std::string sheet;
    std::size_t bang = std::string::npos;
    if (text.compare(start, 1, "'") == 0) { // quoted, '' for an apostrophe
        for (std::size_t i = start + 1; i < text.size(); ++i) {
            if (text[i] == '\'' && i + 1 < text.size() && text[i + 1] == '\'') {
                sheet += '\'';
                ++i;
            } else if (text[i] == '\'') {
                bang = text.compare(i + 1, 1, "!") == 0 ? i + 1 : std::string::npos;
                break;
            } else {
                sheet += text[i];
            }
        }
    } else {
        bang = text.find('!', start);
        sheet = text.substr(start, bang == std::string::npos ? 0 : bang - start);
    }
    if (bang == std::string::npos) {
        return false;
    }
    const std::string pivotTable = text.substr(bang + 1);
    const auto resultSheet = copy.pivotTable(sheet, pivotTable);
    if (!resultSheet) {
        return false;
    }
    name->setTextContent(text.substr(0, start) + *resultSheet + "!" + pivotTable);
    return true;
}

void RewriteChartPart(PartInTransit& part) {
    XmlNode root;
    try {
        root = ParseNamespacedXmlTree(part.xml, part.copy.source->displayName(), part.sourcePart);
    } catch (const SpreadsheetError&) {
        // The drawing already points at this part: an empty chart keeps the result valid.
        part.xml = std::string(kXmlDeclaration) + "<c:chartSpace xmlns:c=\"" +
                   std::string(kChartNamespace) +
                   "\"><c:chart><c:plotArea><c:layout/></c:plotArea></c:chart></c:chartSpace>";
        part.copy.report(ReportKind::PartNotCarried,
                         "Not copied: a chart that is damaged (not readable XML); an empty "
                         "chart stands in its place.");
        return;
    }
    ChartRewriteNotes notes;
    const bool keepPivot = RepointPivotSource(root, part.copy);
    if (part.copy.formulas != nullptr) {
        notes = RewriteChartTree(root, *part.copy.formulas, keepPivot);
    }
    notes.title = ChartTitle(root);
    // A picture or embedded workbook whose part is missing goes with its element.
    const std::set<std::string> prefixes = RelationshipPrefixes(root);
    std::function<void(XmlNode&)> dropUncarried = [&](XmlNode& node) {
        std::erase_if(node.children, [&](const XmlNode& child) {
            if (child.isText()) {
                return false;
            }
            if (child.localName() == "blipFill") {
                return RefersToUncarried(child, prefixes, part.carriedIds);
            }
            XmlNode own = child;
            own.children.clear();
            return RefersToUncarried(own, prefixes, part.carriedIds);
        });
        for (auto& child : node.children) {
            if (!child.isText()) {
                dropUncarried(child);
            }
        }
    };
    dropUncarried(root);
    if (ThemeDiffers(part.copy)) {
        if (FixThemeReferences(root, *part.copy.sourceTheme)) {
            part.copy.report(ReportKind::Adjusted, std::string(kThemeFixedNote));
        }
        if (HasAutomaticColours(root)) {
            part.copy.report(ReportKind::MayLookDifferent,
                             "The workbook uses another colour theme than the result: chart "
                             "series coloured automatically may show other colours.");
        }
    }
    part.xml = PartXml(root);
    ReportChart(part.copy, notes);
}

} // namespace

namespace {

bool IsPivotExtension(const XmlNode& node) {
    if (node.localName() == "pivotOptions") {
        return true;
    }
    return std::any_of(node.children.begin(), node.children.end(), [](const XmlNode& child) {
        return !child.isText() && IsPivotExtension(child);
    });
}

// A pivot chart whose pivot table does not travel becomes an ordinary chart of the cells the
// pivot table left behind.
bool RemovePivotLinks(XmlNode& node) {
    bool removed = false;
    std::erase_if(node.children, [&](const XmlNode& child) {
        const bool pivot =
            !child.isText() &&
            (child.localName() == "pivotSource" || child.localName() == "pivotFmts" ||
             (child.localName() == "ext" && IsPivotExtension(child)));
        removed = removed || pivot;
        return pivot;
    });
    for (auto& child : node.children) {
        if (!child.isText()) {
            removed = RemovePivotLinks(child) || removed;
        }
    }
    return removed;
}

} // namespace

ChartRewriteNotes RewriteChartTree(XmlNode& root, const FormulaContext& formulas, bool keepPivot) {
    const auto colon = root.name.find(':');
    const std::string prefix = colon == std::string::npos ? "" : root.name.substr(0, colon);
    const bool chartEx =
        root.attributeOr(prefix.empty() ? "xmlns" : "xmlns:" + prefix, "") == kChartExNamespace;
    ChartRewriter rewriter(root, formulas, chartEx);
    rewriter.walk(root, {});
    ChartRewriteNotes notes = rewriter.notes;
    notes.title = ChartTitle(root);
    notes.pivotRemoved = !keepPivot && RemovePivotLinks(root);
    return notes;
}

void RegisterChartParts(PartGraph& graph) {
    graph.registerKind("chart", RewriteChartPart);
    graph.registerKind("chartEx", RewriteChartPart);
}

} // namespace quillory::spreadsheet::ooxml
