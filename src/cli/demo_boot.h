// termload-cli demo --boot: a kernel-mode run into a simulated terminal's boot loader.
#pragma once

#include <filesystem>

#include "cli/run_events.h"

namespace termload::cli {

// Runs termsim with its USB download device, downloads BIOS, kernel and root files through the
// USB pipe and a kernel image by YMODEM, and checks what the terminal solidified and holds in
// RAM byte for byte against the sources. Returns the process's exit code.
int BootDemo(const std::filesystem::path& termsim, RunEvents& events);

}  // namespace termload::cli
