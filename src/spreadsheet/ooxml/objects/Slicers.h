#pragma once
// Slicers and timelines that come along alive: the slicer or timeline part of the sheet, its
// caches (registered in the result's workbook extension lists, each with the defined name a
// spreadsheet program expects), the frames of the sheet's drawing that show them. A pivot slicer
// or timeline comes along when a pivot table it filters came along (on its own sheet or another
// copied one) over the cache it names; a table slicer when its table came along. Views and
// caches are renamed where the result already has the name. A view left out is reported once.
//
// Use: once every sheet's pivot tables and tables are planned, `plan` each sheet relationship of
// kind "slicer" or "timeline"; `viewName` tells the drawing which frames stay; after the pivot
// tables are written, `write` writes the parts and registers the cache names, and
// `workbookExtensionXml` and `workbookRelationships` give what the workbook part needs.

#include "spreadsheet/ooxml/SourcePackage.h"
#include "spreadsheet/ooxml/package/ContentTypes.h"
#include "spreadsheet/ooxml/package/Relationships.h"
#include "spreadsheet/ooxml/package/ZipWriter.h"

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace quillory::spreadsheet::ooxml {

inline constexpr std::string_view kSlicerRelationshipKind = "slicer";
inline constexpr std::string_view kTimelineRelationshipKind = "timeline";

enum class FilterViewKind { Slicer, Timeline };

// Where the result holds what the slicers and timelines of one sheet copy filter.
struct FilterTargets {
    // The copy holding the carried pivot table `name` of the source sheet `sheet`, with the
    // slicer key (x14 pivotCacheId) of its source cache; nullopt when it did not come along.
    std::function<std::optional<std::pair<int, std::string>>(std::string_view sheet,
                                                             std::string_view name)>
        pivot;
    // The result's id of the source table with this id; nullopt when it did not come along.
    std::function<std::optional<int>(int sourceId)> table;
    // The result's name of a custom slicer or timeline style; nullopt when it cannot be carried.
    std::function<std::optional<std::string>(FilterViewKind, const std::string&)> style;
    // The style the source gives views that name none ("" when it sets none).
    std::function<std::string(FilterViewKind)> defaultStyle;
};

// A slicer or timeline part as planned: its relationship when some view came along, and one
// report sentence per view left out.
struct FilterPlan {
    std::optional<Relationship> relationship;
    std::vector<std::string> leftOut;
};

class SlicerCarrier {
public:
    SlicerCarrier();
    ~SlicerCarrier();
    SlicerCarrier(const SlicerCarrier&) = delete;
    SlicerCarrier& operator=(const SlicerCarrier&) = delete;

    // Plans the slicer or timeline part `rel` of the sheet copy `copyIndex`, written as
    // `resultSheetPart`.
    FilterPlan plan(const SourcePackage& source, int copyIndex, const Relationship& rel,
                    std::string_view resultSheetPart, const FilterTargets& targets);

    // The result's name of a carried view of copy `copyIndex`; nullopt when left out.
    std::optional<std::string> viewName(int copyIndex, FilterViewKind kind,
                                        std::string_view sourceName) const;

    // Whether a view of copy `copyIndex` was left out and reported by `plan`.
    bool leftOut(int copyIndex, FilterViewKind kind, std::string_view sourceName) const;

    // Writes views and caches. `resultCacheKey(copyIndex, pivotTable)` gives the slicer key of
    // the result's cache of a carried pivot table; `nameTaken` whether the result already has a
    // defined name of that spelling; `addName` registers each cache's name.
    void write(const std::function<int(int, std::string_view)>& resultCacheKey,
               const std::function<bool(std::string_view)>& nameTaken,
               const std::function<void(const std::string&)>& addName, ZipWriter& zip,
               ContentTypesWriter& types);

    // The workbook's <extLst> with the caches, or "" when there are none.
    std::string workbookExtensionXml() const;
    std::vector<Relationship> workbookRelationships() const;

    struct Impl;

private:
    std::unique_ptr<Impl> impl_;
};

} // namespace quillory::spreadsheet::ooxml
