#pragma once
// Conversions of the character encodings found in legacy workbooks to UTF-8.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace quillory::spreadsheet::legacy {

// UTF-16 little-endian bytes to UTF-8; an unpaired surrogate becomes U+FFFD.
std::string Utf16LeToUtf8(std::string_view bytes);

// Bytes that are the low halves of UTF-16 code units (ISO 8859-1) to UTF-8.
std::string Latin1ToUtf8(std::string_view bytes);

// Windows code page 1252 to UTF-8, from a built-in table (no system support needed).
std::string Windows1252ToUtf8(std::string_view bytes);

// Text in the code page a workbook declares (its CODEPAGE record) to UTF-8. 1252 and plain ASCII
// are converted here; every other Windows, DOS and Macintosh code page through the C library's
// iconv (CP1250 to CP1258, CP874, the East Asian CP932, CP936, CP949, CP950, CP437, CP850 and
// their kin). Empty when the code page cannot be converted on this system.
std::optional<std::string> CodePageToUtf8(std::string_view bytes, std::uint16_t codePage);

} // namespace quillory::spreadsheet::legacy
