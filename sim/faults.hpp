#pragma once
// Faults a simulated terminal can be given, per port, for the reliability tests.
#include <cstdint>
#include <string>
#include <vector>

#include "sim_time.hpp"

namespace termsim {

struct PortFaults {
    bool silent = false;         // takes everything, answers nothing
    Duration slow{0};            // every answer starts this late
    int hangupAfterFrames = -1;  // closes its side after this many frames, returns as a new unit
    int stallAfterFrames = -1;   // stops taking bytes after this many frames until the port closes
    int hangupUnits = 1;         // how many units hang up (0: every one); the rest are healthy
    int stallUnits = 1;          // how many units stall (0: every one)
    // Hangs up once it holds this many files, when the tool has closed the port, and its
    // replacement comes back under the same pty node (as a pty number reused, or a device
    // re-created behind the same link).
    int replaceAfterFiles = -1;
    int replaceUnits = 1;  // how many units are replaced that way (0: every one)
    Duration awayFor{0};   // at a hang-up, the port's link is missing this long before it returns
    int ymodemNaks = 0;    // answers the first YMODEM data packet with NAK this often
    int ymodemCancelAfter = -1;  // sends CAN CAN after this many YMODEM data packets
    uint64_t dropEvery = 0;      // loses every N-th received byte
    uint64_t corruptEvery = 0;   // flips the bits of every N-th received byte
    Duration noiseEvery{0};      // a line of console noise this often
    size_t longLine = 0;         // an over-long console line before each answer
    bool checksumError = false;  // "Checksum Error" after a USB image
    std::string consoleHang;     // the boot loader hangs at this console command
    // The USB device (termsim --usb, on COM1):
    int usbBadSums = 0;               // the first N images arrive with their sum damaged
    int64_t usbStallAfterBytes = -1;  // stops taking data once an image would pass this many bytes
    int usbStallImages = 1;           // images that stall that way (0: every one)
};

// Applies one "PORTS:KIND[=N]" text to the per-port list (index 0 is COM1). PORTS is "all" or a
// list of numbers and ranges ("1,3-5"). Kinds: silent, slow=MS, hangup=FRAMES, stall=FRAMES,
// replace=FILES (*N or *all as for hangup), away=MS, nak=N, can=BLOCKS, drop=N, corrupt=N,
// noise=MS, longline=BYTES, checksum, hang=COMMAND, usbsum=N, usbstall=BYTES (with *N or *all as
// for stall, counted in images). A hang-up or stall hits the first unit on the port that gets that
// far; "hangup=FRAMES*N" hits the first N such units and "hangup=FRAMES*all" every one (likewise
// for stall). Throws std::invalid_argument with a message for anything else.
void ApplyFaultText(const std::string& text, std::vector<PortFaults>& faults);

// Faults of the USB-HID device, each naming one write of the run (1 = the first; 0: none).
struct HidFaults {
    int refuseReport = 0;  // fails with EPIPE, as a device that refuses the report
    int stallReport = 0;   // never finishes, as a device that stops taking reports
};

// "refuse=N" or "stall=N" with N from 1. Throws std::invalid_argument with a message for anything
// else.
void ApplyHidFaultText(const std::string& text, HidFaults& faults);

}  // namespace termsim
