#pragma once

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "channels/ccid_reader.h"
#include "channels/usb_pipe.h"
#include "config/controls_model.h"
#include "config/user_addr_file.h"
#include "engine/timings.h"
#include "engine/transport.h"

namespace termload {

// Kernel-image, BIOS, kernel and root rows go through the terminal's boot loader, not as frames.
inline constexpr int kKernelImageKind = 0;
inline bool IsUsbPipeKind(int kind) {
    return kind == 3 || kind == 4 || kind == 5;
}
inline bool IsBootLoaderKind(int kind) {
    return kind == kKernelImageKind || IsUsbPipeKind(kind);
}

// The name a file has on the terminal: RootDir in front, unless the name begins with it already.
inline std::string DestinationOnTerminal(const std::string& rootDir,
                                         const std::string& destination) {
    if (rootDir.empty() || destination.starts_with(rootDir)) {
        return destination;
    }
    return rootDir + destination;
}

// Bytes of a destination name on the wire (GBK): 50 in full frames, 14 in compact ones.
inline std::size_t DestinationLimit(bool newMachine) {
    return newMachine ? 50 : 14;
}

// One checked row of the file list that passed the start checks.
struct DownloadRow {
    int row = 0;   // position in the file list (for unchecking it)
    int kind = 1;  // FileKind digit
    std::filesystem::path source;
    std::string destination;  // as the list holds it (UTF-8), without RootDir
};

// The pauses that pace a download, from the settings, in milliseconds.
struct DownloadPacing {
    std::uint32_t usbDelayMs = 10;           // after every piece of a frame
    std::uint32_t s4kDelayMs = 1;            // after every frame
    std::uint32_t fileIntervalMs = 80;       // after a file, per 8000 bytes of it
    std::uint32_t fileIntervalFixedMs = 80;  // after every file
};

// Everything a run needs, taken when the download starts: the threads never read the window or
// the live settings. Shared, read-only, by every thread of the run.
struct DownloadJob {
    std::string modelName;
    std::uint8_t modeCode = 0;         // frame byte 7
    std::uint8_t hardwareVersion = 0;  // frame byte 8
    PortMode portMode = PortMode::Single;
    int singlePort = 1;  // COM number in single-port mode
    int portCount = 1;   // threads: 1, or 9, 18 or 27 in multi-port mode
    // How the channels open; its `devices` is the port table taken at the start, the one table
    // of COM numbers for the whole run.
    SlotChannelSettings channel;

    std::vector<DownloadRow> rows;
    int fileCount = 0;  // rows, plus the address file for M868
    // M868: the names the address file lists, and where its addresses come from.
    std::vector<std::string> addressFileNames;
    bool useLocalAddress = false;
    UserAddressTable userAddresses;
    std::filesystem::path addressTraceDir;  // where file.adr is copied when tracing; empty: nowhere

    int langBase = 0;
    bool newMachine = true;
    bool downTimer = false;
    std::string rootDir;
    // Boot loader: every pass waits for the banner and erases the user area (kernel mode); the
    // empty-flash tests and erases; the pause between the console's wake-up bytes and a command.
    bool kernelMode = false;
    bool emptyFlash = false;
    std::uint32_t cmdDelayMs = 1000;
    UsbPipeTarget usbPipe;  // the terminal's device in USB download mode
    // Where the boot loader puts an image that comes through the USB pipe.
    std::uint32_t downloadAddress = 0x30200000;
    DownloadPacing pacing;
    Timings timings;

    // Passes per port after which a thread ends its run; 0 runs until stopped.
    int passLimit = 0;
    // With a pass limit: a port that cannot be opened for longer than this fails its remaining
    // passes at once instead of being waited for; 0 waits until it opens or the run is stopped.
    std::uint32_t absentLimitMs = 0;

    // The COM number of each slot the run uses.
    std::vector<int> Ports() const {
        if (!TraitsOf(channel.transport).comPorts) {
            return {0};  // a USB terminal has no COM number: its texts show "[COM0]"
        }
        if (portMode != PortMode::Multi) {
            return {singlePort};
        }
        std::vector<int> ports;
        for (int port = 1; port <= portCount; ++port) {
            ports.push_back(port);
        }
        return ports;
    }
};

}  // namespace termload
