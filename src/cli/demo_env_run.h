// The demo's download in a second termload-cli started with termsim's environment: the USB doors
// are reached only through variables (umockdev's preload, the private pcscd's socket) that must be
// in a process's environment when it starts, so this process stays as it was.
#pragma once

#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include "cli/run_events.h"

namespace termload::cli {

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

}  // namespace termload::cli
