// The demo's download in a second termload-cli started with termsim's environment: the USB doors
// are reached only through variables (umockdev's preload, the private pcscd's socket) that must be
// in a process's environment when it starts, so this process stays as it was.
#pragma once

#include <chrono>
#include <filesystem>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "cli/demo_verify.h"
#include "cli/run_events.h"

namespace termload::cli {

class ChildProcess;

using EnvLines = std::map<std::string, std::string>;

// The NAME=VALUE lines of termsim's environment file; empty when it is not there (yet).
EnvLines ReadEnvFile(const std::filesystem::path& path);

// Starts `argv` with `env` added to the environment and its output in `log`, shows that output
// as it comes and waits for it; a Ctrl-C stops it. Returns its exit code, kExitStopped when
// interrupted. Throws std::runtime_error when it cannot start.
int RunWithEnvironment(const EnvLines& env, const std::vector<std::string>& argv,
                       const std::filesystem::path& log, RunEvents& events);

// This program, to be started again.
std::filesystem::path ThisProgram();

// A file's whole text (termsim's log, a stored file); empty when it cannot be read.
std::string ReadText(const std::filesystem::path& path);

// termsim is up when its port map is written (after every door is ready) and its environment
// file names each of `names`. Nothing when termsim ended first, `limit` passed or the operator
// interrupted.
std::optional<EnvLines> WaitForSimulatorEnvironment(ChildProcess& simulator,
                                                    const std::filesystem::path& portMap,
                                                    const std::filesystem::path& envFile,
                                                    const std::vector<const char*>& names,
                                                    std::chrono::seconds limit,
                                                    RunEvents& events);

// Frames are not acknowledged: the terminal may still be storing the last file when the run
// ends. Verifies again until every row is identical, termsim ended or a few seconds passed; then
// stops termsim, prints the table and gives the demo's exit code for the run's `runExit`.
int SettleAndPrintVerification(ChildProcess& simulator, int runExit,
                               const std::function<std::vector<VerifyRow>()>& verify);

}  // namespace termload::cli
