// Running the real termload-cli binary from tests: a pty to stand in for a terminal, a scratch
// directory, and the program run with its output captured.
#pragma once

#include <chrono>
#include <filesystem>
#include <string>
#include <vector>

#include "cli/child_process.h"
#include "cli/demo_workspace.h"
#include "support/files.h"
#include "support/pty.h"

namespace termload::cli::test {

// A pty whose slave starts raw; the slave path is what a port map names.
struct Pty : termload::test::Pty {
    Pty() : termload::test::Pty(Line::Raw) {}
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

using termload::test::PatternBytes;
using termload::test::ReadFile;
using termload::test::WriteFile;

}  // namespace termload::cli::test
