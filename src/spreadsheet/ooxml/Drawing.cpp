#include "spreadsheet/ooxml/Drawing.h"

namespace quillory::spreadsheet::ooxml {

void RegisterDrawingParts(PartGraph& graph) {
    graph.registerKind("drawing");
    graph.registerKind("image");
}

} // namespace quillory::spreadsheet::ooxml
