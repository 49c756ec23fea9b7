#include "spreadsheet/ooxml/sheetcopy/CellPosition.h"

#include <charconv>

namespace quillory::spreadsheet::ooxml {

std::optional<CellPosition> ParseCellPosition(std::string_view ref) {
    CellPosition position;
    std::size_t i = 0;
    for (; i < ref.size() && ref[i] >= 'A' && ref[i] <= 'Z' && position.column <= kMaxColumns;
         ++i) {
        position.column = position.column * 26 + (ref[i] - 'A' + 1);
    }
    const char* end = ref.data() + ref.size();
    const auto [stop, ec] = std::from_chars(ref.data() + i, end, position.row);
    if (i == 0 || i == ref.size() || ref[i] < '0' || ref[i] > '9' || ec != std::errc() ||
        stop != end || position.column > kMaxColumns || position.row < 1 ||
        position.row > kMaxRows) {
        return std::nullopt;
    }
    return position;
}

std::optional<CellArea> ParseCellArea(std::string_view ref) {
    const std::size_t colon = ref.find(':');
    const auto first = ParseCellPosition(ref.substr(0, colon));
    const auto last =
        colon == std::string_view::npos ? first : ParseCellPosition(ref.substr(colon + 1));
    if (!first || !last || first->column > last->column || first->row > last->row) {
        return std::nullopt;
    }
    return CellArea{*first, *last};
}

} // namespace quillory::spreadsheet::ooxml
