// The merge command over the real engine keeps the window alive: the UI port gets a chance to
// process events at every step of the progress, including while the result is written, and the
// bar's own observer is back in place afterwards.

#include "merge/MergeCommand.h"
#include "support/RecordingUiPort.h"
#include "support/TempDir.h"

#include <algorithm>
#include <gtest/gtest.h>

#ifdef QUILLORY_HAVE_XLSXWRITER
#include <xlsxwriter.h>
#endif

namespace quillory::merge {
namespace {

// Records the bar's value each time the merge lets events through.
class PumpRecordingPort : public testing::RecordingUiPort {
public:
    explicit PumpRecordingPort(const lists::ProgressModel& progress) : progress_(progress) {}
    void processEvents() override {
        valuesWhenPumped.push_back(progress_.value());
        order += 'p';
    }
    std::vector<double> valuesWhenPumped;
    std::string order; // 'r' a repaint of the bar, 'p' a chance to process events

private:
    const lists::ProgressModel& progress_;
};

bool WriteNumbers(const std::filesystem::path& file, const std::vector<std::string>& sheets,
                  int rows) {
#ifdef QUILLORY_HAVE_XLSXWRITER
    lxw_workbook* workbook = workbook_new(file.c_str());
    for (const auto& name : sheets) {
        lxw_worksheet* sheet = workbook_add_worksheet(workbook, name.c_str());
        for (int row = 0; row < rows; ++row) {
            for (lxw_col_t col = 0; col < 6; ++col) {
                worksheet_write_number(sheet, static_cast<lxw_row_t>(row), col, row * 10.0 + col,
                                       nullptr);
            }
        }
    }
    return workbook_close(workbook) == LXW_NO_ERROR;
#else
    (void)file;
    (void)sheets;
    (void)rows;
    return false;
#endif
}

TEST(MergeProgress, EventsFlowWhileTheResultIsWrittenAndTheBarObserverIsRestored) {
    testing::TempDir dir;
    const std::filesystem::path book = dir / "numbers.xlsx";
    if (!WriteNumbers(book, {"First", "Second"}, 20000)) {
        GTEST_SKIP() << "libxlsxwriter is not installed: no source workbook can be written";
    }
    lists::MainLists lists;
    for (const char* sheet : {"First", "Second", "First"}) {
        const int row = lists.merge.add(book.string());
        lists.merge.setSubItem1(row, sheet);
        lists.merge.setChecked(row, true);
    }
    int barRepaints = 0;
    PumpRecordingPort ui(lists.progress);
    lists.progress.onChanged = [&] {
        ++barRepaints;
        ui.order += 'r';
    };
    MergeCommandOptions options;
    options.temporaryRoot = dir.path();

    const auto result = Merge(lists, ui, &spreadsheet::CreateEngineApplication, options);

    ASSERT_TRUE(result) << (ui.messages.empty() ? "" : ui.messages.front().text);
    const std::vector<double>& seen = ui.valuesWhenPumped;
    ASSERT_FALSE(seen.empty());
    EXPECT_EQ(ui.order.find("pp"), std::string::npos) << "the bar is repainted before each pump";
    EXPECT_EQ(ui.order.front(), 'r');
    // The entries first (1, 2, 3), then the writing from 0 up to the end again.
    const auto full = std::find(seen.begin(), seen.end(), 3.0);
    ASSERT_NE(full, seen.end());
    const std::vector<double> writing(full + 1, seen.end());
    const auto partial =
        std::count_if(writing.begin(), writing.end(), [](double v) { return v > 0 && v < 3; });
    EXPECT_GT(partial, 1) << "the bar moves more than once while the result is written";
    EXPECT_TRUE(std::is_sorted(writing.begin(), writing.end()));
    EXPECT_EQ(writing.back(), 3.0) << "the writing ends with a full bar";
    EXPECT_EQ(lists.progress.value(), 0.0) << "put back to 0 at the end";
    EXPECT_EQ(ui.openedFiles.size(), 1u);

    const int repaintsAfterMerge = barRepaints;
    const std::size_t pumpsAfterMerge = seen.size();
    lists.progress.setValue(1);
    EXPECT_EQ(barRepaints, repaintsAfterMerge + 1) << "the bar's own observer is back";
    EXPECT_EQ(ui.valuesWhenPumped.size(), pumpsAfterMerge) << "no event pumping after the merge";
}

} // namespace
} // namespace quillory::merge
