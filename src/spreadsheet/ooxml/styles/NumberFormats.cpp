#include "spreadsheet/ooxml/styles/NumberFormats.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <utility>

namespace quillory::spreadsheet::ooxml {

namespace {

constexpr std::array<std::pair<int, std::string_view>, 28> kBuiltinCodes = {{
    {0, "General"},
    {1, "0"},
    {2, "0.00"},
    {3, "#,##0"},
    {4, "#,##0.00"},
    {9, "0%"},
    {10, "0.00%"},
    {11, "0.00E+00"},
    {12, "# ?/?"},
    {13, "# ?\?/?\?"}, // escaped: "??/" would read as a trigraph
    {14, "mm-dd-yy"},
    {15, "d-mmm-yy"},
    {16, "d-mmm"},
    {17, "mmm-yy"},
    {18, "h:mm AM/PM"},
    {19, "h:mm:ss AM/PM"},
    {20, "h:mm"},
    {21, "h:mm:ss"},
    {22, "m/d/yy h:mm"},
    {37, "#,##0 ;(#,##0)"},
    {38, "#,##0 ;[Red](#,##0)"},
    {39, "#,##0.00;(#,##0.00)"},
    {40, "#,##0.00;[Red](#,##0.00)"},
    {45, "mm:ss"},
    {46, "[h]:mm:ss"},
    {47, "mmss.0"},
    {48, "##0.0E+0"},
    {49, "@"},
}};

bool IsBuiltinDateId(int id) {
    return (id >= 14 && id <= 17) || id == 22 || (id >= 27 && id <= 31) || id == 36 ||
           (id >= 50 && id <= 58);
}

bool StartsWithNoCase(std::string_view text, std::size_t index, std::string_view word) {
    if (text.size() - index < word.size()) {
        return false;
    }
    for (std::size_t offset = 0; offset < word.size(); ++offset) {
        if (std::tolower(static_cast<unsigned char>(text[index + offset])) != word[offset]) {
            return false;
        }
    }
    return true;
}

// "General", "AM/PM" and "A/P" contain letters that are not date parts.
std::size_t KeywordLength(std::string_view code, std::size_t index) {
    for (const std::string_view word : {"general", "am/pm", "a/p"}) {
        if (StartsWithNoCase(code, index, word)) {
            return word.size();
        }
    }
    return 0;
}

// Looks at the first section of a format code, outside quoted text, escapes and brackets.
bool CodeShowsCalendarDate(std::string_view code) {
    char previousLetter = 0;
    for (std::size_t index = 0; index < code.size(); ++index) {
        const char c = code[index];
        if (c == ';') {
            break;
        }
        if (c == '"') {
            const auto close = code.find('"', index + 1);
            index = close == std::string_view::npos ? code.size() : close;
            continue;
        }
        if (c == '\\' || c == '_' || c == '*') {
            ++index; // the next character is literal or padding
            continue;
        }
        if (c == '[') {
            const auto close = code.find(']', index + 1);
            index = close == std::string_view::npos ? code.size() : close;
            continue;
        }
        if (const std::size_t length = KeywordLength(code, index); length > 0) {
            index += length - 1;
            previousLetter = 0;
            continue;
        }
        {
            const char lower = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
            const bool exponent = lower == 'e' && index + 1 < code.size() &&
                                  (code[index + 1] == '+' || code[index + 1] == '-');
            if (lower == 'd' || lower == 'y' || lower == 'g' || lower == 'b' ||
                (lower == 'e' && !exponent)) {
                return true;
            }
            if (lower == 'm' && previousLetter != 'h' && previousLetter != 'm') {
                // "m" right after hours or right before seconds counts minutes.
                std::size_t next = index;
                while (next < code.size() &&
                       std::tolower(static_cast<unsigned char>(code[next])) == 'm') {
                    ++next;
                }
                while (next < code.size() && (code[next] == ':' || code[next] == ' ')) {
                    ++next;
                }
                if (next >= code.size() ||
                    std::tolower(static_cast<unsigned char>(code[next])) != 's') {
                    return true;
                }
            }
            if (std::isalpha(static_cast<unsigned char>(c))) {
                previousLetter = lower;
            }
        }
    }
    return false;
}

} // namespace

std::optional<std::string_view> BuiltinNumberFormatCode(int id) {
    const auto found = std::find_if(kBuiltinCodes.begin(), kBuiltinCodes.end(),
                                    [id](const auto& entry) { return entry.first == id; });
    if (found == kBuiltinCodes.end()) {
        return std::nullopt;
    }
    return found->second;
}

bool ShowsCalendarDate(int id, std::string_view code) {
    if (code.empty()) {
        return IsBuiltinDateId(id);
    }
    return CodeShowsCalendarDate(code);
}

int ResultNumberFormats::idFor(int sourceId, std::string_view code) {
    if (sourceId >= 0 && sourceId < kFirstCustomNumberFormatId) {
        const auto builtin = BuiltinNumberFormatCode(sourceId);
        if (builtin && *builtin == code) {
            return sourceId;
        }
    }
    std::string key(code);
    if (const auto found = idsByCode_.find(key); found != idsByCode_.end()) {
        return found->second;
    }
    const int id = nextId_++;
    idsByCode_.emplace(key, id);
    customs_.emplace(id, std::move(key));
    return id;
}

} // namespace quillory::spreadsheet::ooxml
