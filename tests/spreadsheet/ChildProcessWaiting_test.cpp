// While a helper program runs, the caller is called back between looks at it (the window
// repaints there); a callback that throws ends the helper's whole group at once.

#include "spreadsheet/legacy/ChildProcess.h"
#include "support/TempDir.h"

#include <cerrno>
#include <csignal>
#include <gtest/gtest.h>
#include <stdexcept>
#include <thread>

namespace quillory::spreadsheet::legacy {
namespace {

using quillory::testing::readFile;
using quillory::testing::TempDir;

constexpr std::chrono::seconds kGenerousLimit{60};
constexpr int kLooksForAnEnd = 1000;

// A killed process needs a moment to die; gone, or a zombie waiting for its parent, is ended.
bool EndsSoon(pid_t pid) {
    for (int look = 0; look < kLooksForAnEnd; ++look) {
        if (::kill(pid, 0) != 0 && errno == ESRCH) {
            return true;
        }
        try {
            if (readFile("/proc/" + std::to_string(pid) + "/stat").find(") Z") !=
                std::string::npos) {
                return true;
            }
        } catch (const std::exception&) {
            return true; // gone between the two looks
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return false;
}

TEST(ChildProcessWaiting, ThrowingCallbackEndsTheWholeGroup) {
    TempDir dir;
    const auto pids = dir / "pids.txt";
    // The shell and a grandchild it starts: both must be gone once the callback throws.
    const std::string script =
        "sleep 30 & echo $! > '" + pids.string() + "'; echo $$ >> '" + pids.string() + "'; wait";
    int calls = 0;
    EXPECT_THROW(RunWithTimeLimit("/bin/sh", {"-c", script}, {}, dir / "log.txt", kGenerousLimit,
                                  [&] {
                                      if (++calls == 10) {
                                          throw std::runtime_error("window closed");
                                      }
                                  }),
                 std::runtime_error);
    const std::string written = readFile(pids);
    ASSERT_FALSE(written.empty()) << "the script did not start in time";
    std::size_t at = 0;
    int checked = 0;
    while (at < written.size()) {
        const std::size_t end = written.find('\n', at);
        const pid_t pid = static_cast<pid_t>(std::stol(written.substr(at, end - at)));
        EXPECT_TRUE(EndsSoon(pid)) << "pid " << pid << " runs on";
        ++checked;
        at = end == std::string::npos ? written.size() : end + 1;
    }
    EXPECT_EQ(checked, 2);
}

} // namespace
} // namespace quillory::spreadsheet::legacy
