#include "spreadsheet/ooxml/formulas/SheetNames.h"

#include "spreadsheet/SpreadsheetError.h"
#include "spreadsheet/Utf8.h"

#include <algorithm>
#include <string>

namespace quillory::spreadsheet::ooxml {
namespace {

constexpr std::string_view kForbiddenCharacters = "[]:*?/\\";
// Reserved by spreadsheet programs for the change history sheet.
constexpr std::string_view kReservedName = "History";
constexpr std::string_view kFallbackName = "Sheet";
constexpr char kReplacementCharacter = '_';

struct DecodedChar {
    char32_t codePoint = 0;
    std::size_t length = 1; // bytes consumed
    bool valid = false;
};

DecodedChar DecodeAt(std::string_view text, std::size_t pos) {
    char32_t c = 0;
    const std::size_t length = DecodeUtf8(text.data() + pos, text.data() + text.size(), c);
    return length == 0 ? DecodedChar{} : DecodedChar{c, length, true};
}

bool InRange(char32_t c, char32_t first, char32_t last) {
    return c >= first && c <= last;
}

// Upper-case member of a pair at an even (or odd) code point, lower case right after it.
char32_t FoldPair(char32_t c, bool upperIsEven) {
    return ((c % 2 == 0) == upperIsEven) ? c + 1 : c;
}

// Simple case folding (one code point to one) for the scripts listed in the header.
char32_t FoldCase(char32_t c) {
    if (c < 0x80) {
        return InRange(c, 'A', 'Z') ? c + 32 : c;
    }
    if (c == 0xB5) {
        return 0x3BC; // micro sign folds to Greek mu
    }
    if (InRange(c, 0xC0, 0xDE) && c != 0xD7) {
        return c + 32;
    }
    if (InRange(c, 0x100, 0x17F)) {
        if (InRange(c, 0x100, 0x12F) || InRange(c, 0x132, 0x137) || InRange(c, 0x14A, 0x177)) {
            return FoldPair(c, true);
        }
        if (InRange(c, 0x139, 0x148) || InRange(c, 0x179, 0x17E)) {
            return FoldPair(c, false);
        }
        if (c == 0x178) {
            return 0xFF;
        }
        if (c == 0x17F) {
            return 's';
        }
        return c;
    }
    if (InRange(c, 0x180, 0x24F)) {
        switch (c) {
        case 0x1C4:
        case 0x1C5:
            return 0x1C6;
        case 0x1C7:
        case 0x1C8:
            return 0x1C9;
        case 0x1CA:
        case 0x1CB:
            return 0x1CC;
        case 0x1F1:
        case 0x1F2:
            return 0x1F3;
        case 0x1F4:
            return 0x1F5;
        default:
            break;
        }
        if (InRange(c, 0x1CD, 0x1DC)) {
            return FoldPair(c, false);
        }
        if (InRange(c, 0x1DE, 0x1EF) || InRange(c, 0x1F8, 0x21F) || InRange(c, 0x222, 0x233) ||
            InRange(c, 0x246, 0x24F)) {
            return FoldPair(c, true);
        }
        return c;
    }
    if (InRange(c, 0x370, 0x3FF)) {
        switch (c) {
        case 0x386:
            return 0x3AC;
        case 0x38C:
            return 0x3CC;
        case 0x3C2:
            return 0x3C3; // final sigma
        case 0x3CF:
            return 0x3D7;
        case 0x3D0:
            return 0x3B2;
        case 0x3D1:
            return 0x3B8;
        case 0x3D5:
            return 0x3C6;
        case 0x3D6:
            return 0x3C0;
        case 0x3F0:
            return 0x3BA;
        case 0x3F1:
            return 0x3C1;
        case 0x3F4:
            return 0x3B8;
        case 0x3F5:
            return 0x3B5;
        case 0x3F7:
            return 0x3F8;
        case 0x3F9:
            return 0x3F2;
        case 0x3FA:
            return 0x3FB;
        default:
            break;
        }
        if (InRange(c, 0x388, 0x38A)) {
            return c + 37;
        }
        if (InRange(c, 0x38E, 0x38F)) {
            return c + 63;
        }
        if (InRange(c, 0x391, 0x3AB) && c != 0x3A2) {
            return c + 32;
        }
        if (InRange(c, 0x3D8, 0x3EF)) {
            return FoldPair(c, true);
        }
        if (InRange(c, 0x3FD, 0x3FF)) {
            return c - 130;
        }
        return c;
    }
    if (InRange(c, 0x400, 0x52F)) {
        if (InRange(c, 0x400, 0x40F)) {
            return c + 80;
        }
        if (InRange(c, 0x410, 0x42F)) {
            return c + 32;
        }
        if (InRange(c, 0x460, 0x481) || InRange(c, 0x48A, 0x4BF) || InRange(c, 0x4D0, 0x52F)) {
            return FoldPair(c, true);
        }
        if (c == 0x4C0) {
            return 0x4CF;
        }
        if (InRange(c, 0x4C1, 0x4CE)) {
            return FoldPair(c, false);
        }
        return c;
    }
    if (InRange(c, 0x531, 0x556)) {
        return c + 48;
    }
    if (InRange(c, 0x10A0, 0x10C5)) {
        return c - 0x10A0 + 0x2D00;
    }
    if (InRange(c, 0x1E00, 0x1EFF)) {
        if (c == 0x1E9B) {
            return 0x1E61;
        }
        if (c == 0x1E9E) {
            return 0xDF; // capital sharp s
        }
        if (InRange(c, 0x1E00, 0x1E95) || InRange(c, 0x1EA0, 0x1EFF)) {
            return FoldPair(c, true);
        }
        return c;
    }
    if (InRange(c, 0x2160, 0x216F)) {
        return c + 16;
    }
    if (InRange(c, 0x24B6, 0x24CF)) {
        return c + 26;
    }
    if (InRange(c, 0xFF21, 0xFF3A)) {
        return c + 32;
    }
    return c;
}

// Invalid bytes fold to values above the Unicode range, distinct per byte, so that two names
// with different invalid bytes never compare equal.
char32_t FoldedAt(std::string_view text, std::size_t pos, std::size_t& length) {
    const DecodedChar decoded = DecodeAt(text, pos);
    length = decoded.length;
    if (!decoded.valid) {
        return 0x110000 + static_cast<unsigned char>(text[pos]);
    }
    return FoldCase(decoded.codePoint);
}

bool IsForbiddenCharacter(char32_t c) {
    return c < 0x20 ||
           (c < 0x80 && kForbiddenCharacters.find(static_cast<char>(c)) != std::string_view::npos);
}

// The longest prefix of text that fits in maxUnits UTF-16 units, cut between characters.
std::string_view CutToUnits(std::string_view text, std::size_t maxUnits) {
    std::size_t units = 0;
    std::size_t pos = 0;
    while (pos < text.size()) {
        const DecodedChar decoded = DecodeAt(text, pos);
        const std::size_t charUnits = decoded.valid && decoded.codePoint >= 0x10000 ? 2 : 1;
        if (units + charUnits > maxUnits) {
            break;
        }
        units += charUnits;
        pos += decoded.length;
    }
    return text.substr(0, pos);
}

// Turns any text into a valid name, changing as little as possible.
std::string SanitizeSheetName(std::string_view wanted) {
    std::string name;
    name.reserve(wanted.size());
    for (std::size_t pos = 0; pos < wanted.size();) {
        const DecodedChar decoded = DecodeAt(wanted, pos);
        if (!decoded.valid || IsForbiddenCharacter(decoded.codePoint)) {
            name += kReplacementCharacter;
        } else {
            name.append(wanted.substr(pos, decoded.length));
        }
        pos += decoded.length;
    }
    const auto first = name.find_first_not_of('\'');
    if (first == std::string::npos) {
        return std::string(kFallbackName);
    }
    name.erase(0, first);
    name = std::string(CutToUnits(name, kMaxSheetNameLength));
    while (!name.empty() && name.back() == '\'') {
        name.pop_back();
    }
    return name;
}

bool IsReservedSheetName(std::string_view name) {
    return SheetNamesEqual(name, kReservedName);
}

// Splits "Base (7)" into "Base" and 7; a name without such a suffix gives itself and 0.
std::pair<std::string_view, long> SplitCopySuffix(std::string_view name) {
    constexpr std::size_t kMaxSuffixDigits = 9;
    if (name.size() < 4 || name.back() != ')') {
        return {name, 0};
    }
    const std::size_t open = name.rfind(" (");
    if (open == std::string_view::npos || open == 0) {
        return {name, 0};
    }
    const std::string_view digits = name.substr(open + 2, name.size() - open - 3);
    if (digits.empty() || digits.size() > kMaxSuffixDigits || digits.front() == '0' ||
        !std::all_of(digits.begin(), digits.end(), [](char c) { return c >= '0' && c <= '9'; })) {
        return {name, 0};
    }
    return {name.substr(0, open), std::stol(std::string(digits))};
}

bool IsAsciiLetter(char c) {
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z');
}
bool IsAsciiDigit(char c) {
    return c >= '0' && c <= '9';
}

// "A1", "xfd1048576", "ABC12": letters then digits, as a cell reference is written.
bool LooksLikeA1Reference(std::string_view name) {
    constexpr std::size_t kMaxColumnLetters = 3;
    std::size_t letters = 0;
    while (letters < name.size() && IsAsciiLetter(name[letters])) {
        ++letters;
    }
    if (letters == 0 || letters > kMaxColumnLetters || letters == name.size()) {
        return false;
    }
    return std::all_of(name.begin() + static_cast<std::ptrdiff_t>(letters), name.end(),
                       IsAsciiDigit);
}

// "R", "C", "RC", "R1C1", "r2", "C12": how a row/column reference is written in R1C1 notation.
bool LooksLikeR1C1Reference(std::string_view name) {
    std::size_t pos = 0;
    const auto digits = [&] {
        while (pos < name.size() && IsAsciiDigit(name[pos])) {
            ++pos;
        }
    };
    bool any = false;
    if (pos < name.size() && (name[pos] == 'R' || name[pos] == 'r')) {
        ++pos, any = true;
        digits();
    }
    if (pos < name.size() && (name[pos] == 'C' || name[pos] == 'c')) {
        ++pos, any = true;
        digits();
    }
    return any && pos == name.size();
}

bool IsBooleanWord(std::string_view name) {
    return SheetNamesEqual(name, "TRUE") || SheetNamesEqual(name, "FALSE");
}

} // namespace

std::size_t Utf16Length(std::string_view utf8) {
    std::size_t units = 0;
    for (std::size_t pos = 0; pos < utf8.size();) {
        const DecodedChar decoded = DecodeAt(utf8, pos);
        units += decoded.valid && decoded.codePoint >= 0x10000 ? 2 : 1;
        pos += decoded.length;
    }
    return units;
}

std::optional<std::string> SheetNameProblem(std::string_view name) {
    if (name.empty()) {
        return "a sheet name cannot be empty";
    }
    for (std::size_t pos = 0; pos < name.size();) {
        const DecodedChar decoded = DecodeAt(name, pos);
        if (!decoded.valid) {
            return "the sheet name is not valid UTF-8 text";
        }
        if (decoded.codePoint < 0x20) {
            return "a sheet name cannot contain control characters";
        }
        if (IsForbiddenCharacter(decoded.codePoint)) {
            return "a sheet name cannot contain any of the characters [ ] : * ? / \\";
        }
        pos += decoded.length;
    }
    if (Utf16Length(name) > kMaxSheetNameLength) {
        return "a sheet name can have at most " + std::to_string(kMaxSheetNameLength) +
               " characters";
    }
    if (name.front() == '\'' || name.back() == '\'') {
        return "a sheet name cannot begin or end with an apostrophe";
    }
    if (IsReservedSheetName(name)) {
        return "the name \"History\" is reserved by spreadsheet programs";
    }
    return std::nullopt;
}

bool IsValidSheetName(std::string_view name) {
    return !SheetNameProblem(name).has_value();
}

bool SheetNamesEqual(std::string_view a, std::string_view b) {
    std::size_t posA = 0;
    std::size_t posB = 0;
    while (posA < a.size() && posB < b.size()) {
        std::size_t lengthA = 0;
        std::size_t lengthB = 0;
        if (FoldedAt(a, posA, lengthA) != FoldedAt(b, posB, lengthB)) {
            return false;
        }
        posA += lengthA;
        posB += lengthB;
    }
    return posA == a.size() && posB == b.size();
}

std::string SheetNameKey(std::string_view name) {
    std::string key;
    key.reserve(name.size());
    for (std::size_t pos = 0; pos < name.size();) {
        std::size_t length = 0;
        const char32_t folded = FoldedAt(name, pos, length);
        if (folded > 0x10FFFF) {
            key.append(name.substr(pos, length)); // keep invalid bytes as they are
        } else {
            AppendUtf8(key, folded);
        }
        pos += length;
    }
    return key;
}

std::string UniqueSheetName(std::string_view wanted,
                            const std::function<bool(std::string_view)>& taken) {
    const std::string candidate = SanitizeSheetName(wanted);
    const auto isFree = [&](std::string_view name) {
        return !IsReservedSheetName(name) && !taken(name);
    };
    if (isFree(candidate)) {
        return candidate;
    }
    const auto [base, existingNumber] = SplitCopySuffix(candidate);
    const long first = existingNumber > 0 ? existingNumber + 1 : 2;
    for (long number = first; number < first + kMaxDuplicateNameAttempts; ++number) {
        const std::string suffix = " (" + std::to_string(number) + ")";
        std::string name(CutToUnits(base, kMaxSheetNameLength - suffix.size()));
        name += suffix;
        if (isFree(name)) {
            return name;
        }
    }
    throw SpreadsheetError(ErrorCode::LimitExceeded,
                           "No free name was found for a copy of the sheet '" + candidate + "'.");
}

std::string QuoteSheetNameIfNeeded(std::string_view name) {
    const bool plainWord = !name.empty() && !IsAsciiDigit(name.front()) && name.front() != '.' &&
                           std::all_of(name.begin(), name.end(), [](char c) {
                               return IsAsciiLetter(c) || IsAsciiDigit(c) || c == '_' || c == '.';
                           });
    if (plainWord && !LooksLikeA1Reference(name) && !LooksLikeR1C1Reference(name) &&
        !IsBooleanWord(name)) {
        return std::string(name);
    }
    std::string quoted;
    quoted.reserve(name.size() + 2);
    quoted += '\'';
    for (char c : name) {
        if (c == '\'') {
            quoted += '\'';
        }
        quoted += c;
    }
    quoted += '\'';
    return quoted;
}

} // namespace quillory::spreadsheet::ooxml
