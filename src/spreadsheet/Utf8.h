#pragma once
// UTF-8, the one text encoding inside workbook packages: reading a character with every check
// the format asks for, and writing one.

#include <cstddef>
#include <string>

namespace quillory::spreadsheet {

// Reads the character at p (before end) into c and returns its length in bytes; 0 when the
// bytes there are not UTF-8 (a stray or missing continuation byte, an overlong form, a
// surrogate, a code point above 0x10FFFF, a sequence cut short by end).
std::size_t DecodeUtf8(const char* p, const char* end, char32_t& c);

// Writes the UTF-8 bytes of c (at most 0x10FFFF) at out, which has room for 4, and returns the
// end of what it wrote.
char* EncodeUtf8(char* out, char32_t c);

void AppendUtf8(std::string& out, char32_t c);

} // namespace quillory::spreadsheet
