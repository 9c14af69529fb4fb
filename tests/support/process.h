// A program run beside a test, and the check that a program the test needs is installed.
#pragma once

#include <sys/types.h>

#include <chrono>
#include <filesystem>
#include <map>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "support/files.h"

namespace termload::test {

// A child process, killed and reaped when the object goes unless it has been waited for.
class Process {
  public:
    // stdin and stdout are `io` when given (only this child inherits it), else /dev/null and
    // `log`; stderr always goes to `log`. `env` is added to the environment; the child runs in
    // `cwd` when one is given.
    Process(const std::vector<std::string>& argv, const std::filesystem::path& log, int io = -1,
            const std::map<std::string, std::string>& env = {},
            const std::filesystem::path& cwd = {});
    ~Process();
    Process(const Process&) = delete;
    Process& operator=(const Process&) = delete;

    pid_t Pid() const { return pid_; }
    bool Running() { return !Wait(std::chrono::milliseconds(0)).has_value(); }
    // The exit status (128 + signal when killed), or nothing while it runs after `limit`.
    std::optional<int> Wait(std::chrono::milliseconds limit);
    // SIGTERM, then the exit status as Wait gives it.
    std::optional<int> Terminate(std::chrono::milliseconds limit);
    // User plus system CPU time so far.
    std::chrono::milliseconds CpuTime() const;

  private:
    pid_t pid_ = -1;
    bool exited_ = false;
    std::optional<int> status_;
};

// Descriptors this process holds open, to show that nothing leaks.
std::size_t OpenDescriptorCount();

// Polls `condition` until it holds or `limit` has passed; true when it held.
template <typename Condition>
bool WaitUntil(Condition condition, std::chrono::milliseconds limit = std::chrono::seconds(10)) {
    const auto end = std::chrono::steady_clock::now() + limit;
    while (!condition()) {
        if (std::chrono::steady_clock::now() > end) {
            return false;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return true;
}

// Success when `program` is on PATH; else a failure that names the Debian package to install.
// Tests need their peers: a missing one fails the test rather than skipping it.
::testing::AssertionResult Installed(const std::string& program, const std::string& package);

// Success when pcscd, which the CCID tests start privately, is installed (it is not on a user's
// PATH); else a failure that names its package.
::testing::AssertionResult PcscdInstalled();

}  // namespace termload::test
