#include "spreadsheet/legacy/TextEncoding.h"

#include "spreadsheet/Utf8.h"

#include <algorithm>
#include <array>
#include <cerrno>
#include <iconv.h>
#include <vector>

namespace quillory::spreadsheet::legacy {

namespace {

constexpr char32_t kReplacementCharacter = 0xFFFD;
// Code page values of the CODEPAGE record with a meaning of their own.
constexpr std::uint16_t kCodePageAscii = 367;
constexpr std::uint16_t kCodePageUtf16 = 1200;
constexpr std::uint16_t kCodePageWindows1252 = 1252;
constexpr std::uint16_t kCodePageMacRoman = 10000;
constexpr std::uint16_t kCodePageMacRomanAlias = 32768;
constexpr std::uint16_t kCodePageWindows1252Alias = 32769;

// 0x80 to 0x9F of Windows-1252; the rest of its upper half equals ISO 8859-1. Undefined
// positions map to the C1 control of the same value, as Windows does.
constexpr std::array<char16_t, 32> kWindows1252High = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0x008D, 0x017D, 0x008F, 0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178};

std::string iconvName(std::uint16_t codePage) {
    if (codePage == kCodePageMacRoman || codePage == kCodePageMacRomanAlias) {
        return "MACINTOSH";
    }
    return "CP" + std::to_string(codePage);
}

std::optional<std::string> convertWithIconv(std::string_view bytes, const std::string& from) {
    iconv_t converter = iconv_open("UTF-8", from.c_str());
    if (converter == reinterpret_cast<iconv_t>(-1)) {
        return std::nullopt;
    }
    std::string input(bytes);
    // Four UTF-8 bytes per input byte is the most any of these code pages needs.
    std::vector<char> output(input.size() * 4 + 4);
    char* in = input.data();
    std::size_t inLeft = input.size();
    char* out = output.data();
    std::size_t outLeft = output.size();
    std::string result;
    while (inLeft > 0) {
        const std::size_t done = iconv(converter, &in, &inLeft, &out, &outLeft);
        if (done != static_cast<std::size_t>(-1)) {
            break;
        }
        if (errno == EILSEQ || errno == EINVAL) {
            // A byte with no meaning in the code page: keep the rest readable.
            result.append(output.data(), static_cast<std::size_t>(out - output.data()));
            AppendUtf8(result, kReplacementCharacter);
            out = output.data();
            outLeft = output.size();
            ++in;
            --inLeft;
            continue;
        }
        iconv_close(converter);
        return std::nullopt;
    }
    result.append(output.data(), static_cast<std::size_t>(out - output.data()));
    iconv_close(converter);
    return result;
}

} // namespace

std::string Utf16LeToUtf8(std::string_view bytes) {
    std::string out;
    out.reserve(bytes.size());
    const std::size_t units = bytes.size() / 2;
    auto unitAt = [&](std::size_t i) {
        return static_cast<char16_t>(static_cast<unsigned char>(bytes[2 * i]) |
                                     (static_cast<unsigned char>(bytes[2 * i + 1]) << 8));
    };
    for (std::size_t i = 0; i < units; ++i) {
        const char16_t unit = unitAt(i);
        if (unit >= 0xD800 && unit <= 0xDBFF && i + 1 < units) {
            const char16_t low = unitAt(i + 1);
            if (low >= 0xDC00 && low <= 0xDFFF) {
                AppendUtf8(out, 0x10000 + ((static_cast<char32_t>(unit) - 0xD800) << 10) +
                                    (static_cast<char32_t>(low) - 0xDC00));
                ++i;
                continue;
            }
        }
        if (unit >= 0xD800 && unit <= 0xDFFF) {
            AppendUtf8(out, kReplacementCharacter);
        } else {
            AppendUtf8(out, unit);
        }
    }
    return out;
}

std::string Latin1ToUtf8(std::string_view bytes) {
    std::string out;
    out.reserve(bytes.size());
    for (const char byte : bytes) {
        AppendUtf8(out, static_cast<unsigned char>(byte));
    }
    return out;
}

std::string Windows1252ToUtf8(std::string_view bytes) {
    std::string out;
    out.reserve(bytes.size());
    for (const char byte : bytes) {
        const auto value = static_cast<unsigned char>(byte);
        if (value >= 0x80 && value < 0xA0) {
            AppendUtf8(out, kWindows1252High[value - 0x80]);
        } else {
            AppendUtf8(out, value);
        }
    }
    return out;
}

std::optional<std::string> CodePageToUtf8(std::string_view bytes, std::uint16_t codePage) {
    const bool ascii = std::all_of(bytes.begin(), bytes.end(),
                                   [](char c) { return static_cast<unsigned char>(c) < 0x80; });
    if (ascii) {
        return std::string(bytes);
    }
    switch (codePage) {
    case kCodePageWindows1252:
    case kCodePageWindows1252Alias:
        return Windows1252ToUtf8(bytes);
    case kCodePageUtf16:
        return Utf16LeToUtf8(bytes);
    case kCodePageAscii:
        // Declared ASCII but not: the usual culprit wrote Windows-1252.
        return Windows1252ToUtf8(bytes);
    default:
        return convertWithIconv(bytes, iconvName(codePage));
    }
}

} // namespace quillory::spreadsheet::legacy
