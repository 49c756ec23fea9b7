#pragma once
// Names that must differ within the result (tables, slicers, connections) keep the wanted name
// where it is free and otherwise take a number, each kind in the form its readers expect.

#include <climits>
#include <string>
#include <string_view>

namespace quillory::spreadsheet::ooxml {

// How a taken name is numbered: wanted + separator + n, for n from `first` to `last`.
struct NumberedSuffix {
    std::string_view separator;
    int first = 1;
    int last = INT_MAX;
};

// `wanted` when `isFree` accepts it, else the first numbered form it accepts; the last form
// tried when none is.
template <typename IsFree>
std::string UniqueName(const std::string& wanted, const NumberedSuffix& suffix,
                       const IsFree& isFree) {
    std::string name = wanted;
    for (int n = suffix.first; !isFree(name) && n <= suffix.last; ++n) {
        name = wanted + std::string(suffix.separator) + std::to_string(n);
    }
    return name;
}

} // namespace quillory::spreadsheet::ooxml
