#pragma once
// Cell positions as a worksheet writes them ("AB12", "A1:C4"), checked against the size of a
// worksheet, so a copy can leave out what a reader would refuse.

#include <optional>
#include <string_view>

namespace quillory::spreadsheet::ooxml {

inline constexpr long long kMaxRows = 1'048'576;
inline constexpr long long kMaxColumns = 16'384;

struct CellPosition {
    long long column = 0; // 1-based
    long long row = 0;    // 1-based
};

// "AB12"; nullopt when it is not a cell of a worksheet.
std::optional<CellPosition> ParseCellPosition(std::string_view ref);

struct CellArea {
    CellPosition first; // top left
    CellPosition last;  // bottom right
    long long columns() const { return last.column - first.column + 1; }
    bool overlaps(const CellArea& other) const {
        return first.row <= other.last.row && other.first.row <= last.row &&
               first.column <= other.last.column && other.first.column <= last.column;
    }
};

// "A1:C4" or a single cell "B2"; nullopt unless the first cell is above and left of the last.
std::optional<CellArea> ParseCellArea(std::string_view ref);

} // namespace quillory::spreadsheet::ooxml
