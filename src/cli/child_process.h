// A helper program run as a child process, always waited for and never left behind.
#pragma once

#include <chrono>
#include <filesystem>
#include <map>
#include <string>
#include <vector>

namespace termload::cli {

// False where the program starts no helper programs: on Windows, as the only one it starts,
// termsim, is a Linux program.
bool ChildProcessesSupported();

// A file we may run.
bool IsRunnableProgram(const std::filesystem::path& path);

class ChildProcess {
  public:
    using Environment = std::map<std::string, std::string>;

    // Starts argv[0] (a path) with the remaining arguments, our environment with `extraEnv` set
    // over it, stdin from /dev/null and stdout and stderr into `logPath`. The child gets a
    // process group of its own, so a Ctrl-C at the terminal reaches only us and we decide when
    // it ends. Throws std::runtime_error when it cannot start.
    ChildProcess(const std::vector<std::string>& argv, const std::filesystem::path& logPath,
                 const Environment& extraEnv = {});
    ~ChildProcess();  // Stop() with a short grace
    ChildProcess(const ChildProcess&) = delete;
    ChildProcess& operator=(const ChildProcess&) = delete;

    // The system's process id.
    int Pid() const { return pid_; }

    // True while the child has not exited. Reaps it when it has.
    bool Running();

    // Waits up to `timeout` for the child to exit on its own; true when it has (and was reaped).
    bool WaitForExit(std::chrono::milliseconds timeout);

    // SIGTERM to the child's group, up to `grace` to exit, then SIGKILL; always reaps.
    void Stop(std::chrono::milliseconds grace = std::chrono::milliseconds(2000));

    // The exit code once the child has ended by itself; -1 before, or when a signal ended it.
    int ExitCode() const;
    // The exit status as waitpid gave it, once reaped; -1 before.
    int RawStatus() const { return status_; }

  private:
    bool Reap(bool block);

    int pid_ = -1;
    int pidFd_ = -1;   // readable when the child exits: a wait with a time-out and no polling loop
    int status_ = -1;  // as waitpid gives it; -1 before the child is reaped
};

}  // namespace termload::cli
