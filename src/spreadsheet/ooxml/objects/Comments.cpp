#include "spreadsheet/ooxml/objects/Comments.h"

#include "spreadsheet/SpreadsheetError.h"
#include "spreadsheet/ooxml/objects/Vml.h"
#include "spreadsheet/ooxml/package/ZipReader.h"
#include "spreadsheet/ooxml/styles/Colors.h"
#include "spreadsheet/ooxml/styles/StyleXml.h"

#include <algorithm>
#include <charconv>
#include <span>

namespace quillory::spreadsheet::ooxml {

namespace {

constexpr std::string_view kThreadAuthorPrefix = "tc=";
constexpr std::size_t kMaxReasons = 3;
// Attributes of a form control's properties part that hold formulas.
constexpr std::string_view kControlFormulaAttributes[] = {"fmlaLink", "fmlaRange", "fmlaTxbx",
                                                          "fmlaGroup"};
// Attributes of the sheet's controlPr that hold formulas.
constexpr std::string_view kSheetControlFormulaAttributes[] = {"linkedCell", "listFillRange"};

constexpr std::string_view kLabelActiveX =
    "ActiveX controls whose parts the workbook does not hold";
constexpr std::string_view kLabelMacros =
    "macros assigned to controls and objects (a workbook without macros cannot run them)";
constexpr std::string_view kLabelMissingObjects =
    "embedded objects whose contents the workbook does not hold";
constexpr std::string_view kLabelControlLinks =
    "cell links of form controls that point at sheets not in the result";

bool IsRelationshipId(std::string_view name) {
    const auto colon = name.find(':');
    return colon != std::string_view::npos && name.substr(colon + 1) == "id" &&
           name.substr(0, colon) != "xmlns";
}

const std::string* RelationshipIdOf(const XmlNode& node) {
    for (const auto& [key, value] : node.attributes) {
        if (IsRelationshipId(key)) {
            return &value;
        }
    }
    return nullptr;
}

std::optional<long> ParseId(std::string_view text) {
    long value = 0;
    const auto [ptr, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (error != std::errc() || ptr != text.data() + text.size() || text.empty()) {
        return std::nullopt;
    }
    return value;
}

void MapShapeIdAttribute(XmlNode& node, const ShapeIdLookup& shapeIds) {
    const std::string* value = node.attribute("shapeId");
    if (value == nullptr || !shapeIds) {
        return;
    }
    if (const auto id = ParseId(*value); id && *id != 0) {
        if (const auto mapped = shapeIds(*id)) {
            node.setAttribute("shapeId", std::to_string(*mapped));
        }
    }
}

// Rewrites formula attributes in place; an attribute that cannot compute is removed. Returns how
// many were removed, with their reasons.
std::size_t RewriteFormulaAttributes(XmlNode& node, std::span<const std::string_view> names,
                                     const FormulaContext* formulas,
                                     std::vector<std::string>& reasons) {
    if (formulas == nullptr) {
        return 0;
    }
    std::size_t dropped = 0;
    for (const auto name : names) {
        const std::string* value = node.attribute(name);
        if (value == nullptr || value->empty()) {
            continue;
        }
        const FormulaRewrite rewrite = RewriteFormula(*value, *formulas);
        if (!rewrite.computable) {
            node.removeAttribute(name);
            ++dropped;
            if (reasons.size() < kMaxReasons) {
                reasons.push_back(rewrite.reason);
            }
        } else if (rewrite.changed) {
            node.setAttribute(name, rewrite.text);
        }
    }
    return dropped;
}

// Inside an object that stays (its picture, damaged markup), a relationship id the copy does not
// carry would point at nothing in the result.
void DropUncarriedRelationshipIds(XmlNode& node, const SheetObjectsContext& context) {
    std::erase_if(node.attributes, [&](const auto& attribute) {
        return IsRelationshipId(attribute.first) &&
               (!context.carried || !context.carried(attribute.second));
    });
    for (auto& child : node.children) {
        DropUncarriedRelationshipIds(child, context);
    }
}

bool KeepSheetObject(XmlNode& node, const SheetObjectsContext& context,
                     std::set<std::string>& notCarried) {
    const std::string_view local = node.localName();
    if (local == "control" || local == "oleObject") {
        if (const std::string* id = RelationshipIdOf(node)) {
            if (!context.carried || !context.carried(*id)) {
                notCarried.insert(
                    std::string(local == "control" ? kLabelActiveX : kLabelMissingObjects));
                return false;
            }
        } else if (local == "control") {
            return false; // a control without its properties means nothing
        }
        MapShapeIdAttribute(node, context.shapeIds);
        for (auto& child : node.children) {
            if (child.isText()) {
                continue;
            }
            DropUncarriedRelationshipIds(child, context);
            if (child.localName() != "controlPr" && child.localName() != "objectPr") {
                continue;
            }
            if (child.attribute("macro") != nullptr) {
                child.removeAttribute("macro");
                notCarried.insert(std::string(kLabelMacros));
            }
            std::vector<std::string> reasons;
            if (RewriteFormulaAttributes(child, kSheetControlFormulaAttributes, context.formulas,
                                         reasons) > 0) {
                notCarried.insert(std::string(kLabelControlLinks));
            }
        }
        return true;
    }
    if (const std::string* id = RelationshipIdOf(node);
        id != nullptr && (!context.carried || !context.carried(*id))) {
        // Anything else that points at a part the copy leaves behind (damaged files name
        // objects no reader knows) would point at nothing in the result.
        notCarried.insert(std::string(kLabelMissingObjects));
        return false;
    }
    std::vector<XmlNode> kept;
    bool anyElement = false;
    for (auto& child : node.children) {
        if (!child.isText()) {
            if (!KeepSheetObject(child, context, notCarried)) {
                continue;
            }
            anyElement = true;
        }
        kept.push_back(std::move(child));
    }
    node.children = std::move(kept);
    const bool container = local == "controls" || local == "oleObjects" ||
                           local == "AlternateContent" || local == "Choice" || local == "Fallback";
    return anyElement || !container;
}

} // namespace

CommentsRewrite RewriteComments(std::string_view xml, const GuidMap& threadIds,
                                const ShapeIdLookup& shapeIds, const std::string& fileName,
                                const std::string& partName) {
    CommentsRewrite result;
    XmlNode root = ParseNamespacedXmlTree(xml, fileName, partName);
    const auto threadId = [&](std::string_view id) -> const std::string* {
        const auto found = threadIds.find(FoldGuid(id));
        return found == threadIds.end() ? nullptr : &found->second;
    };
    for (auto& section : root.children) {
        if (section.isText()) {
            continue;
        }
        if (section.localName() == "authors") {
            for (auto& author : section.children) {
                if (author.isText()) {
                    continue;
                }
                const std::string name = author.textContent();
                if (name.starts_with(kThreadAuthorPrefix)) {
                    if (const std::string* mapped =
                            threadId(std::string_view(name).substr(kThreadAuthorPrefix.size()))) {
                        author.setTextContent(std::string(kThreadAuthorPrefix) + *mapped);
                    }
                }
            }
        } else if (section.localName() == "commentList") {
            for (auto& comment : section.children) {
                if (comment.isText() || comment.localName() != "comment") {
                    continue;
                }
                ++result.comments;
                MapShapeIdAttribute(comment, shapeIds);
                for (auto& [key, value] : comment.attributes) {
                    if (LocalName(key) == "uid") {
                        const std::string* mapped = threadId(value);
                        value = mapped != nullptr ? *mapped : NewGuid();
                    }
                }
            }
        }
    }
    result.xml = std::string(kXmlDeclaration);
    AppendNode(result.xml, root);
    return result;
}

std::string FixNoteColors(std::string xml, const Theme* sourceTheme, const Theme* resultTheme) {
    if (sourceTheme == nullptr || resultTheme == nullptr ||
        sourceTheme->equivalentTo(*resultTheme)) {
        return xml;
    }
    const ColorResolver colors(sourceTheme->spreadsheetColors(), std::nullopt);
    FragmentRules rules;
    rules.colors = &colors;
    rules.dropFontScheme = true; // the scheme font would follow the result's theme
    return TranslateFragment(xml, rules);
}

ControlPropertiesRewrite RewriteControlProperties(std::string_view xml,
                                                  const FormulaContext* formulas,
                                                  const std::string& fileName,
                                                  const std::string& partName) {
    ControlPropertiesRewrite result;
    XmlNode root = ParseNamespacedXmlTree(xml, fileName, partName);
    result.linksDropped =
        RewriteFormulaAttributes(root, kControlFormulaAttributes, formulas, result.reasons);
    result.xml = std::string(kXmlDeclaration);
    AppendNode(result.xml, root);
    return result;
}

bool CarrySheetObjects(XmlNode& node, const SheetObjectsContext& context,
                       std::set<std::string>& notCarried) {
    return KeepSheetObject(node, context, notCarried);
}

// ---- the carrier ----

void CommentCarrier::registerWith(PartGraph& graph) {
    graph.registerKind("vmlDrawing", [this](PartInTransit& part) { rewriteVml(part); });
    graph.registerKind("comments", [this](PartInTransit& part) { rewriteComments(part); });
    graph.registerKind("threadedComment", [this](PartInTransit& part) { rewriteThreads(part); });
    graph.registerKind("ctrlProp", [this](PartInTransit& part) { rewriteControl(part); });
    // Form-control and OLE shapes repeated in the DrawingML part keep naming their VML twins.
    graph.registerKind("drawing", [this](PartInTransit& part) {
        part.xml = MapDrawingShapeIds(part.xml, shapeIdsOf(part.copy.copyIndex));
    });
    // OLE objects: the embedded file and the preview picture the sheet's objectPr shows.
    // ActiveX controls: their properties part (and the binary state below it) and the preview.
    for (const auto kind : {"oleObject", "package", "image", "control"}) {
        if (!graph.carries(kind)) {
            graph.registerKind(kind);
        }
    }
}

void CommentCarrier::planSheetRelationship(const SourcePackage& source, int copyIndex,
                                           const Relationship& rel) {
    if (rel.external || rel.partName.empty()) {
        return;
    }
    const auto stored = source.zip().find(rel.partName);
    if (!stored) {
        return; // the part graph reports the missing part
    }
    const std::string_view kind = RelationshipKind(rel.type);
    if (kind == "vmlDrawing") {
        drawingMap(source, copyIndex, *stored);
    } else if (kind == "threadedComment") {
        const auto key = std::make_pair(copyIndex, FoldPartName(*stored));
        if (threadIds_.count(key) != 0) {
            return;
        }
        GuidMap ids = PlanThreadIds(source.readPart(*stored), source.displayName(), *stored);
        threadIdsOfCopy_[copyIndex].insert(ids.begin(), ids.end());
        threadIds_[key] = std::move(ids);
        personsOf(source);
    }
}

ShapeIdMap& CommentCarrier::drawingMap(const SourcePackage& source, int copyIndex,
                                       const std::string& part) {
    const auto key = std::make_pair(copyIndex, FoldPartName(part));
    if (const auto found = drawings_.find(key); found != drawings_.end()) {
        return found->second;
    }
    const VmlShapeIdUse use = ScanVmlShapeIds(source.readPart(part));
    drawingsOfCopy_[copyIndex].push_back(key.second);
    return drawings_[key] = allocator_.allocate(use);
}

std::optional<long> CommentCarrier::mapShapeId(int copyIndex, long sourceId) const {
    const auto parts = drawingsOfCopy_.find(copyIndex);
    if (parts == drawingsOfCopy_.end()) {
        return std::nullopt;
    }
    for (const auto& part : parts->second) {
        if (const auto mapped = drawings_.at({copyIndex, part}).map(sourceId)) {
            return mapped;
        }
    }
    return std::nullopt;
}

ShapeIdLookup CommentCarrier::shapeIdsOf(int copyIndex) const {
    return [this, copyIndex](long id) { return mapShapeId(copyIndex, id); };
}

const GuidMap& CommentCarrier::personsOf(const SourcePackage& source) {
    if (const auto found = personIds_.find(source.identity()); found != personIds_.end()) {
        return found->second;
    }
    GuidMap ids;
    const Relationship* rel = source.workbookRelationships().firstOfKind("person");
    if (rel != nullptr && !rel->external) {
        if (const auto stored = source.zip().find(rel->partName)) {
            try {
                ids = persons_.merge(source.readPart(*stored), source.displayName(), *stored);
            } catch (const SpreadsheetError&) {
                // Unreadable person list: threads keep their author ids, reported as unknown.
            }
        }
    }
    return personIds_[source.identity()] = std::move(ids);
}

void CommentCarrier::rewriteVml(PartInTransit& part) {
    ShapeIdMap& ids = drawingMap(*part.copy.source, part.copy.copyIndex, part.sourcePart);
    VmlRewrite rewrite = RewriteVml(part.xml, ids, part.copy.formulas);
    part.xml = std::move(rewrite.text);
    if (!part.copy.report) {
        return;
    }
    if (rewrite.macrosDropped > 0) {
        part.copy.report(ReportKind::PartNotCarried,
                         "Not copied: " + std::string(kLabelMacros) + ".");
    }
    if (rewrite.formulasDropped > 0) {
        std::string message = std::to_string(rewrite.formulasDropped) +
                              " cell link(s) of form controls were removed because they "
                              "cannot compute in the result";
        if (!rewrite.reasons.empty()) {
            message += ": " + rewrite.reasons.front();
        }
        part.copy.report(ReportKind::PartNotCarried, message + ".");
    }
}

void CommentCarrier::rewriteComments(PartInTransit& part) {
    const auto threads = threadIdsOfCopy_.find(part.copy.copyIndex);
    static const GuidMap kNone;
    try {
        part.xml =
            RewriteComments(part.xml, threads == threadIdsOfCopy_.end() ? kNone : threads->second,
                            shapeIdsOf(part.copy.copyIndex), part.copy.source->displayName(),
                            part.sourcePart)
                .xml;
        part.xml = FixNoteColors(std::move(part.xml), part.copy.sourceTheme, part.copy.resultTheme);
    } catch (const SpreadsheetError&) {
        // Copied as they are, they would make the result unreadable: an empty list stands in.
        part.xml = std::string(kXmlDeclaration) + "<comments xmlns=\"" +
                   std::string(kSpreadsheetMainNs) + "\"><authors/><commentList/></comments>";
        if (part.copy.report) {
            part.copy.report(ReportKind::PartNotCarried,
                             "Not copied: the notes of this sheet, which are damaged in the "
                             "workbook (not readable XML).");
        }
    }
}

void CommentCarrier::rewriteThreads(PartInTransit& part) {
    const auto key = std::make_pair(part.copy.copyIndex, FoldPartName(part.sourcePart));
    if (threadIds_.count(key) == 0) { // reached without planning (not from the sheet itself)
        GuidMap ids = PlanThreadIds(part.xml, part.copy.source->displayName(), part.sourcePart);
        threadIdsOfCopy_[part.copy.copyIndex].insert(ids.begin(), ids.end());
        threadIds_[key] = std::move(ids);
    }
    const GuidMap& people = personsOf(*part.copy.source);
    try {
        const ThreadedCommentsRewrite rewrite = RewriteThreadedComments(
            part.xml, threadIds_[key], people, part.copy.source->displayName(), part.sourcePart);
        part.xml = rewrite.xml;
        if (part.copy.report && rewrite.unknownPeople > 0) {
            part.copy.report(ReportKind::MayLookDifferent,
                             "Some threaded comments or mentions name people the workbook does "
                             "not list; they show without a name.");
        }
    } catch (const SpreadsheetError&) {
        // Copied unchanged, the ids would repeat those of another copy: keep it out instead.
        part.xml = std::string(kXmlDeclaration) + "<ThreadedComments xmlns=\"" +
                   std::string(kThreadedCommentsNamespace) + "\"/>";
        if (part.copy.report) {
            part.copy.report(ReportKind::PartNotCarried,
                             "Not copied: threaded comments, which are damaged in the workbook "
                             "(their notes are kept).");
        }
    }
}

void CommentCarrier::rewriteControl(PartInTransit& part) {
    try {
        const ControlPropertiesRewrite rewrite = RewriteControlProperties(
            part.xml, part.copy.formulas, part.copy.source->displayName(), part.sourcePart);
        part.xml = rewrite.xml;
        if (part.copy.report && rewrite.linksDropped > 0) {
            std::string message = "Not copied: " + std::string(kLabelControlLinks);
            if (!rewrite.reasons.empty()) {
                message += " (" + rewrite.reasons.front() + ")";
            }
            part.copy.report(ReportKind::PartNotCarried, message + ".");
        }
    } catch (const SpreadsheetError&) {
        part.xml =
            std::string(kXmlDeclaration) + "<formControlPr xmlns=\"" + std::string(kX14Ns) + "\"/>";
        if (part.copy.report) {
            part.copy.report(ReportKind::PartNotCarried,
                             "Not copied: a form control's settings, which are damaged in the "
                             "workbook (not readable XML); the control keeps its defaults.");
        }
    }
}

} // namespace quillory::spreadsheet::ooxml
