#pragma once
// Counts the sheet data a result package has read so far and passes it to the application's
// progress handler a bounded number of times, so that the count costs nothing on the hot path.

#include "spreadsheet/Automation.h"

#include <cstdint>

namespace quillory::spreadsheet::ooxml {

// At most this many reports between the start and the end of a save, however large it is.
inline constexpr std::uint64_t kProgressReportsPerSave = 200;

class WriteProgress {
public:
    // `total`: the bytes of sheet data the save will read. Reports 0 of total at once.
    WriteProgress(SaveProgressHandler handler, std::uint64_t total);

    // `bytes` more were read; reports when another step of the total is reached.
    void advance(std::uint64_t bytes) {
        done_ += bytes;
        if (done_ >= nextReport_) {
            report();
        }
    }
    // Reports the whole total, even where the counted parts were smaller than announced.
    void finish();

private:
    void report();

    SaveProgressHandler handler_;
    std::uint64_t total_;
    std::uint64_t step_;
    std::uint64_t done_ = 0;
    std::uint64_t nextReport_ = 0;
};

} // namespace quillory::spreadsheet::ooxml
