// Every input a fuzzer once failed on is kept in fuzz/regressions/<target>/, named after the
// fault, and replayed here through the same target body, so the ordinary suite (and its
// sanitizer build) holds each fix.

#include "FuzzTargets.h"
#include "support/ScopedEnv.h"
#include "support/TempDir.h"

#include <filesystem>
#include <gtest/gtest.h>

namespace quillory::fuzz {
namespace {

TEST(FuzzRegressions, EverySavedFindingIsHandledSoundly) {
    const testing::ScopedEnv strict("QUILLORY_FUZZ_STRICT", "1");
    const struct {
        const char* folder;
        void (*run)(std::string_view);
    } targets[] = {{"open_workbook", FuzzOpenWorkbook},
                   {"parts_workbook", FuzzPartsWorkbook},
                   {"formula", FuzzFormula}};
    int replayed = 0;
    for (const auto& target : targets) {
        const auto folder =
            std::filesystem::path(QUILLORY_FUZZ_DIR) / "regressions" / target.folder;
        if (!std::filesystem::exists(folder)) {
            continue;
        }
        for (const auto& entry : std::filesystem::directory_iterator(folder)) {
            SCOPED_TRACE(entry.path().string());
            EXPECT_NO_THROW(target.run(testing::readFile(entry.path())));
            ++replayed;
        }
    }
    EXPECT_GT(replayed, 0);
}

} // namespace
} // namespace quillory::fuzz
