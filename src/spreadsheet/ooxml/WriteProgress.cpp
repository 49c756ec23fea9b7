#include "spreadsheet/ooxml/WriteProgress.h"

#include <algorithm>
#include <utility>

namespace quillory::spreadsheet::ooxml {

WriteProgress::WriteProgress(SaveProgressHandler handler, std::uint64_t total)
    : handler_(std::move(handler)), total_(total),
      step_(std::max<std::uint64_t>(total / kProgressReportsPerSave, 1)) {
    report();
}

void WriteProgress::report() {
    // A part larger than its directory said must not push the bar past its end.
    const std::uint64_t shown = std::min(done_, total_);
    nextReport_ = done_ + step_;
    if (handler_) {
        handler_(SaveProgress{shown, total_});
    }
}

void WriteProgress::finish() {
    done_ = total_;
    report();
}

} // namespace quillory::spreadsheet::ooxml
