#include "support/FailingDevice.h"

#include "spreadsheet/SpreadsheetError.h"

namespace quillory::testing {

using spreadsheet::ErrorCode;
using spreadsheet::SpreadsheetError;

FailingDevice::FailingDevice(std::unique_ptr<spreadsheet::ooxml::OutputSink> inner,
                             std::uint64_t failAfter)
    : inner_(std::move(inner)), budget_(failAfter) {}

void FailingDevice::write(std::string_view bytes) {
    if (bytes.size() > budget_) {
        // Part of the bytes reach the disk, as with a real device that fills up mid-write.
        inner_->write(bytes.substr(0, static_cast<std::size_t>(budget_)));
        budget_ = 0;
        failed_ = true;
        throw SpreadsheetError(ErrorCode::DiskFull, "The disk is full (simulated).");
    }
    budget_ -= bytes.size();
    inner_->write(bytes);
}

void FailingDevice::overwrite(std::uint64_t offset, std::string_view bytes) {
    inner_->overwrite(offset, bytes);
}

void FailingDevice::finish() {
    if (failed_) {
        throw SpreadsheetError(ErrorCode::DiskFull, "The disk is full (simulated).");
    }
    inner_->finish();
}

spreadsheet::ooxml::SinkDecorator FailingDevice::After(std::uint64_t failAfter) {
    return [failAfter](std::unique_ptr<spreadsheet::ooxml::OutputSink> inner) {
        return std::unique_ptr<spreadsheet::ooxml::OutputSink>(
            std::make_unique<FailingDevice>(std::move(inner), failAfter));
    };
}

} // namespace quillory::testing
