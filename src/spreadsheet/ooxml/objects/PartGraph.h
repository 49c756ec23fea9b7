#pragma once
// The part-graph copier: every part reachable from a copied sheet's relationships (drawing ->
// chart -> chart style, colours, user shapes, pictures; VML -> pictures; ...) is copied once per
// sheet copy under a new name unique in the result, with its content type taken from the source
// and its relationship ids kept, so the XML that points at them needs no edits where none are
// due. External targets are kept verbatim. Media (parts without relationships and without a
// rewriter) are copied still compressed and shared by every copy with the same bytes.
//
// Use: register the kinds a sheet may carry (and rewriters) once; for each sheet copy, `plan`
// every relationship of the sheet that `carries` a kind (this fixes every result name, so it
// runs before anything is written), then `write` the copy's parts while the result is written,
// and finally `addContentTypes`. A missing target part drops its relationship and is reported
// through the copy's `report` at `write` time; nothing of the kind throws.

#include "spreadsheet/MergeReport.h"
#include "spreadsheet/ooxml/SourcePackage.h"
#include "spreadsheet/ooxml/formulas/Formula.h"
#include "spreadsheet/ooxml/objects/Slicers.h"
#include "spreadsheet/ooxml/package/ContentTypes.h"
#include "spreadsheet/ooxml/package/Relationships.h"
#include "spreadsheet/ooxml/package/ZipWriter.h"
#include "spreadsheet/ooxml/styles/Theme.h"

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <vector>

namespace quillory::spreadsheet::ooxml {

// Deepest chain of relationships followed below a sheet (sheet -> drawing -> chart -> ...).
inline constexpr int kMaxPartGraphDepth = 16;

// What rewriters know about the sheet copy a part belongs to.
struct PartCopyContext {
    const SourcePackage* source = nullptr;
    int copyIndex = 0;       // 0-based position of the sheet copy in the result
    std::string sourceSheet; // the sheet's name in the source
    std::string resultSheet; // its copy's name in the result
    const FormulaContext* formulas = nullptr;
    const Theme* sourceTheme = nullptr;
    const Theme* resultTheme = nullptr;
    // One sentence for the merge report of this copy (repeats are the caller's to fold).
    std::function<void(ReportKind, const std::string&)> report;
    // The result sheet of a pivot table that came along, by its source sheet and name; nullopt
    // when it stayed as values or is not in the result.
    std::function<std::optional<std::string>(std::string_view, std::string_view)> pivotTable;
    // The result's name of a slicer or timeline of this sheet that came along; nullopt when
    // left out.
    std::function<std::optional<std::string>(FilterViewKind, std::string_view)> filterView;
    // Whether such a view was left out and reported already.
    std::function<bool(FilterViewKind, std::string_view)> filterViewReported;
};

// One part on its way into the result, handed to the rewriters registered for it.
struct PartInTransit {
    const PartCopyContext& copy;
    std::string sourcePart;
    std::string resultPart;
    std::string contentType;
    std::string relationshipKind; // kind of the relationship that reached the part ("chart")
    // The part's relationships in the source (targets resolved) and the ids the result keeps:
    // an element pointing at any other id must go.
    std::vector<Relationship> relationships;
    std::set<std::string> carriedIds;
    std::string xml; // the part's text (Strict namespaces already mapped); rewrite in place
};

using PartRewriter = std::function<void(PartInTransit&)>;

class PartGraph {
public:
    PartGraph();
    ~PartGraph();
    PartGraph(const PartGraph&) = delete;
    PartGraph& operator=(const PartGraph&) = delete;

    // A relationship kind ("drawing") a copied sheet carries with its part graph. The rewriter
    // (optional) transforms every part reached through a relationship of that kind, at any depth.
    // Several rewriters of one kind or content type run in the order they were registered.
    void registerKind(std::string kind, PartRewriter rewriter = {});
    // A rewriter for every part of a content type, whatever relationship reached it. It runs
    // before the rewriter of the relationship kind.
    void registerContentType(std::string contentType, PartRewriter rewriter);
    // True when a sheet relationship of this kind is carried.
    bool carries(std::string_view kind) const;

    // A result part name written by someone else, never handed out by the graph.
    void reserve(std::string_view partName);

    // Plans the target of `rel` (a relationship of the sheet part of copy `copyIndex`) and all
    // that is reachable from it. Returns the relationship to write in the result's rels of
    // `resultSheetPart` (same id, transitional type, target relative to the result part), or
    // nullopt when its part is missing (the copy's report says so at write time).
    std::optional<Relationship> plan(const SourcePackage& source, int copyIndex,
                                     const Relationship& rel, std::string_view resultSheetPart);

    // Writes every part planned for the copy, with their relationship parts.
    void write(const PartCopyContext& copy, ZipWriter& zip);

    // Content types of every part written (Default by extension for media, else Override).
    void addContentTypes(ContentTypesWriter& types) const;

    struct Impl;

private:
    std::unique_ptr<Impl> impl_;
};

// The relative location inside a workbook that an internal hyperlink target ("#'Data'!A1")
// points at, rewritten for the result; unchanged when it names nothing that was renamed.
// `computable` false: it names a sheet that is not in the result.
struct LocationRewrite {
    std::string target;
    bool computable = true;
};
LocationRewrite RewriteLocationTarget(std::string_view target, const FormulaContext& formulas);

} // namespace quillory::spreadsheet::ooxml
