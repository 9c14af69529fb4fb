// termload-cli demo --transport hid|ccid: the sample download into one simulated terminal behind
// a USB-HID device or a CCID reader, reached through the same libraries as on hardware.
#pragma once

#include <filesystem>

#include "cli/commands.h"
#include "cli/run_events.h"

namespace termload::cli {

// Runs termsim with the door of `transport` (USB-HID: its umockdev testbed; USB-CCID: its
// private pcscd), downloads the sample configuration once through it and checks every file the
// terminal stored byte for byte. Usage exit code, with one line, when this machine lacks what the
// door needs. Returns the process's exit code.
int TransportDemo(const std::filesystem::path& termsim, RunTransport transport, RunEvents& events);

}  // namespace termload::cli
