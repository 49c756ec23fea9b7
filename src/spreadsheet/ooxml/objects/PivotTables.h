#pragma once
// Pivot tables that come along alive: the pivot table part, its cache definition and its cache
// records are carried, each cache registered in the result's workbook under a cacheId of its own
// (two pivot tables that shared a cache share it in the result when their data sources agree),
// and the cache's data source follows the data: to the copy of the data sheet, table or name
// where it came along, otherwise to the range in the source workbook file, as links to other
// workbooks do; a cache fed by a data connection brings the connection along. A pivot table the
// result cannot hold soundly (its cache missing or damaged, a cube, a connection that cannot come
// along) is refused at planning time and its sheet keeps the cells it showed.
//
// Use: `plan` each sheet relationship of kind "pivotTable" while sheets are planned (this fixes
// the pivot table's result part, so the sheet's rels can be written); when every sheet is
// written, `write` resolves the data sources, writes the pivot tables and caches, and then
// `pivotCachesXml` and `workbookRelationships` give what the workbook part needs.

#include "spreadsheet/MergeReport.h"
#include "spreadsheet/ooxml/SourcePackage.h"
#include "spreadsheet/ooxml/objects/Connections.h"
#include "spreadsheet/ooxml/package/ContentTypes.h"
#include "spreadsheet/ooxml/package/Relationships.h"
#include "spreadsheet/ooxml/package/ZipWriter.h"

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace quillory::spreadsheet::ooxml {

inline constexpr std::string_view kPivotTableRelationshipKind = "pivotTable";

// Where the result puts what a pivot table's data source named in its source, for one sheet copy.
struct PivotSourceLookup {
    // Source sheet name -> the result's name of its copy; nullopt when not in the result.
    std::function<std::optional<std::string>(std::string_view)> sheet;
    // Source table name -> the result's table name; nullopt when its sheet is not in the result.
    std::function<std::optional<std::string>(std::string_view)> table;
    // Workbook-scoped defined name -> its name in the result; nullopt when not carried.
    std::function<std::optional<std::string>(std::string_view)> definedName;
    // A differential format of the source -> the result's.
    std::function<int(int)> dxf;
    std::function<std::string(const std::string&)> tableStyle;
    std::function<void(ReportKind, const std::string&)> report;
};

// Why a pivot table stays as the cells it showed; empty when it is carried.
struct PivotPlan {
    std::optional<Relationship> relationship; // for the sheet's rels, when carried
    std::string refusal;                      // a sentence for the report, when not
};

class PivotCarrier {
public:
    explicit PivotCarrier(ResultConnections& connections);
    ~PivotCarrier();
    PivotCarrier(const PivotCarrier&) = delete;
    PivotCarrier& operator=(const PivotCarrier&) = delete;

    // Checks the pivot table `rel` of the sheet `sourceSheet` (copy `copyIndex`, written as
    // `resultSheetPart`) and plans it when it can be carried.
    PivotPlan plan(const SourcePackage& source, int copyIndex, std::string_view sourceSheet,
                   const Relationship& rel, std::string_view resultSheetPart);

    // Writes every planned pivot table and cache; `lookupFor` gives the lookups of a copy.
    void write(const std::function<PivotSourceLookup(int copyIndex)>& lookupFor, ZipWriter& zip,
               ContentTypesWriter& types);

    bool empty() const;
    // Whether copy `copyIndex` carries a pivot table of this name.
    bool carries(int copyIndex, std::string_view name) const;
    // The id slicers use for the cache of a carried pivot table (x14 pivotCacheId) in the
    // source; nullopt when the pivot table is not carried or its cache has no such id.
    std::optional<std::string> sourceSlicerKey(int copyIndex, std::string_view name) const;
    // After `write`: that id of the pivot table's cache in the result; 0 when not carried.
    int resultSlicerKey(int copyIndex, std::string_view name) const;
    // <pivotCaches> for the workbook part (empty text when there are none).
    std::string pivotCachesXml() const;
    // The workbook part's relationships to the cache definitions (targets relative to it).
    std::vector<Relationship> workbookRelationships() const;

    struct Impl;

private:
    std::unique_ptr<Impl> impl_;
};

} // namespace quillory::spreadsheet::ooxml
