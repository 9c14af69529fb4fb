// Running the real termload-cli binary from tests: a pty to stand in for a terminal, a scratch
// directory, and the program run with its output captured.
#pragma once

#include <chrono>
#include <filesystem>
#include <string>
#include <vector>

#include "cli/child_process.h"
#include "cli/demo_workspace.h"

namespace termload::cli::test {

// A pseudo-terminal pair; the slave path is what a port map names.
class Pty {
  public:
    Pty();
    ~Pty();
    Pty(const Pty&) = delete;
    Pty& operator=(const Pty&) = delete;
    int Master() const { return master_; }
    int Slave() const { return slave_; }
    const std::string& SlavePath() const { return slavePath_; }
    // Reads exactly `count` bytes from the master; fewer when `timeout` passes first.
    std::string ReadMaster(std::size_t count, std::chrono::milliseconds timeout);

  private:
    int master_ = -1;
    int slave_ = -1;
    std::string slavePath_;
};

struct CliResult {
    int exitCode = -1;   // -1 when the program did not end in time (it is then killed)
    std::string output;  // stdout and stderr together
};

// Path of the termload-cli under test, and of termsim.
std::filesystem::path CliPath();
std::filesystem::path TermsimPath();

// Starts termload-cli with `args` and output into a file of `dir`.
std::unique_ptr<ChildProcess> StartCli(const std::vector<std::string>& args,
                                       const std::filesystem::path& dir);

// Runs termload-cli to its end, killing it after `limit` (a hang is a failure, not a wait).
CliResult RunCli(const std::vector<std::string>& args, const std::filesystem::path& dir,
                 std::chrono::milliseconds limit = std::chrono::seconds(60));

// The exit code of a child that has been reaped; -1 when it did not exit normally.
int ExitCodeOf(const ChildProcess& child);

std::string ReadFile(const std::filesystem::path& path);
void WriteFile(const std::filesystem::path& path, const std::string& text);

}  // namespace termload::cli::test
