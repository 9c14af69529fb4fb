// The demo's download done by another termload-cli: another build of it (the Windows one under
// Wine, through a wrapper that maps its COM ports), given the run's options as arguments. The
// passes come back through its report file, so the demo verifies them exactly as its own.
#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "cli/commands.h"
#include "cli/pass_report.h"

namespace termload::cli {

// `runner` (program and its first arguments) followed by "run" and the options of `run`, with
// its report going to `report`.
std::vector<std::string> RunnerCommand(const std::vector<std::string>& runner,
                                       const RunOptions& run, const std::filesystem::path& report);

// One line of a report; nothing for a line that is not a pass record.
std::optional<PassRecord> PassRecordFromJson(const std::string& line);

// Starts the runner with its output in `log`, waits for it (a Ctrl-C stops it), copies its output
// to stdout and reads its passes from the report. Returns the runner's exit code, kExitStopped
// when interrupted.
int RunThroughRunner(const std::vector<std::string>& runner, const RunOptions& run,
                     const std::filesystem::path& workDir, RunEvents& events,
                     std::vector<PassRecord>& records);

}  // namespace termload::cli
