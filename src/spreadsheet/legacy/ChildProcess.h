#pragma once
// Runs a helper program in a process group of its own and waits for it with a time limit; on
// timeout the whole group is killed, so that no helper process outlives its run.

#include <chrono>
#include <filesystem>
#include <functional>
#include <string>
#include <utility>
#include <vector>

namespace quillory::spreadsheet::legacy {

struct ProcessOutcome {
    enum class Kind { Exited, Signalled, TimedOut, CouldNotStart };
    Kind kind = Kind::CouldNotStart;
    int exitCode = 0;   // Exited: the exit status; Signalled: the signal number
    int startError = 0; // CouldNotStart: the errno of the failed start
};

// Environment variables set (or replaced) for the child; the rest it inherits.
using EnvironmentOverrides = std::vector<std::pair<std::string, std::string>>;

// Standard input reads nothing; standard output and error go to `logFile`. `whileWaiting`, when
// set, is called between two looks at the child (a window may repaint there); an exception it
// throws ends the child's group and passes on.
ProcessOutcome RunWithTimeLimit(const std::filesystem::path& program,
                                const std::vector<std::string>& arguments,
                                const EnvironmentOverrides& environment,
                                const std::filesystem::path& logFile,
                                std::chrono::milliseconds timeLimit,
                                const std::function<void()>& whileWaiting = {});

} // namespace quillory::spreadsheet::legacy
