// The merge names its sources to the application before it opens any: each checked entry's file
// that still exists, once, in list order, so that legacy sources can be converted together; while
// the application waits on a conversion, the bar's observers are called so the window repaints.

#include "merge/MergeSheets.h"
#include "support/FakeApplication.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

namespace quillory::merge {
namespace {

using Paths = std::vector<std::filesystem::path>;

// Forwards to the fake application and notes what it was asked to prepare, and when.
class PreparationRecorder : public spreadsheet::Application {
public:
    PreparationRecorder(std::unique_ptr<spreadsheet::Application> inner,
                        const testing::FakeSpreadsheet& world, std::vector<Paths>& prepared,
                        std::size_t& callsBefore)
        : inner_(std::move(inner)), world_(world), prepared_(prepared), callsBefore_(callsBefore) {}

    void SetDisplayAlerts(bool on) override { inner_->SetDisplayAlerts(on); }
    void SetVisible(bool on) override { inner_->SetVisible(on); }
    spreadsheet::WorkbookCollection& Workbooks() override { return inner_->Workbooks(); }
    void Quit() override { inner_->Quit(); }
    const spreadsheet::MergeReport& Report() const override { return inner_->Report(); }
    void PrepareWorkbooks(const Paths& paths) override {
        prepared_.push_back(paths);
        callsBefore_ = world_.calls().size();
        if (waitHandler_) {
            waitHandler_(); // as a conversion would, while it runs
        }
    }
    void SetWaitHandler(std::function<void()> handler) override {
        waitHandler_ = std::move(handler);
    }

private:
    std::unique_ptr<spreadsheet::Application> inner_;
    const testing::FakeSpreadsheet& world_;
    std::vector<Paths>& prepared_;
    std::size_t& callsBefore_;
    std::function<void()> waitHandler_;
};

TEST(MergePreparation, CheckedExistingFilesAreNamedOnceBeforeAnyOpening) {
    testing::TempDir dir;
    testing::FakeSpreadsheet world;
    const std::string a = dir.write("a.xls", "a").string();
    const std::string b = dir.write("b.xlsx", "b").string();
    const std::string c = dir.write("c.ods", "c").string();
    const std::string gone = dir.write("gone.xls", "g").string();
    world.addWorkbook(a, std::vector<std::string>{"S1", "S2"});
    world.addWorkbook(b, std::vector<std::string>{"S1"});
    world.addWorkbook(c, std::vector<std::string>{"S1"});
    world.addWorkbook(gone, std::vector<std::string>{"S1"});
    std::filesystem::remove(gone);
    lists::MainLists lists;
    const std::pair<std::string, bool> entries[] = {{a, true},
                                                    {b, false},
                                                    {gone, true},
                                                    {c, true},
                                                    {a, true},
                                                    {b, false},
                                                    {dir.path().string(), true}};
    for (const auto& [path, checked] : entries) {
        const int row = lists.merge.add(path);
        lists.merge.setSubItem1(row, "S1");
        lists.merge.setChecked(row, checked);
    }
    std::vector<Paths> prepared;
    std::size_t callsBefore = 0;
    const auto fake = world.factory();
    const spreadsheet::ApplicationFactory factory = [&] {
        return std::make_unique<PreparationRecorder>(fake(), world, prepared, callsBefore);
    };
    MergeOutcome outcome;
    std::vector<double> barWhenRepainted;
    lists.progress.onChanged = [&] { barWhenRepainted.push_back(lists.progress.value()); };

    ASSERT_TRUE(MergeSheets(lists, factory, dir / "out.xlsx", outcome)) << outcome.failure;

    ASSERT_EQ(prepared.size(), 1u);
    EXPECT_EQ(prepared.front(), (Paths{a, c}));
    for (std::size_t i = 0; i < callsBefore; ++i) {
        EXPECT_NE(world.calls()[i].rfind("Open(", 0), 0u) << "opened before: " << world.calls()[i];
    }
    EXPECT_EQ(world.callsStartingWith("Open(").size(), 3u) << "a, c, then a again";
    // Max set (value 0), the wait (value still 0), then the seven entries.
    ASSERT_GE(barWhenRepainted.size(), 3u);
    EXPECT_EQ(barWhenRepainted[1], 0.0) << "a wait repaints without moving the bar";
    EXPECT_EQ(barWhenRepainted[2], 1.0);
}

} // namespace
} // namespace quillory::merge
