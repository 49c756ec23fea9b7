#pragma once
// Slicers of pivot tables that come along alive: the slicer part of the sheet, its caches
// (registered in the result's workbook extension list, each with the defined name a spreadsheet
// program expects), the slicer anchors of the sheet's drawing. A slicer comes along when every
// pivot table its cache filters is on the slicer's own sheet and came along with it; views and
// caches are renamed where the result already has the name. Everything else (table slicers,
// timelines, slicers of pivot tables elsewhere or left as values) stays out, as reported.
//
// Use: `plan` each sheet relationship of kind "slicer" once the sheet's pivot tables are planned;
// `viewName` tells the drawing which slicer anchors stay; after the pivot tables are written,
// `write` writes the parts and registers the cache names, and `workbookExtensionXml` and
// `workbookRelationships` give what the workbook part needs.

#include "spreadsheet/ooxml/SourcePackage.h"
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

inline constexpr std::string_view kSlicerRelationshipKind = "slicer";

class SlicerCarrier {
public:
    SlicerCarrier();
    ~SlicerCarrier();
    SlicerCarrier(const SlicerCarrier&) = delete;
    SlicerCarrier& operator=(const SlicerCarrier&) = delete;

    // The pivot cache a carried pivot table of the copy uses, by the table's name: the slicer
    // key of its source cache; nullopt when the pivot table did not come along.
    using PivotCacheKey = std::function<std::optional<std::string>(std::string_view name)>;

    // Plans the slicer part `rel` of the sheet `sourceSheet` (copy `copyIndex`, written as
    // `resultSheetPart`); nullopt when it stays out.
    std::optional<Relationship> plan(const SourcePackage& source, int copyIndex,
                                     std::string_view sourceSheet, const Relationship& rel,
                                     std::string_view resultSheetPart,
                                     const PivotCacheKey& pivotCacheKey);

    // The result's name of a carried slicer view of copy `copyIndex`; nullopt when left out.
    std::optional<std::string> viewName(int copyIndex, std::string_view sourceName) const;

    // Writes slicers and caches. `resultCacheKey(copyIndex, pivotTable)` gives the slicer key
    // of the result's cache of a carried pivot table; `nameTaken` whether the result already
    // has a defined name of that spelling; `addName` registers each cache's name.
    void write(const std::function<int(int, std::string_view)>& resultCacheKey,
               const std::function<bool(std::string_view)>& nameTaken,
               const std::function<void(const std::string&)>& addName, ZipWriter& zip,
               ContentTypesWriter& types);

    // The workbook's <extLst> with the slicer caches, or "" when there are none.
    std::string workbookExtensionXml() const;
    std::vector<Relationship> workbookRelationships() const;

    struct Impl;

private:
    std::unique_ptr<Impl> impl_;
};

} // namespace quillory::spreadsheet::ooxml
