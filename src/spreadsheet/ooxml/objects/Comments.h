#pragma once
// Notes (the legacy comments part and its VML drawing), threaded comments and their people,
// form controls (ctrlProp parts and the sheet's controls), OLE objects (embedded parts and their
// previews) and header/footer pictures: what a sheet copy carries of them, with the ids that
// must stay unique in the result renumbered, and what a result can never hold (macro links)
// removed and reported. ActiveX controls travel like form controls, with their parts.

#include "spreadsheet/ooxml/SourcePackage.h"
#include "spreadsheet/ooxml/formulas/Formula.h"
#include "spreadsheet/ooxml/objects/PartGraph.h"
#include "spreadsheet/ooxml/objects/ShapeIds.h"
#include "spreadsheet/ooxml/objects/ThreadedComments.h"
#include "spreadsheet/ooxml/package/ZipWriter.h"
#include "spreadsheet/ooxml/styles/Theme.h"
#include "spreadsheet/ooxml/xml/Xml.h"

#include <cstddef>
#include <functional>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace quillory::spreadsheet::ooxml {

inline constexpr std::string_view kControlPropertiesContentType =
    "application/vnd.ms-excel.controlproperties+xml";

// A source shape id of one sheet copy -> its id in the result (nullopt: not renumbered).
using ShapeIdLookup = std::function<std::optional<long>(long)>;

struct CommentsRewrite {
    std::string xml;
    std::size_t comments = 0;
};

// Rewrites a comments part: the "tc={id}" authors and xr:uid of notes that mirror threaded
// comments follow `threadIds`, other uids get new GUIDs, shape ids follow `shapeIds`. Throws
// SpreadsheetError when the part is not well-formed XML.
CommentsRewrite RewriteComments(std::string_view xml, const GuidMap& threadIds,
                                const ShapeIdLookup& shapeIds, const std::string& fileName,
                                const std::string& partName);

// Theme colours in the rich text of notes, fixed to the colours they show in the source when
// the result's theme differs (`xml` unchanged when either theme is null or they agree).
std::string FixNoteColors(std::string xml, const Theme* sourceTheme, const Theme* resultTheme);

struct ControlPropertiesRewrite {
    std::string xml;
    std::size_t linksDropped = 0; // cell links that cannot compute in the result
    std::vector<std::string> reasons;
};
// Rewrites the cell links of a form control's properties (fmlaLink, fmlaRange, ...).
ControlPropertiesRewrite RewriteControlProperties(std::string_view xml,
                                                  const FormulaContext* formulas,
                                                  const std::string& fileName,
                                                  const std::string& partName);

// What the sheet part's controls and oleObjects elements need from the copy.
struct SheetObjectsContext {
    std::function<bool(std::string_view)> carried; // is this relationship id carried?
    ShapeIdLookup shapeIds;
    const FormulaContext* formulas = nullptr;
};
// Processes a worksheet child that holds controls or OLE objects (controls, oleObjects, or the
// mc:AlternateContent around them): shape ids renumbered, cell links rewritten, macros removed,
// entries whose part is not carried removed. Adds what was left out to `notCarried`.
// Returns false when nothing is left of the element.
bool CarrySheetObjects(XmlNode& node, const SheetObjectsContext& context,
                       std::set<std::string>& notCarried);

// The result-wide state of notes, threads, people, controls and OLE objects. Registers its
// part kinds with the part graph, plans what needs planning before anything is written, and
// writes the workbook-level person list.
class CommentCarrier {
public:
    void registerWith(PartGraph& graph);
    // Called for every relationship of a copied sheet, before anything is written.
    void planSheetRelationship(const SourcePackage& source, int copyIndex, const Relationship& rel);
    // The shape-id lookup of a sheet copy (controls, OLE objects, their DrawingML twins).
    ShapeIdLookup shapeIdsOf(int copyIndex) const;
    std::optional<long> mapShapeId(int copyIndex, long sourceId) const;

    bool hasPersons() const { return !persons_.empty(); }
    std::string personsXml() const { return persons_.toXml(); }

private:
    ShapeIdMap& drawingMap(const SourcePackage& source, int copyIndex, const std::string& part);
    const GuidMap& personsOf(const SourcePackage& source);
    void rewriteVml(PartInTransit& part);
    void rewriteComments(PartInTransit& part);
    void rewriteThreads(PartInTransit& part);
    void rewriteControl(PartInTransit& part);

    ShapeIdAllocator allocator_;
    // (copy, folded source part) -> its map, in planning order per copy.
    std::map<std::pair<int, std::string>, ShapeIdMap> drawings_;
    std::map<int, std::vector<std::string>> drawingsOfCopy_;
    std::map<std::pair<int, std::string>, GuidMap> threadIds_; // per copy and thread part
    std::map<int, GuidMap> threadIdsOfCopy_;                   // all threads of a copy
    std::map<std::string, GuidMap> personIds_;                 // per source identity
    ResultPersons persons_;
};

} // namespace quillory::spreadsheet::ooxml
