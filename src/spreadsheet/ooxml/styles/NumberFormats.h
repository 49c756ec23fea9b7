#pragma once
// Number formats: the built-in ids every reader knows, and the result's table of custom formats,
// which are identified by their format code because custom ids mean something only inside their
// own workbook.

#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>

namespace quillory::spreadsheet::ooxml {

// Ids below this are built in (some only in certain languages); custom formats start here.
inline constexpr int kFirstCustomNumberFormatId = 164;

// The code of a built-in format that is the same in every language, or nullopt (ids 5-8, 23-36,
// 41-44, 50-81 depend on the language or are reserved).
std::optional<std::string_view> BuiltinNumberFormatCode(int id);

// True when a cell with this format shows a calendar date (with or without a time), so that its
// serial number depends on the workbook's date system. code is empty for an implied built-in.
bool ShowsCalendarDate(int id, std::string_view code);

class ResultNumberFormats {
public:
    // The result's id for a format that a source defines explicitly (<numFmt>): a built-in id
    // when the code is that built-in's, else the custom id of that code (allocated on first use).
    int idFor(int sourceId, std::string_view code);
    // <numFmt> entries to write, by id.
    const std::map<int, std::string>& customFormats() const { return customs_; }

private:
    std::unordered_map<std::string, int> idsByCode_;
    std::map<int, std::string> customs_;
    int nextId_ = kFirstCustomNumberFormatId;
};

} // namespace quillory::spreadsheet::ooxml
