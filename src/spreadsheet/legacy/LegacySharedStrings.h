#pragma once
// The formatting runs of a BIFF8 workbook's shared strings (the SST record and the CONTINUE
// records after it), read to give a converted cell's rich text back the fonts its runs had.

#include <cstdint>
#include <optional>
#include <string>
#include <unordered_map>
#include <utility>
#include <vector>

namespace quillory::spreadsheet::legacy {

// A shared string with formatting runs: its text as UTF-16 code units and, per run, the first
// character it covers and its font index as stored (index 4 is never used).
struct LegacyRichString {
    std::u16string text;
    std::vector<std::pair<std::uint16_t, std::uint16_t>> runs; // increasing first characters
};

// The strings with runs, by their index in the table, from the SST record's data followed by
// each CONTINUE record's. A string cut short ends the reading (the strings before it stand); a
// string whose runs are out of order or start past its text is left out.
std::unordered_map<std::uint32_t, LegacyRichString>
ReadRichSharedStrings(const std::vector<std::string>& records);

// The string and runs of a BIFF8 RSTRING cell record (a rich string kept in the cell itself);
// nothing for a record cut short or runs out of order or past the text.
std::optional<LegacyRichString> ReadRichCellString(const std::string& record);

} // namespace quillory::spreadsheet::legacy
