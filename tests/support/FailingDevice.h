#pragma once
// An output sink that passes bytes to a real one until a budget is spent, then fails as a full
// disk would: the seam for testing that a failed write leaves nothing behind.

#include "spreadsheet/SpreadsheetError.h"
#include "spreadsheet/ooxml/package/OutputSink.h"

#include <cstdint>
#include <memory>

namespace quillory::testing {

class FailingDevice : public spreadsheet::ooxml::OutputSink {
public:
    FailingDevice(std::unique_ptr<spreadsheet::ooxml::OutputSink> inner, std::uint64_t failAfter)
        : inner_(std::move(inner)), budget_(failAfter) {}

    void write(std::string_view bytes) override {
        if (bytes.size() > budget_) {
            // Part of the bytes reach the disk, as with a real device that fills up mid-write.
            inner_->write(bytes.substr(0, static_cast<std::size_t>(budget_)));
            budget_ = 0;
            failed_ = true;
            diskFull();
        }
        budget_ -= bytes.size();
        inner_->write(bytes);
    }
    void overwrite(std::uint64_t offset, std::string_view bytes) override {
        inner_->overwrite(offset, bytes);
    }
    std::uint64_t size() const override { return inner_->size(); }
    void finish() override {
        if (failed_) {
            diskFull();
        }
        inner_->finish();
    }

    // A decorator for WriteFileAtomically / SaveWorkbookFile that fails after `failAfter` bytes.
    static spreadsheet::ooxml::SinkDecorator After(std::uint64_t failAfter) {
        return [failAfter](std::unique_ptr<spreadsheet::ooxml::OutputSink> inner) {
            return std::unique_ptr<spreadsheet::ooxml::OutputSink>(
                std::make_unique<FailingDevice>(std::move(inner), failAfter));
        };
    }

private:
    [[noreturn]] static void diskFull() {
        throw spreadsheet::SpreadsheetError(spreadsheet::ErrorCode::DiskFull,
                                            "The disk is full (simulated).");
    }

    std::unique_ptr<spreadsheet::ooxml::OutputSink> inner_;
    std::uint64_t budget_;
    bool failed_ = false;
};

} // namespace quillory::testing
