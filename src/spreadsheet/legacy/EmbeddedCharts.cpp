#include "spreadsheet/legacy/EmbeddedCharts.h"

#include "spreadsheet/SpreadsheetError.h"
#include "spreadsheet/legacy/DigitText.h"
#include "spreadsheet/ooxml/Limits.h"
#include "spreadsheet/ooxml/package/ContentTypes.h"
#include "spreadsheet/ooxml/package/Relationships.h"
#include "spreadsheet/ooxml/xml/Xml.h"

#include <algorithm>
#include <optional>
#include <tuple>
#include <utility>
#include <vector>

namespace quillory::spreadsheet::legacy {

namespace {

using ooxml::Relationship;
using ooxml::Relationships;
using ooxml::XmlNode;

constexpr const char* kNewDrawingPart = "xl/drawings/drawing1.xml";
// Parts a chart may reach (styles, colours, pictures, shapes drawn on it) are few; more is damage.
constexpr std::size_t kMaxPartsPerChart = 64;

// Why the charts of one sheet cannot come from the other conversion.
struct Unusable {
    std::string reason;
};

bool isChartKind(std::string_view kind) {
    return kind == "chart" || kind == "chartEx";
}

bool isAnchor(const XmlNode& node) {
    const std::string_view local = node.localName();
    return local == "twoCellAnchor" || local == "oneCellAnchor" || local == "absoluteAnchor";
}

std::optional<Relationships> relationshipsOf(const ooxml::ZipReader& zip, const std::string& part,
                                             const std::string& fileName) {
    const auto stored = zip.find(ooxml::RelationshipsPartFor(part));
    if (!stored) {
        return std::nullopt;
    }
    return Relationships::Parse(zip.readWhole(*stored, ooxml::kMaxWholePartBytes), part, fileName);
}

std::string readPart(const ooxml::ZipReader& zip, const std::string& part) {
    const auto stored = zip.find(part);
    if (!stored) {
        throw Unusable{"it names a part it lacks (" + part + ")"};
    }
    return zip.readWhole(*stored, ooxml::kMaxWholePartBytes);
}

// The drawing of a sheet part, internal and present; nothing when it has none.
std::optional<std::string> drawingOf(const ooxml::ZipReader& zip, const std::string& sheetPart,
                                     const std::string& fileName) {
    const auto rels = relationshipsOf(zip, sheetPart, fileName);
    const Relationship* drawing = rels ? rels->firstOfKind("drawing") : nullptr;
    if (drawing == nullptr || drawing->external || !zip.contains(drawing->partName)) {
        return std::nullopt;
    }
    return *zip.find(drawing->partName);
}

std::size_t chartsOf(const ooxml::ZipReader& zip, const std::string& drawingPart,
                     const std::string& fileName) {
    const auto rels = relationshipsOf(zip, drawingPart, fileName);
    if (!rels) {
        return 0;
    }
    return static_cast<std::size_t>(
        std::count_if(rels->all().begin(), rels->all().end(), [](const auto& rel) {
            return isChartKind(ooxml::RelationshipKind(rel.type));
        }));
}

// The relationships of a converted part as stored, with the name they are stored under; none
// when the part has no relationships part.
std::optional<std::pair<std::string, std::vector<Relationship>>>
storedRelationships(const ooxml::ZipReader& zip, const std::string& part,
                    const std::string& fileName) {
    const auto stored = zip.find(ooxml::RelationshipsPartFor(part));
    if (!stored) {
        return std::nullopt;
    }
    return std::pair(*stored, Relationships::Parse(
                                  zip.readWhole(*stored, ooxml::kMaxWholePartBytes), part, fileName)
                                  .all());
}

// Adds an internal relationship from `fromPart` to `toPart` under the first "rId<n>" the list
// does not use, and returns that id.
std::string addRelationship(std::vector<Relationship>& rels, const std::string& type,
                            const std::string& fromPart, const std::string& toPart) {
    for (std::size_t n = rels.size() + 1;; ++n) {
        std::string id = "rId" + std::to_string(n);
        if (std::none_of(rels.begin(), rels.end(),
                         [&](const Relationship& rel) { return rel.id == id; })) {
            rels.push_back({id, type, ooxml::RelativeTarget(fromPart, toPart), false, toPart});
            return id;
        }
    }
}

std::string serialized(const XmlNode& root) {
    std::string xml(ooxml::kXmlDeclaration);
    ooxml::AppendNode(xml, root);
    return xml;
}

// The attributes of a subtree that name a relationship of `rels` (r:id, r:embed, ...).
void collectReferences(XmlNode& node, const Relationships& rels,
                       std::vector<std::pair<XmlNode*, std::string>>& found) {
    for (const auto& [name, value] : node.attributes) {
        if (name.find(':') != std::string::npos && name.rfind("xmlns", 0) != 0 &&
            rels.byId(value) != nullptr) {
            found.emplace_back(&node, name);
        }
    }
    for (XmlNode& child : node.children) {
        collectReferences(child, rels, found);
    }
}

std::size_t highestShapeId(const XmlNode& node) {
    std::size_t highest = 0;
    if (node.localName() == "cNvPr") {
        highest = ParseDigits(node.attributeOr("id", "")).value_or(0);
    }
    for (const XmlNode& child : node.children) {
        highest = std::max(highest, highestShapeId(child));
    }
    return highest;
}

void renumberShapes(XmlNode& node, std::size_t& next) {
    if (node.localName() == "cNvPr") {
        node.setAttribute("id", std::to_string(++next));
    }
    for (XmlNode& child : node.children) {
        renumberShapes(child, next);
    }
}

// Copies parts of the other conversion into the converted package under names it does not use,
// each with the parts its relationships reach.
class PartCopier {
public:
    PartCopier(const ooxml::ZipReader& donor, const ooxml::ContentTypes& donorTypes,
               std::set<std::string>& taken, std::map<std::string, std::string>& entries,
               std::map<std::string, std::string>& overrides, const std::string& fileName)
        : donor_(donor), donorTypes_(donorTypes), taken_(taken), entries_(entries),
          overrides_(overrides), fileName_(fileName) {}

    std::string copy(const std::string& donorPart) {
        if (const auto found = copies_.find(donorPart); found != copies_.end()) {
            return found->second;
        }
        if (copies_.size() >= kMaxPartsPerChart) {
            throw Unusable{"its charts reach more parts than any chart has"};
        }
        const std::string type = donorTypes_.typeOf(donorPart);
        if (type.empty()) {
            throw Unusable{"it gives the part " + donorPart + " no content type"};
        }
        const std::string name = freeName(donorPart);
        copies_[donorPart] = name;
        entries_[name] = readPart(donor_, donorPart);
        overrides_[name] = type;
        if (const auto rels = relationshipsOf(donor_, donorPart, fileName_)) {
            std::vector<Relationship> copied = rels->all();
            for (Relationship& rel : copied) {
                if (!rel.external) {
                    rel.partName = copy(rel.partName);
                    rel.target = ooxml::RelativeTarget(name, rel.partName);
                }
            }
            entries_[ooxml::RelationshipsPartFor(name)] = ooxml::RelationshipsXml(copied);
        }
        return name;
    }

    // "xl/charts/chart5.xml" -> the first of "xl/charts/chart1.xml", "chart2.xml", ... unused.
    std::string freeName(std::string_view model) {
        const std::string folder(ooxml::PartFolder(model));
        std::string file(model.substr(folder.size()));
        const std::size_t dot = std::min(file.rfind('.'), file.size());
        const std::string extension = file.substr(dot);
        std::string stem = file.substr(0, dot);
        stem.erase(stem.find_last_not_of("0123456789") + 1);
        for (std::size_t n = 1;; ++n) {
            const std::string name = folder + stem + std::to_string(n) + extension;
            if (taken_.insert(ooxml::FoldPartName(name)).second) {
                return name;
            }
        }
    }

private:
    const ooxml::ZipReader& donor_;
    const ooxml::ContentTypes& donorTypes_;
    std::set<std::string>& taken_;
    std::map<std::string, std::string>& entries_;
    std::map<std::string, std::string>& overrides_;
    const std::string& fileName_;
    std::map<std::string, std::string> copies_;
};

std::string chartsWord(std::size_t count) {
    return std::to_string(count) + (count == 1 ? " chart" : " charts");
}

} // namespace

EmbeddedChartTransfer::EmbeddedChartTransfer(const ooxml::ZipReader& converted,
                                             const std::map<std::string, std::string>& sheets,
                                             const std::map<std::string, std::size_t>& wanted,
                                             std::string fileName)
    : converted_(converted), fileName_(std::move(fileName)) {
    for (const auto& [name, count] : wanted) {
        const auto part = sheets.find(name);
        if (count == 0 || part == sheets.end()) {
            continue;
        }
        Lacking lacking{part->second, drawingOf(converted_, part->second, fileName_), count};
        const std::size_t kept =
            lacking.drawingPart ? chartsOf(converted_, *lacking.drawingPart, fileName_) : 0;
        if (kept == 0) {
            lacking_.emplace(name, std::move(lacking));
        } else if (kept < count) {
            note(name, count, kept, "");
        }
    }
}

void EmbeddedChartTransfer::note(const std::string& sheetName, std::size_t wanted,
                                 std::size_t carried, const std::string& reason) {
    std::string message =
        carried == 0 ? "The " + chartsWord(wanted) + " embedded in the sheet '" + sheetName + "' " +
                           (wanted == 1 ? "was" : "were") + " not carried over"
                     : "Of the " + chartsWord(wanted) + " embedded in the sheet '" + sheetName +
                           "', only " + std::to_string(carried) + " came over";
    message += ": LibreOffice's conversion of the workbook leaves them out";
    notes_[sheetName] = message + (reason.empty() ? "" : ", and " + reason) + ".";
}

void EmbeddedChartTransfer::giveUp(const std::string& reason) {
    for (const auto& [name, lacking] : lacking_) {
        note(name, lacking.wanted, 0, reason);
    }
    lacking_.clear();
}

std::optional<std::string> EmbeddedChartTransfer::drawingIdFor(const std::string& sheetPart) const {
    const auto found = drawingIds_.find(sheetPart);
    return found != drawingIds_.end() ? std::optional(found->second) : std::nullopt;
}

void EmbeddedChartTransfer::takeFrom(const ooxml::ZipReader& donor,
                                     const OtherWorkbook& donorWorkbook) {
    const std::map<std::string, std::string>& donorSheets = donorWorkbook.worksheets;
    std::optional<ooxml::ContentTypes> donorTypes;
    std::optional<ooxml::ContentTypes> types;
    XmlNode typesRoot;
    const auto unreadable = [this](const std::string& why) {
        giveUp("Gnumeric's conversion, which keeps them, could not be read (" + why + ")");
    };
    if (donorWorkbook.failure) {
        unreadable(*donorWorkbook.failure);
        return;
    }
    try {
        const std::string typesPart(ooxml::kContentTypesPartName);
        donorTypes = ooxml::ContentTypes::Parse(
            donor.readWhole(typesPart, ooxml::kMaxWholePartBytes), fileName_);
        const std::string typesXml = converted_.readWhole(typesPart, ooxml::kMaxWholePartBytes);
        types = ooxml::ContentTypes::Parse(typesXml, fileName_);
        typesRoot = ooxml::ParseXmlTree(typesXml, fileName_, typesPart);
    } catch (const SpreadsheetError& error) {
        unreadable(error.description());
        return;
    }
    Staged staged;
    for (const std::string& entry : converted_.entryNames()) {
        staged.taken.insert(ooxml::FoldPartName(entry));
    }
    for (const auto& [name, lacking] : lacking_) {
        Staged attempt = staged;
        std::size_t carried = 0;
        std::string reason;
        try {
            carried = carry(donor, *donorTypes, donorSheets, name, lacking, attempt);
            reason = "Gnumeric's conversion, tried for them, holds no more of them";
        } catch (const Unusable& unusable) {
            reason = "Gnumeric's conversion of them cannot be used: " + unusable.reason;
        } catch (const SpreadsheetError& error) {
            reason = "Gnumeric's conversion of them cannot be used (" + error.description() + ")";
        }
        if (carried > 0) {
            staged = std::move(attempt);
        }
        if (carried < lacking.wanted) {
            note(name, lacking.wanted, carried, reason);
        }
    }
    lacking_.clear();
    if (staged.entries.empty()) {
        return;
    }
    // Every new part gets its content type; relationship parts only where no default covers them.
    for (const auto& [part, bytes] : staged.entries) {
        const bool relationships = part.find("_rels/") != std::string::npos;
        if ((relationships && types->typeOf(part).empty()) || staged.overrides.count(part) != 0) {
            XmlNode item;
            item.name = "Override";
            item.setAttribute("PartName", "/" + part);
            item.setAttribute("ContentType", relationships
                                                 ? std::string(ooxml::content_type::kRelationships)
                                                 : staged.overrides.at(part));
            typesRoot.children.push_back(std::move(item));
        }
    }
    if (typesRoot.attribute("xmlns") == nullptr) {
        typesRoot.setAttribute("xmlns", std::string(ooxml::kContentTypesNamespace));
    }
    entries_ = std::move(staged.entries);
    entries_[std::string(ooxml::kContentTypesPartName)] = serialized(typesRoot);
    drawingIds_ = std::move(staged.drawingIds);
}

std::size_t EmbeddedChartTransfer::carry(const ooxml::ZipReader& donor,
                                         const ooxml::ContentTypes& donorTypes,
                                         const std::map<std::string, std::string>& donorSheets,
                                         const std::string& sheetName, const Lacking& lacking,
                                         Staged& staged) const {
    const auto donorSheet = donorSheets.find(sheetName);
    if (donorSheet == donorSheets.end()) {
        throw Unusable{"it has no worksheet of that name"};
    }
    const auto donorDrawing = drawingOf(donor, donorSheet->second, fileName_);
    if (!donorDrawing) {
        return 0;
    }
    const auto donorRels = relationshipsOf(donor, *donorDrawing, fileName_);
    if (!donorRels) {
        return 0;
    }
    XmlNode donorRoot =
        ooxml::ParseNamespacedXmlTree(readPart(donor, *donorDrawing), fileName_, *donorDrawing);

    // The drawing that takes the charts: the conversion's own, or a new one.
    std::string drawingPart;
    std::string drawingRelsPart;
    XmlNode drawing;
    std::vector<Relationship> drawingRels;
    PartCopier copier(donor, donorTypes, staged.taken, staged.entries, staged.overrides, fileName_);
    std::size_t nextShapeId = 0;
    if (lacking.drawingPart) {
        drawingPart = *lacking.drawingPart;
        drawing = ooxml::ParseNamespacedXmlTree(readPart(converted_, drawingPart), fileName_,
                                                drawingPart);
        if (auto stored = storedRelationships(converted_, drawingPart, fileName_)) {
            std::tie(drawingRelsPart, drawingRels) = std::move(*stored);
        }
        nextShapeId = highestShapeId(drawing);
    } else {
        drawingPart = copier.freeName(kNewDrawingPart);
        drawing = donorRoot;
        drawing.children.clear();
        staged.overrides[drawingPart] = std::string(ooxml::content_type::kDrawing);
    }
    // Namespaces the donor's anchors use that the receiving drawing does not declare alike.
    std::vector<std::pair<std::string, std::string>> declarations;
    for (const auto& [name, value] : donorRoot.attributes) {
        if (name.rfind("xmlns", 0) == 0) {
            const std::string* same = drawing.attribute(name);
            if (same == nullptr || *same != value) {
                declarations.emplace_back(name, value);
            }
        }
    }

    std::size_t carried = 0;
    for (XmlNode& anchor : donorRoot.children) {
        if (!isAnchor(anchor)) {
            continue;
        }
        std::vector<std::pair<XmlNode*, std::string>> references;
        collectReferences(anchor, *donorRels, references);
        if (references.size() != 1) {
            continue; // a picture, a shape, or a chart with links the copy would lose
        }
        auto& [holder, attribute] = references.front();
        const Relationship* rel = donorRels->byId(*holder->attribute(attribute));
        if (rel->external || !isChartKind(ooxml::RelationshipKind(rel->type))) {
            continue;
        }
        holder->setAttribute(attribute, addRelationship(drawingRels, rel->type, drawingPart,
                                                        copier.copy(rel->partName)));
        if (lacking.drawingPart) {
            renumberShapes(anchor, nextShapeId);
        }
        for (const auto& [name, value] : declarations) {
            anchor.setAttribute(name, value);
        }
        drawing.children.push_back(std::move(anchor));
        ++carried;
    }
    if (carried == 0) {
        return 0;
    }
    std::string drawingXml = serialized(drawing);
    ooxml::ParseNamespacedXmlTree(drawingXml, fileName_, drawingPart); // readable as written
    staged.entries[drawingPart] = std::move(drawingXml);
    staged.entries[drawingRelsPart.empty() ? ooxml::RelationshipsPartFor(drawingPart)
                                           : drawingRelsPart] =
        ooxml::RelationshipsXml(drawingRels);

    if (!lacking.drawingPart) { // the sheet names its new drawing
        std::string sheetRelsPart = ooxml::RelationshipsPartFor(lacking.sheetPart);
        std::vector<Relationship> sheetRels;
        if (auto stored = storedRelationships(converted_, lacking.sheetPart, fileName_)) {
            std::tie(sheetRelsPart, sheetRels) = std::move(*stored);
        }
        const std::string id =
            addRelationship(sheetRels, std::string(ooxml::kRelationshipTypePrefix) + "drawing",
                            lacking.sheetPart, drawingPart);
        staged.entries[sheetRelsPart] = ooxml::RelationshipsXml(sheetRels);
        staged.drawingIds[lacking.sheetPart] = id;
    }
    return carried;
}

void EmbeddedChartTransfer::write(ooxml::ZipWriter& out) const {
    for (const auto& [part, bytes] : entries_) {
        out.addEntry(part, bytes);
    }
}

} // namespace quillory::spreadsheet::legacy
