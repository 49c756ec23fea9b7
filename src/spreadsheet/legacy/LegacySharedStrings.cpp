#include "spreadsheet/legacy/LegacySharedStrings.h"

#include "spreadsheet/Utf8.h"
#include "spreadsheet/legacy/BiffRecords.h"
#include "spreadsheet/legacy/TextEncoding.h"

#include <algorithm>
#include <optional>

namespace quillory::spreadsheet::legacy {

namespace {

constexpr std::size_t kSstHeaderLength = 8; // total and unique string counts
constexpr std::uint8_t kWideCharacters = 0x01;
constexpr std::uint8_t kHasExtraData = 0x04;
constexpr std::uint8_t kHasRuns = 0x08;
constexpr std::size_t kRunLength = 4;

// Reads across the SST record and its CONTINUE records as one stream, except that a record that
// continues a string's characters starts with their option byte again (the width may change).
class ContinuedReader {
public:
    explicit ContinuedReader(const std::vector<std::string>& records) : records_(records) {}

    bool bytes(std::size_t count, std::string* out) {
        while (count > 0) {
            if (record_ >= records_.size()) {
                return false;
            }
            const std::string& data = records_[record_];
            if (at_ == data.size()) {
                ++record_;
                at_ = 0;
                continue;
            }
            const std::size_t take = std::min(count, data.size() - at_);
            if (out != nullptr) {
                out->append(data, at_, take);
            }
            at_ += take;
            count -= take;
        }
        return true;
    }

    bool characters(std::size_t count, bool wide, std::u16string* out) {
        while (count > 0) {
            if (record_ >= records_.size()) {
                return false;
            }
            const std::string& data = records_[record_];
            if (at_ == data.size()) {
                if (++record_ >= records_.size() || records_[record_].empty()) {
                    return false;
                }
                wide = (static_cast<unsigned char>(records_[record_][0]) & kWideCharacters) != 0;
                at_ = 1;
                continue;
            }
            const std::size_t width = wide ? 2 : 1;
            const std::size_t take = std::min(count, (data.size() - at_) / width);
            if (take == 0) {
                return false; // half a character at the end of a record
            }
            for (std::size_t i = 0; out != nullptr && i < take; ++i) {
                out->push_back(
                    wide ? static_cast<char16_t>(ReadU16(data, at_ + 2 * i))
                         : static_cast<char16_t>(static_cast<unsigned char>(data[at_ + i])));
            }
            at_ += take * width;
            count -= take;
        }
        return true;
    }

private:
    const std::vector<std::string>& records_;
    std::size_t record_ = 0;
    std::size_t at_ = 0;
};

// One string: its length, option byte, run count and extra data's length, characters, runs and
// extra data. Nothing when it is cut short; a string without runs (or with runs out of order or
// past its text) comes back without runs.
std::optional<LegacyRichString> readString(ContinuedReader& reader) {
    std::string header;
    if (!reader.bytes(3, &header)) {
        return std::nullopt;
    }
    const std::size_t length = ReadU16(header, 0);
    const auto options = static_cast<std::uint8_t>(header[2]);
    std::size_t runCount = 0;
    std::size_t extraBytes = 0;
    if ((options & kHasRuns) != 0) {
        header.clear();
        if (!reader.bytes(2, &header)) {
            return std::nullopt;
        }
        runCount = ReadU16(header, 0);
    }
    if ((options & kHasExtraData) != 0) {
        header.clear();
        if (!reader.bytes(4, &header)) {
            return std::nullopt;
        }
        extraBytes = ReadU32(header, 0);
    }
    LegacyRichString string;
    std::string runs;
    if (!reader.characters(length, (options & kWideCharacters) != 0, &string.text) ||
        !reader.bytes(runCount * kRunLength, &runs) || !reader.bytes(extraBytes, nullptr)) {
        return std::nullopt;
    }
    for (std::size_t i = 0; i < runCount; ++i) {
        const std::uint16_t first = ReadU16(runs, i * kRunLength);
        if (first >= length || (!string.runs.empty() && first <= string.runs.back().first)) {
            string.runs.clear();
            break;
        }
        string.runs.emplace_back(first, ReadU16(runs, i * kRunLength + 2));
    }
    return string;
}

} // namespace

std::unordered_map<std::uint32_t, LegacyRichString>
ReadRichSharedStrings(const std::vector<std::string>& records) {
    std::unordered_map<std::uint32_t, LegacyRichString> found;
    ContinuedReader reader(records);
    std::string header;
    if (!reader.bytes(kSstHeaderLength, &header)) {
        return found;
    }
    const std::uint32_t unique = ReadU32(header, 4);
    for (std::uint32_t index = 0; index < unique; ++index) {
        std::optional<LegacyRichString> string = readString(reader);
        if (!string) {
            break;
        }
        if (!string->runs.empty()) {
            found.emplace(index, std::move(*string));
        }
    }
    return found;
}

std::optional<LegacyRichString> ReadRichCellString(const std::string& record) {
    constexpr std::size_t kCellHeaderLength = 6;
    if (record.size() <= kCellHeaderLength) {
        return std::nullopt;
    }
    const std::vector<std::string> records = {record.substr(kCellHeaderLength)};
    ContinuedReader reader(records);
    std::optional<LegacyRichString> string = readString(reader);
    std::string count;
    if (!string || !string->runs.empty() || !reader.bytes(2, &count)) {
        return std::nullopt;
    }
    const std::size_t runCount = ReadU16(count, 0);
    std::string runs;
    if (runCount == 0 || !reader.bytes(runCount * kRunLength, &runs)) {
        return std::nullopt;
    }
    for (std::size_t i = 0; i < runCount; ++i) {
        const std::uint16_t first = ReadU16(runs, i * kRunLength);
        if (first >= string->text.size() ||
            (!string->runs.empty() && first <= string->runs.back().first)) {
            return std::nullopt;
        }
        string->runs.emplace_back(first, ReadU16(runs, i * kRunLength + 2));
    }
    return string;
}

std::optional<LegacyRichString> ReadRichCellStringBiff5(const std::string& record,
                                                        std::uint16_t codePage) {
    constexpr std::size_t kTextAt = 8; // after the cell header and the text's length
    constexpr std::size_t kBiff5RunLength = 2;
    if (record.size() < kTextAt) {
        return std::nullopt;
    }
    const std::size_t bytes = ReadU16(record, kTextAt - 2);
    if (record.size() < kTextAt + bytes + 1) {
        return std::nullopt;
    }
    const std::optional<std::string> utf8 =
        CodePageToUtf8(std::string_view(record).substr(kTextAt, bytes), codePage);
    if (!utf8) {
        return std::nullopt;
    }
    LegacyRichString string;
    for (const char* p = utf8->data(); p < utf8->data() + utf8->size();) {
        char32_t c = 0;
        const std::size_t length = DecodeUtf8(p, utf8->data() + utf8->size(), c);
        if (length == 0 || c > 0xFFFF) {
            return std::nullopt;
        }
        string.text.push_back(static_cast<char16_t>(c));
        p += length;
    }
    const std::size_t runsAt = kTextAt + bytes + 1;
    const std::size_t runCount = static_cast<unsigned char>(record[runsAt - 1]);
    if (string.text.size() != bytes || runCount == 0 ||
        record.size() < runsAt + runCount * kBiff5RunLength) {
        return std::nullopt;
    }
    for (std::size_t i = 0; i < runCount; ++i) {
        const auto first = static_cast<unsigned char>(record[runsAt + i * kBiff5RunLength]);
        if (first >= string.text.size() ||
            (!string.runs.empty() && first <= string.runs.back().first)) {
            return std::nullopt;
        }
        string.runs.emplace_back(
            first, static_cast<unsigned char>(record[runsAt + i * kBiff5RunLength + 1]));
    }
    return string;
}

} // namespace quillory::spreadsheet::legacy
