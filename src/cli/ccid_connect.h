// The USB-CCID reader as the command line uses it: chosen by name (or the first one PC/SC
// lists) and connected with the terminal's readiness probe, as the window's Open button does.
#pragma once

#include <memory>
#include <optional>
#include <string>

#include "channels/ccid_reader.h"
#include "cli/run_events.h"

namespace termload::cli {

struct CcidConnection {
    std::shared_ptr<CcidReader> reader;  // connected and ready; null when not
    std::string name;                    // the reader chosen
    int exitCode = 0;                    // when `reader` is null
};

// Lists the readers, picks `name` (default: the first) and opens it with up to three probes,
// a reboot request and 3 s between them; Ctrl-C ends the pauses. Refusals go to stderr.
CcidConnection ConnectCcidReader(const std::optional<std::string>& name, RunEvents& events);

}  // namespace termload::cli
