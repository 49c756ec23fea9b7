#pragma once
// Shape ids of legacy (VML) drawings. Each VML drawing owns whole blocks of 1024 ids, declared in
// its o:idmap/@data ("1" or "1,2"); a shape of block b is "_x0000_s{1024*b+n}". Blocks must not
// repeat across a workbook, and the sheet XML (controls, OLE objects) and the DrawingML part
// (form-control and OLE shapes repeated inside mc:AlternateContent) name the same numeric ids, so
// one map per copied VML drawing serves all of them.

#include <cstddef>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace quillory::spreadsheet::ooxml {

inline constexpr long kShapeIdsPerBlock = 1024;
// Shape ids are signed 32-bit numbers; the last block that still fits.
inline constexpr long kMaxShapeIdBlock = 2147483647L / kShapeIdsPerBlock - 1;
// The prefix of a numbered VML shape id ("_x0000_s1025").
inline constexpr std::string_view kShapeIdPrefix = "_x0000_s";

// The blocks listed by an o:idmap/@data value; entries that are not numbers are skipped.
std::vector<long> ParseIdMapBlocks(std::string_view data);
// 1025 for "_x0000_s1025"; nullopt for anything else (names, negative or missing numbers).
std::optional<long> ParseShapeId(std::string_view id);
std::string FormatShapeId(long id);

// What one source VML drawing uses, found before it is rewritten.
struct VmlShapeIdUse {
    std::vector<long> declaredBlocks; // o:idmap/@data
    std::vector<long> usedIds;        // numbered shape ids (o:spid, else id)
    std::size_t unnumberedShapes = 0; // shapes whose id is not a usable number: given new ones
};

// Source shape id -> result shape id for one copied VML drawing.
class ShapeIdMap {
public:
    // The result id of a source id; nullopt when that id's block was not part of the drawing.
    std::optional<long> map(long sourceId) const;
    // "_x0000_s1025" -> its result spelling; anything unmapped comes back unchanged.
    std::string mapShapeId(std::string_view id) const;
    // The decimal text of a numeric id attribute ("1025"), mapped; unchanged when unmapped.
    std::string mapNumber(std::string_view number) const;
    // The next id for a shape that had none usable; nullopt when the reserved ones are used up.
    std::optional<long> takeFreshId();
    // The o:idmap/@data value of the result drawing ("5" or "5,6").
    std::string idMapData() const;
    const std::vector<long>& resultBlocks() const { return resultBlocks_; }
    bool empty() const { return resultBlocks_.empty(); }

private:
    friend class ShapeIdAllocator;
    std::map<long, long> blocks_; // source block -> result block
    std::vector<long> resultBlocks_;
    long nextFresh_ = 0;
    long freshEnd_ = 0; // one past the last reserved fresh id
};

// Hands out blocks for the whole result, in order from block 1 (block 0 is never used by the
// writers of spreadsheet programs).
class ShapeIdAllocator {
public:
    // A map for one drawing: every block it declares or uses gets a new block of its own, and
    // room is kept for its unnumbered shapes. Throws SpreadsheetError when the ids run out.
    ShapeIdMap allocate(const VmlShapeIdUse& use);

private:
    long takeBlock();
    long nextBlock_ = 1;
};

// A DrawingML part repeats form-control and OLE shapes of the VML drawing inside
// mc:AlternateContent: the cNvPr/@id of such a shape and the spid of its a14:compatExt name the
// VML shape. Both are mapped through `lookup` (a sheet copy's source id -> result id); the rest of
// the text is left as it is.
std::string MapDrawingShapeIds(std::string_view drawingXml,
                               const std::function<std::optional<long>(long)>& lookup);

} // namespace quillory::spreadsheet::ooxml
