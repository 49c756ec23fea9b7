#pragma once
// Charts placed on a copied sheet (c:chartSpace and the newer cx: chart parts): every range a
// chart reads (series values, categories, names, titles, label ranges) is rewritten to the
// result's sheet names; a range on a sheet that is not in the result becomes literal data taken
// from the chart's own cache, so the chart still shows what it showed, and the report says so.

#include "spreadsheet/ooxml/objects/PartGraph.h"
#include "spreadsheet/ooxml/xml/Xml.h"

#include <string>

namespace quillory::spreadsheet::ooxml {

// Registers the chart and chartEx rewriters on `graph`.
void RegisterChartParts(PartGraph& graph);

// What rewriting one chart did.
struct ChartRewriteNotes {
    int rangesAsValues = 0;    // ranges turned into literal data
    int emptyCaches = 0;       // of those, ranges without saved values (now empty)
    int flattenedLevels = 0;   // multi-level categories kept as their innermost level
    int dropped = 0;           // extension ranges left out (label ranges, filtered series)
    bool pivotRemoved = false; // a pivot chart's link to its pivot table was removed
    std::string title;         // the chart's title, when it has one
};

// Rewrites a chart's XML tree in place with `formulas`. A pivot chart whose pivot table stayed
// behind or as values loses its link to it and keeps the cells it plotted.
// `keepPivot`: the chart's pivot table came along, so it stays a pivot chart.
ChartRewriteNotes RewriteChartTree(XmlNode& root, const FormulaContext& formulas,
                                   bool keepPivot = false);

} // namespace quillory::spreadsheet::ooxml
