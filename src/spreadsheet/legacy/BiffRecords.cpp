#include "spreadsheet/legacy/BiffRecords.h"

#include "spreadsheet/legacy/LegacyErrors.h"

#include <algorithm>

namespace quillory::spreadsheet::legacy {

namespace {

constexpr std::size_t kRecordHeaderSize = 4;
constexpr std::size_t kReadBlockSize = 16 * 1024;

} // namespace

BiffRecordCursor::BiffRecordCursor(ReadFunction read, std::uint64_t streamSize,
                                   std::string quotedName)
    : read_(std::move(read)), streamSize_(streamSize), quotedName_(std::move(quotedName)) {}

std::string BiffRecordCursor::bytes(std::uint64_t offset, std::size_t length) {
    if (offset < bufferStart_ || offset + length > bufferStart_ + buffer_.size()) {
        bufferStart_ = offset;
        buffer_ = read_(offset, std::max(length, kReadBlockSize));
        if (buffer_.size() < length) {
            ThrowDamaged(quotedName_, "the workbook data ends in the middle of a record");
        }
    }
    return buffer_.substr(static_cast<std::size_t>(offset - bufferStart_), length);
}

std::optional<BiffRecord> BiffRecordCursor::next() {
    if (position_ >= streamSize_ || streamSize_ - position_ < kRecordHeaderSize) {
        // Trailing bytes shorter than a header are padding some writers leave.
        return std::nullopt;
    }
    const std::string header = bytes(position_, kRecordHeaderSize);
    BiffRecord record;
    record.offset = position_;
    record.id = ReadU16(header, 0);
    const std::uint16_t length = ReadU16(header, 2);
    if (streamSize_ - position_ - kRecordHeaderSize < length) {
        ThrowDamaged(quotedName_, "a record at offset " + std::to_string(position_) +
                                      " runs past the end of the workbook data");
    }
    record.data = length > 0 ? bytes(position_ + kRecordHeaderSize, length) : std::string();
    position_ += kRecordHeaderSize + length;
    return record;
}

} // namespace quillory::spreadsheet::legacy
