#pragma once

#include <filesystem>
#include <memory>
#include <vector>

#include "config/prompt_message.h"
#include "config/settings.h"
#include "engine/download_job.h"
#include "engine/timer_file.h"
#include "engine/timings.h"

namespace termload {

// What the host adds to its configuration when it starts a download.
struct StartOptions {
    std::filesystem::path userAddrFile;     // UserAddrFile.ini beside the executable
    std::filesystem::path addressTraceDir;  // where file.adr is copied when TraceLog is on
    int passLimit = 0;  // passes per port; 0 runs until stopped
    Timings timings;
};

// The outcome of the checks a download start makes on the operator's choices and file list.
struct StartCheck {
    // To show in this order (warnings for rows, or the one reason the start is refused).
    std::vector<PromptMessage> messages;
    // Rows that failed their checks: the host removes their check marks.
    std::vector<int> uncheckedRows;
    // The job to start; null when nothing is to start (refused, or no valid row).
    std::shared_ptr<const DownloadJob> job;
};

// Checks the choices and the checked rows of `config` and builds the job of the download:
// the model, the transport and the user address file first (a failure there refuses the
// start), then every checked row (a missing source file or a destination name too long for the
// terminal unchecks the row with a warning, the other rows go on).
StartCheck CheckStart(const Configuration& config, const StartOptions& options);

}  // namespace termload
