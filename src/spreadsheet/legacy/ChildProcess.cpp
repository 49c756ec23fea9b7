#include "spreadsheet/legacy/ChildProcess.h"

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <spawn.h>
#include <string_view>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

extern char** environ;

namespace quillory::spreadsheet::legacy {

namespace {

constexpr std::chrono::milliseconds kPollInterval{20};

// Owns posix_spawn's attribute objects for the length of one start.
class SpawnSetup {
public:
    SpawnSetup() {
        posix_spawnattr_init(&attributes_);
        posix_spawn_file_actions_init(&actions_);
    }
    ~SpawnSetup() {
        posix_spawn_file_actions_destroy(&actions_);
        posix_spawnattr_destroy(&attributes_);
    }
    SpawnSetup(const SpawnSetup&) = delete;
    SpawnSetup& operator=(const SpawnSetup&) = delete;

    posix_spawnattr_t attributes_{};
    posix_spawn_file_actions_t actions_{};
};

// Kills what is left of the group, then reaps the leader. The leader is reaped last so that its
// process-group id cannot be handed to an unrelated process in between.
void killGroupAndReap(pid_t leader) {
    ::kill(-leader, SIGKILL);
    int status = 0;
    while (::waitpid(leader, &status, 0) < 0 && errno == EINTR) {
    }
}

} // namespace

ProcessOutcome
RunWithTimeLimit(const std::filesystem::path& program, const std::vector<std::string>& arguments,
                 const EnvironmentOverrides& environment, const std::filesystem::path& logFile,
                 std::chrono::milliseconds timeLimit, const std::function<void()>& whileWaiting) {
    SpawnSetup setup;
    // Its own process group: the helper may start children of its own, and all go together.
    short flags = POSIX_SPAWN_SETPGROUP | POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF;
    posix_spawnattr_setflags(&setup.attributes_, flags);
    posix_spawnattr_setpgroup(&setup.attributes_, 0);
    sigset_t signals;
    sigemptyset(&signals);
    posix_spawnattr_setsigmask(&setup.attributes_, &signals);
    sigemptyset(&signals);
    sigaddset(&signals, SIGPIPE);
    sigaddset(&signals, SIGTERM);
    sigaddset(&signals, SIGINT);
    sigaddset(&signals, SIGHUP);
    posix_spawnattr_setsigdefault(&setup.attributes_, &signals);
    posix_spawn_file_actions_addopen(&setup.actions_, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&setup.actions_, STDOUT_FILENO, logFile.c_str(),
                                     O_WRONLY | O_CREAT | O_TRUNC, 0600);
    posix_spawn_file_actions_adddup2(&setup.actions_, STDOUT_FILENO, STDERR_FILENO);

    std::vector<std::string> argumentCopies;
    argumentCopies.reserve(arguments.size() + 1);
    argumentCopies.push_back(program.string());
    argumentCopies.insert(argumentCopies.end(), arguments.begin(), arguments.end());
    std::vector<char*> argv;
    for (std::string& argument : argumentCopies) {
        argv.push_back(argument.data());
    }
    argv.push_back(nullptr);

    std::vector<std::string> variables;
    for (char** variable = environ; *variable != nullptr; ++variable) {
        const std::string_view entry(*variable);
        const bool overridden =
            std::any_of(environment.begin(), environment.end(), [&](const auto& item) {
                return entry.substr(0, item.first.size() + 1) == item.first + "=";
            });
        if (!overridden) {
            variables.emplace_back(entry);
        }
    }
    for (const auto& [name, value] : environment) {
        variables.push_back(name + "=" + value);
    }
    std::vector<char*> envp;
    for (std::string& variable : variables) {
        envp.push_back(variable.data());
    }
    envp.push_back(nullptr);

    ProcessOutcome outcome;
    pid_t child = 0;
    const int started = ::posix_spawn(&child, program.c_str(), &setup.actions_, &setup.attributes_,
                                      argv.data(), envp.data());
    if (started != 0) {
        outcome.startError = started;
        return outcome;
    }

    const auto deadline = std::chrono::steady_clock::now() + timeLimit;
    for (;;) {
        siginfo_t info{};
        // WNOWAIT leaves the leader unreaped, keeping its group id ours until the group is gone.
        const int waited =
            ::waitid(P_PID, static_cast<id_t>(child), &info, WEXITED | WNOHANG | WNOWAIT);
        if (waited < 0 && errno == EINTR) {
            continue;
        }
        if (waited < 0) {
            killGroupAndReap(child);
            outcome.kind = ProcessOutcome::Kind::Signalled;
            outcome.exitCode = SIGKILL;
            return outcome;
        }
        if (info.si_pid == child) {
            outcome.kind = info.si_code == CLD_EXITED ? ProcessOutcome::Kind::Exited
                                                      : ProcessOutcome::Kind::Signalled;
            outcome.exitCode = info.si_status;
            killGroupAndReap(child);
            return outcome;
        }
        if (std::chrono::steady_clock::now() >= deadline) {
            killGroupAndReap(child);
            outcome.kind = ProcessOutcome::Kind::TimedOut;
            return outcome;
        }
        if (whileWaiting) {
            try {
                whileWaiting();
            } catch (...) {
                killGroupAndReap(child);
                throw;
            }
        }
        std::this_thread::sleep_for(kPollInterval);
    }
}

} // namespace quillory::spreadsheet::legacy
