#pragma once
// The whole simulator run: N ports on one event loop, the port map, the results file, and a
// clean stop on SIGINT, SIGTERM or after the given time.
#include <cstdint>
#include <filesystem>
#include <optional>
#include <vector>

#include "boot_console.hpp"
#include "ccid_terminal.hpp"
#include "command_packets.hpp"
#include "faults.hpp"
#include "frame_receiver.hpp"
#include "results_log.hpp"
#include "ymodem_receiver.hpp"

namespace termsim {

struct SimulatorOptions {
    int ports = 1;
    std::filesystem::path dir;
    std::filesystem::path map;  // empty: DIR/ports.ini
    FrameFormat frameFormat = FrameFormat::Full;
    uint32_t baud = 0;
    std::optional<double> seconds;
    Verbosity verbosity = Verbosity::Events;
    std::vector<InstalledVersion> versions;
    std::vector<PortFaults> faults;  // one a port
    ConsoleOptions console;
    YmodemOptions ymodem;
    Duration restartWhenWaiting{0};  // the operator's restart of a unit the tool waits on; 0: none
    bool relay = false;              // two paced ptys joined, instead of terminals
    // COM1's terminal also serves a USB device for its download mode, through an umockdev
    // testbed; DIR/env tells the tool's environment how to reach it.
    bool usb = false;
    uint16_t usbVendor = 0x5345;
    uint16_t usbProduct = 0x1234;
    // The terminal's USB-HID function (vendor 0x8888) through an umockdev testbed; DIR/env as
    // for --usb, so the two cannot go together.
    bool hid = false;
    HidFaults hidFaults;
    bool ccid = false;  // also a terminal behind a reader of a private pcscd
    CcidFaults ccidFaults;
};

// Writes the INI port map: section "Ports", keys COM1… = paths. Written to a temporary file and
// renamed, so a reader never sees half a map.
void WritePortMap(const std::filesystem::path& map,
                  const std::vector<std::filesystem::path>& paths);

// Runs until stopped; returns the process exit code. Throws on set-up failures.
int RunSimulator(const SimulatorOptions& options);

}  // namespace termsim
