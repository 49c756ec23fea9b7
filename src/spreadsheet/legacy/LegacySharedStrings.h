#pragma once
// The formatting runs of a BIFF8 workbook's shared strings (the SST record and the CONTINUE
// records after it) and of rich strings kept in cells (BIFF8 and BIFF5), read to give a converted
// cell's rich text back the fonts its runs had.

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

// The same for an Excel 5.0 RSTRING record: 8-bit text in the workbook's code page and one byte
// each for a run's first character and font; nothing also where the code page cannot be
// converted or gives other than one character per byte (the runs count bytes).
std::optional<LegacyRichString> ReadRichCellStringBiff5(const std::string& record,
                                                        std::uint16_t codePage);

} // namespace quillory::spreadsheet::legacy
