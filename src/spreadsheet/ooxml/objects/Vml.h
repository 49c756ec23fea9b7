#pragma once
// Legacy VML drawings (notes, form controls, OLE previews, header and footer pictures). Files
// written by spreadsheet programs are often not well-formed XML (unclosed <br>, bare attributes,
// stray markup), so VML is never given to the XML parser: a tolerant scanner finds the few spans
// that must change (shape ids, formulas, macro links) and everything else is copied byte for
// byte. Nothing here throws on malformed input; what cannot be understood is left as it was.

#include "spreadsheet/ooxml/formulas/Formula.h"
#include "spreadsheet/ooxml/objects/ShapeIds.h"

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace quillory::spreadsheet::ooxml {

// One shape's x:ClientData, as far as it could be read.
struct VmlShape {
    std::string objectType; // "Note", "Button", "Pict", "Checkbox", ... ("" when none)
    int row = -1;           // x:Row / x:Column: 0-based cell of a note, -1 when absent
    int column = -1;
    bool visible = false; // x:Visible present (a note shown all the time)
};

// The shapes of a drawing, in document order (shapes without x:ClientData are not listed).
std::vector<VmlShape> ListVmlShapes(std::string_view vml);

// The blocks and ids a drawing uses, for ShapeIdAllocator::allocate.
VmlShapeIdUse ScanVmlShapeIds(std::string_view vml);

struct VmlRewrite {
    std::string text;
    std::size_t macrosDropped = 0;    // x:FmlaMacro links removed (macros never enter the result)
    std::size_t formulasDropped = 0;  // cell links that cannot compute in the result, removed
    std::vector<std::string> reasons; // why formulas were removed (a few)
};

// Rewrites a drawing for the result: shape ids and the o:idmap through `ids`, cell links
// (x:FmlaLink, x:FmlaRange, ...) through `formulas` (when null they are kept as written), macro
// links removed.
VmlRewrite RewriteVml(std::string_view vml, ShapeIdMap& ids, const FormulaContext* formulas);

} // namespace quillory::spreadsheet::ooxml
