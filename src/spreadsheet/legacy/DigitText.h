#pragma once
// Whole numbers as package attributes write them: plain decimal digits (row numbers, indexes,
// shape ids), read without the sign, spaces and overflow the standard conversions accept.

#include <cstddef>
#include <optional>
#include <string_view>

namespace quillory::spreadsheet::legacy {

// Nine digits always fit, and are more than any index of a workbook reaches.
inline constexpr std::size_t kMaxIndexDigits = 9;

// The value of `text` when it is one to `maxDigits` decimal digits; nothing for anything else.
inline std::optional<std::size_t> ParseDigits(std::string_view text,
                                              std::size_t maxDigits = kMaxIndexDigits) {
    if (text.empty() || text.size() > maxDigits ||
        text.find_first_not_of("0123456789") != std::string_view::npos) {
        return std::nullopt;
    }
    std::size_t value = 0;
    for (const char c : text) {
        value = value * 10 + static_cast<std::size_t>(c - '0');
    }
    return value;
}

} // namespace quillory::spreadsheet::legacy
