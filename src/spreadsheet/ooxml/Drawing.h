#pragma once
// Drawings of a copied sheet (shapes, text boxes, groups, pictures, charts placed on it) and the
// sheet's background picture, carried by the part graph.

#include "spreadsheet/ooxml/PartGraph.h"

namespace quillory::spreadsheet::ooxml {

// Registers the drawing, picture and chart kinds, with their rewriters, on `graph`.
void RegisterDrawingParts(PartGraph& graph);

} // namespace quillory::spreadsheet::ooxml
