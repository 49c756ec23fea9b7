#pragma once
// Shared strings: a source's table read once, the result's table built up by content, and the
// per-source mapping a sheet copy uses for every t="s" cell.

#include "spreadsheet/ooxml/styles/Styles.h"

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace quillory::spreadsheet::ooxml {

inline constexpr std::string_view kSharedStringsPartName = "xl/sharedStrings.xml";

// Parsed once per source package. Each item is the inner XML of one <si>, written canonically:
// SpreadsheetML elements without a prefix, everything else with its namespace declared, text
// escaped (so _xHHHH_ escapes and xml:space stay as written).
class SourceSharedStrings {
public:
    static SourceSharedStrings parse(std::string_view sstXml, const std::string& fileName,
                                     std::string_view partName = kSharedStringsPartName);

    std::size_t size() const { return ends_.size(); }
    // Fails with a description naming the file when index is out of range.
    std::string_view item(std::size_t index) const;

private:
    friend class SharedStringsCollector;

    std::string fileName_;
    std::string partName_;
    std::string text_;              // all items, back to back
    std::vector<std::size_t> ends_; // item i is text_[ends_[i-1], ends_[i])
};

class ResultSharedStrings {
public:
    ResultSharedStrings();

    // Adds (deduplicated by content) the inner XML of one <si>; returns its result index and
    // counts one reference.
    int add(std::string_view siInnerXml);
    // Counts one more reference to a string already added.
    void addReference(int index);

    std::string toXml() const; // xl/sharedStrings.xml with exact count/uniqueCount
    // The same bytes as toXml, handed out in pieces of about kWritePieceBytes (large tables).
    void write(const std::function<void(std::string_view)>& sink) const;
    bool empty() const { return items_.empty(); }
    std::size_t uniqueCount() const { return items_.size(); }
    std::uint64_t count() const { return count_; }
    std::string_view item(int index) const;

private:
    // A million distinct strings must not cost a hundred megabytes: the texts sit back to back
    // in large blocks (which never move), each item is 12 bytes, and the index is an
    // open-addressing table of item numbers.
    struct ItemRef {
        std::uint32_t block;
        std::uint32_t offset;
        std::uint32_t length;
    };
    std::string_view text(const ItemRef& ref) const;
    std::string_view store(std::string_view text);
    void growIndex();

    std::vector<std::string> blocks_;
    std::vector<ItemRef> items_;
    std::vector<std::uint32_t> slots_; // item number + 1; 0 is an empty slot
    std::uint64_t count_ = 0;
};

// True for an item that is one plain text run (<t>...</t>), which no style translation changes.
bool IsPlainTextItem(std::string_view item);

// Maps one source's shared-string indexes into the result. A string is carried over on its
// first use (through the styles importer's rich-text translation, when given); later uses are a
// vector lookup.
class SharedStringImporter {
public:
    SharedStringImporter(const SourceSharedStrings& source, ResultSharedStrings& result,
                         ResultStyles::Importer* styles);
    // The result index for a cell's <v>; counts one reference.
    int map(std::size_t sourceIndex);

private:
    const SourceSharedStrings& source_;
    ResultSharedStrings& result_;
    ResultStyles::Importer* styles_;
    std::vector<int> mapped_;
};

} // namespace quillory::spreadsheet::ooxml
