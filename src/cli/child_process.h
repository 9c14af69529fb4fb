// A helper program run as a child process, always waited for and never left behind.
#pragma once

#include <sys/types.h>
#include <chrono>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

namespace termload::cli {

class ChildProcess {
  public:
    // Starts argv[0] (a path) with the remaining arguments, stdin from /dev/null and stdout and
    // stderr into `logPath`. The child gets a process group of its own, so a Ctrl-C at the terminal
    // reaches only us and we decide when it ends. Throws std::runtime_error when it cannot start.
    ChildProcess(const std::vector<std::string>& argv, const std::filesystem::path& logPath);
    ~ChildProcess();  // Stop() with a short grace
    ChildProcess(const ChildProcess&) = delete;
    ChildProcess& operator=(const ChildProcess&) = delete;

    pid_t Pid() const { return pid_; }

    // True while the child has not exited. Reaps it when it has.
    bool Running();

    // Waits up to `timeout` for the child to exit on its own; true when it has (and was reaped).
    bool WaitForExit(std::chrono::milliseconds timeout);

    // SIGTERM to the child's group, up to `grace` to exit, then SIGKILL; always reaps.
    void Stop(std::chrono::milliseconds grace = std::chrono::milliseconds(2000));

    // The exit code once the child has exited on its own; -1 before, or when a signal ended it.
    int ExitCode() const;

  private:
    bool Reap(bool block);

    pid_t pid_ = -1;
    int pidFd_ = -1;  // readable when the child exits: a wait with a time-out and no polling loop
    int status_ = -1;
};

}  // namespace termload::cli
