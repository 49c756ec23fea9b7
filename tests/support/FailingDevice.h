#pragma once
// An output sink that passes bytes to a real one until a budget is spent, then fails as a full
// disk would: the seam for testing that a failed write leaves nothing behind.

#include "spreadsheet/ooxml/package/OutputSink.h"

#include <cstdint>
#include <memory>

namespace quillory::testing {

class FailingDevice : public spreadsheet::ooxml::OutputSink {
public:
    FailingDevice(std::unique_ptr<spreadsheet::ooxml::OutputSink> inner, std::uint64_t failAfter);
    void write(std::string_view bytes) override;
    void overwrite(std::uint64_t offset, std::string_view bytes) override;
    std::uint64_t size() const override { return inner_->size(); }
    void finish() override;
    bool failed() const { return failed_; }

    // A decorator for WriteFileAtomically / SaveWorkbookFile that fails after `failAfter` bytes.
    static spreadsheet::ooxml::SinkDecorator After(std::uint64_t failAfter);

private:
    std::unique_ptr<spreadsheet::ooxml::OutputSink> inner_;
    std::uint64_t budget_;
    bool failed_ = false;
};

} // namespace quillory::testing
