#pragma once
// Drawings of a copied sheet (shapes, text boxes, groups, pictures, linked pictures, charts
// placed on it) and the sheet's background picture, carried by the part graph. A drawing's text
// links and camera ranges are rewritten to the result's sheet names, anchors whose part could not
// be carried are left out, macros assigned to shapes are removed (the result has none), and
// theme colours and fonts become fixed values when the source's theme differs from the result's.

#include "spreadsheet/ooxml/objects/PartGraph.h"
#include "spreadsheet/ooxml/xml/Xml.h"

#include <set>
#include <string>
#include <string_view>

namespace quillory::spreadsheet::ooxml {

// The report's sentence for theme colours and fonts made fixed, of cells, shapes and charts alike
// (once per copy), so that the summary of a workbook says it once.
inline constexpr std::string_view kThemeFixedNote =
    "The workbook uses another colour theme than the result: its theme colours and fonts were "
    "fixed to look as before.";

// Registers the drawing, picture and chart kinds, with their rewriters, on `graph`.
void RegisterDrawingParts(PartGraph& graph);

// True when the copy's source theme gives theme references another look in the result.
bool ThemeDiffers(const PartCopyContext& copy);

// Replaces DrawingML theme colours (a:schemeClr) by the source theme's fixed colours, keeping
// their modifiers, and theme font references (+mn-lt, ...) by the source theme's fonts. Returns
// true when anything changed.
bool FixThemeReferences(XmlNode& node, const Theme& sourceTheme);

// Prefixes bound to the relationships namespace anywhere in the tree ("r").
std::set<std::string> RelationshipPrefixes(const XmlNode& root);

// True when an element of the subtree refers (through an attribute with one of `prefixes`) to a
// relationship id that is not in `carried`.
bool RefersToUncarried(const XmlNode& node, const std::set<std::string>& prefixes,
                       const std::set<std::string>& carried);

// The serialised part: XML declaration and the tree.
std::string PartXml(const XmlNode& root);

} // namespace quillory::spreadsheet::ooxml
