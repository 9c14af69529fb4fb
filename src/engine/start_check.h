#pragma once

#include <cstdint>
#include <filesystem>
#include <memory>
#include <optional>
#include <vector>

#include "channels/port_map.h"
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
    int passLimit = 0;                      // passes per port; 0 runs until stopped
    std::uint32_t absentLimitMs = 0;        // with a pass limit: how long a port may be away
    Timings timings;
    // The COM-to-device table the run keeps; unset: the process's port table, read now.
    std::optional<PortTable> portTable;
    // The host's reader connection, for a transport that needs an open one (it must be connected
    // by then); the run's links get it from the controller's link factory.
    std::shared_ptr<CcidReader> ccidReader;
};

// The outcome of the checks a download start makes on the operator's choices and file list.
struct StartCheck {
    // Why the start is refused, to show in this order: the one reason for the whole run, or one
    // message for each checked row that cannot go, naming the row.
    std::vector<PromptMessage> messages;
    // The job to start; null when nothing is to start (refused, or no checked row).
    std::shared_ptr<const DownloadJob> job;
};

// Checks the choices and the checked rows of `config` and builds the job of the download.
// Refused as a whole: the model, the transport, serial settings no port takes, rows dropped when
// the list was loaded, a RootDir GBK cannot carry or (M868) too long for the address file's name,
// two of the run's COM numbers on one device, a port device that is no serial line, a missing user
// address file. Then every checked row: a missing or empty source file, an empty destination, a
// destination GBK cannot carry or too long for the frame in use (with RootDir in front) refuses
// the start with a message naming the row; a terminal is never sent part of the list. Two rows
// that reach the terminal under one name (RootDir applied) refuse it too. The rows are left as
// they are. The job keeps the port table as it was at this moment.
StartCheck CheckStart(const Configuration& config, const StartOptions& options);

}  // namespace termload
