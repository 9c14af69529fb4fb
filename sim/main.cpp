// termsim: simulated POS terminals on pseudo-terminals.
#include <CLI/CLI.hpp>
#include <cstdio>
#include <exception>
#include <stdexcept>

#include "simulator.hpp"
#include "termload_version.h"

namespace {

bool ParseUsbId(const std::string& text, uint16_t& vendor, uint16_t& product) {
    unsigned v = 0;
    unsigned p = 0;
    char end = 0;
    if (std::sscanf(text.c_str(), "%4x:%4x%c", &v, &p, &end) != 2) {
        return false;
    }
    vendor = static_cast<uint16_t>(v);
    product = static_cast<uint16_t>(p);
    return true;
}

int Run(int argc, char** argv) {
    using namespace termsim;
    CLI::App app{
        "termsim: simulated POS terminals on pseudo-terminals. Each port is a boot loader console, "
        "a file frame receiver, a YMODEM receiver, a clock and a version responder."};
    SimulatorOptions options;
    std::string frame = "full";
    std::string versionsFile;
    std::vector<std::string> faultTexts;
    std::vector<std::string> ccidFaultTexts;
    std::vector<std::string> hidFaultTexts;
    bool quiet = false;
    bool progress = false;
    int bootMs = 300;
    int workMs = -1;
    int restartMs = 0;
    std::string usbId = "5345:1234";

    app.add_option("--ports", options.ports, "number of simulated ports")
        ->check(CLI::Range(1, 256));
    app.add_option("--dir", options.dir, "directory for links, received files and results")
        ->required();
    app.add_option("--map", options.map, "port map to write (default DIR/ports.ini)");
    app.add_option("--frame", frame, "frame format: full (4173 bytes) or compact (4137 bytes)")
        ->check(CLI::IsMember({"full", "compact"}));
    app.add_option("--baud", options.baud, "pace every byte at this rate, 8N1 (default unpaced)")
        ->check(CLI::Range(50, 4000000));
    app.add_option("--seconds", options.seconds, "stop after this many seconds")
        ->check(CLI::PositiveNumber);
    app.add_option("--versions", versionsFile, "installed versions: lines of type;version");
    app.add_option("--fault", faultTexts,
                   "PORTS:KIND[=N], PORTS = all or 1,3-5; KIND = silent, slow=MS, hangup=FRAMES, "
                   "stall=FRAMES (first unit only; FRAMES*N the first N, FRAMES*all every unit), "
                   "replace=FILES (*N, *all: once it holds FILES files the unit hangs up while the "
                   "port is closed and its replacement comes back under the same pty node), "
                   "away=MS (at a hang-up the port's link is missing this long), nak=N, "
                   "can=BLOCKS, drop=N, corrupt=N, noise=MS, longline=BYTES, checksum, "
                   "hang=COMMAND (the boot loader stops answering at that console command), "
                   "usbsum=N (first N USB images), usbstall=BYTES (*N, *all as for stall)");
    app.add_option("--boot-ms", bootMs, "power-on to banner, milliseconds")
        ->check(CLI::Range(0, 60000));
    app.add_option("--restart-ms", restartMs,
                   "switch a terminal off and on (as its operator would) when the tool has held "
                   "its port open this long without sending a byte; 0: never (default)")
        ->check(CLI::Range(0, 600000));
    app.add_option("--work-ms", workMs,
                   "time of each console operation (RAM test, erase, NAND, kernel boot)")
        ->check(CLI::Range(0, 600000));
    app.add_flag("--relay", options.relay,
                 "instead of terminals, join two ptys (COM1, COM2) by a line paced at --baud");
    app.add_flag("--usb", options.usb,
                 "COM1's terminal also serves its USB download device through an umockdev "
                 "testbed; DIR/env holds the environment the tool needs to reach it");
    app.add_option("--usb-id", usbId, "vendor:product of the USB device, hex (default 5345:1234)");
    app.add_flag("--hid", options.hid,
                 "also a terminal behind a USB-HID device (vendor 0x8888) in an umockdev testbed; "
                 "DIR/env holds the environment the tool needs to reach it (not with --usb)");
    app.add_option("--hid-fault", hidFaultTexts,
                   "refuse=N (the Nth report the tool writes fails, as a device that refuses it), "
                   "stall=N (the Nth report is never finished, as a device that stopped taking "
                   "reports)");
    app.add_flag("--ccid", options.ccid,
                 "also a terminal behind a CCID reader of a private pcscd (DIR/env names its "
                 "socket)");
    app.add_option("--ccid-fault", ccidFaultTexts,
                   "unready=N (probes not ready until N reboot requests), refuse=N (the Nth data "
                   "request is refused), busy=N (end-of-pass polls still writing N times)");
    auto* quietFlag = app.add_flag("--quiet", quiet, "print nothing but errors");
    app.add_flag("--progress", progress, "print every received block as well")->excludes(quietFlag);
    app.set_version_flag("--version", "termsim " TERMLOAD_VERSION);
    CLI11_PARSE(app, argc, argv);

    try {
        options.frameFormat = frame == "full" ? FrameFormat::Full : FrameFormat::Compact;
        options.verbosity = quiet      ? Verbosity::Quiet
                            : progress ? Verbosity::Progress
                                       : Verbosity::Events;
        if (!versionsFile.empty()) {
            options.versions = LoadVersionsFile(versionsFile);
        }
        if (options.relay) {
            options.ports = 2;
        }
        options.faults.assign(static_cast<size_t>(options.ports), PortFaults{});
        for (const std::string& fault : faultTexts) {
            ApplyFaultText(fault, options.faults);
        }
        for (const std::string& fault : ccidFaultTexts) {
            ApplyCcidFault(fault, options.ccidFaults);
        }
        for (const std::string& fault : hidFaultTexts) {
            ApplyHidFaultText(fault, options.hidFaults);
        }
        options.console.bootTime = milliseconds(bootMs);
        options.restartWhenWaiting = milliseconds(restartMs);
        if (!ParseUsbId(usbId, options.usbVendor, options.usbProduct)) {
            throw std::invalid_argument("--usb-id '" + usbId + "': expected VVVV:PPPP in hex");
        }
        if (workMs >= 0) {
            const auto work = milliseconds(workMs);
            options.console.ramTestTime = options.console.eraseTime = work;
            options.console.nandWriteTime = options.console.nandReadTime = work;
            options.console.solidifyTime = options.console.kernelBootTime = work;
        }
        return RunSimulator(options);
    } catch (const std::exception& error) {
        std::fprintf(stderr, "termsim: %s\n", error.what());
        return 1;
    }
}

}  // namespace

int main(int argc, char** argv) {
    try {
        return Run(argc, argv);
    } catch (...) {
        std::fprintf(stderr, "termsim: unexpected failure\n");
        return 1;
    }
}
