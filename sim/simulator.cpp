#include "simulator.hpp"

#include <sys/epoll.h>
#include <sys/signalfd.h>

#include <csignal>
#include <cstdio>
#include <fstream>
#include <memory>
#include <stdexcept>

#include "ccid_side.hpp"
#include "env_file.hpp"
#include "event_loop.hpp"
#include "paced_relay.hpp"
#include "sim_port.hpp"
#ifdef TERMSIM_HAVE_UMOCKDEV
#include "hid_terminal.hpp"
#include "usb_gadget.hpp"
#endif

namespace termsim {

namespace {

// SIGINT and SIGTERM arrive through a descriptor of the loop, never in a handler.
class StopSignals {
  public:
    explicit StopSignals(EventLoop& loop) : loop_(loop) {
        sigset_t set;
        sigemptyset(&set);
        sigaddset(&set, SIGINT);
        sigaddset(&set, SIGTERM);
        sigprocmask(SIG_BLOCK, &set, &previous_);
        fd_.Reset(::signalfd(-1, &set, SFD_NONBLOCK | SFD_CLOEXEC));
        if (!fd_) {
            throw std::runtime_error("signalfd failed");
        }
        loop_.Add(fd_.get(), EPOLLIN, [this](uint32_t) {
            signalfd_siginfo info;
            while (::read(fd_.get(), &info, sizeof info) > 0) {
            }
            loop_.Stop();
        });
    }
    ~StopSignals() {
        loop_.Remove(fd_.get());
        sigprocmask(SIG_SETMASK, &previous_, nullptr);
    }
    StopSignals(const StopSignals&) = delete;
    StopSignals& operator=(const StopSignals&) = delete;

  private:
    EventLoop& loop_;
    UniqueFd fd_;
    sigset_t previous_;
};

std::string PortName(int number) {
    return "COM" + std::to_string(number);
}

}  // namespace

void WritePortMap(const std::filesystem::path& map,
                  const std::vector<std::filesystem::path>& paths) {
    std::filesystem::path temporary = map;
    temporary += ".new";
    {
        std::ofstream out(temporary, std::ios::trunc);
        out << "; written by termsim: each key names the stable link of one simulated port\n"
            << "[Ports]\n";
        for (size_t i = 0; i < paths.size(); ++i) {
            out << PortName(static_cast<int>(i + 1)) << "=" << paths[i].string() << "\n";
        }
        if (!out.flush()) {
            throw std::runtime_error("cannot write " + temporary.string());
        }
    }
    std::filesystem::rename(temporary, map);
}

int RunSimulator(const SimulatorOptions& options) {
    const TimePoint start = Clock::now();
    const std::filesystem::path dir = std::filesystem::absolute(options.dir);
    const std::filesystem::path portsDir = dir / "ports";
    std::filesystem::create_directories(portsDir);
    const std::filesystem::path map =
        options.map.empty() ? dir / "ports.ini" : std::filesystem::absolute(options.map);

    EventLoop loop;
    StopSignals signals(loop);
    std::signal(SIGPIPE, SIG_IGN);
    ResultsLog log(dir / "results.jsonl", options.verbosity, start);
    Tally tally;
    std::vector<std::filesystem::path> links;

    std::unique_ptr<OpenWatcher> watcher;
    std::vector<std::unique_ptr<SimPort>> ports;
    std::unique_ptr<PacedRelay> relay;
    if (options.relay) {
        links = {portsDir / "COM1", portsDir / "COM2"};
        relay = std::make_unique<PacedRelay>(loop, links[0], links[1], options.baud);
    } else {
        watcher = std::make_unique<OpenWatcher>(loop);
        for (int n = 1; n <= options.ports; ++n) {
            PortSetup port;
            port.link = portsDir / PortName(n);
            port.baud = options.baud;
            port.faults = options.faults.at(static_cast<size_t>(n - 1));
            TerminalSetup terminal;
            terminal.port = PortName(n);
            terminal.dir = dir / PortName(n);
            terminal.frameFormat = options.frameFormat;
            terminal.versions = options.versions;
            terminal.console = options.console;
            terminal.console.noiseEvery = port.faults.noiseEvery;
            terminal.console.longLine = port.faults.longLine;
            terminal.console.checksumError = port.faults.checksumError;
            terminal.console.hangOn = port.faults.consoleHang;
            terminal.ymodem = options.ymodem;
            terminal.ymodem.nakFirstBlock = port.faults.ymodemNaks;
            terminal.ymodem.cancelAfterBlocks = port.faults.ymodemCancelAfter;
            terminal.hangupAfterFrames = port.faults.hangupAfterFrames;
            terminal.stallAfterFrames = port.faults.stallAfterFrames;
            terminal.hangupUnits = port.faults.hangupUnits;
            terminal.stallUnits = port.faults.stallUnits;
            terminal.replaceAfterFiles = port.faults.replaceAfterFiles;
            terminal.replaceUnits = port.faults.replaceUnits;
            terminal.restartWhenWaiting = options.restartWhenWaiting;
            ports.push_back(std::make_unique<SimPort>(loop, *watcher, std::move(port),
                                                      std::move(terminal), log, tally));
            links.push_back(ports.back()->link());
        }
    }
    // Each door adds its lines; what a run before this one left must not reach the tool.
    const std::filesystem::path envFile = dir / "env";
    std::filesystem::remove(envFile);
#ifdef TERMSIM_HAVE_UMOCKDEV
    std::unique_ptr<UsbGadget> usb;
    if (options.usb && !ports.empty()) {
        const PortFaults& faults = options.faults.at(0);
        usb = std::make_unique<UsbGadget>(UsbGadgetOptions{
            options.usbVendor,
            options.usbProduct,
            {faults.usbBadSums, faults.usbStallAfterBytes, faults.usbStallImages}});
        loop.Add(usb->readyFd(), EPOLLIN, [&usb, &ports](uint32_t) {
            for (UsbImage& image : usb->TakeImages()) {
                ports.front()->UsbImageReceived(std::move(image));
            }
        });
        AddEnvLines(envFile, {{"UMOCKDEV_DIR", usb->rootDir()}, {"LD_PRELOAD", kUmockdevPreload}});
    }
    if (options.usb && ports.empty()) {
        throw std::runtime_error("--usb needs terminals; it cannot go with --relay");
    }
    if (options.hid && options.usb) {
        throw std::runtime_error("--hid and --usb each need the tool's umockdev environment");
    }
    std::unique_ptr<HidDevice> hidDevice;
    std::unique_ptr<HidTerminal> hid;
    if (options.hid) {
        HidDeviceOptions device;
        device.faults = options.hidFaults;
        hidDevice = std::make_unique<HidDevice>(device);
        TerminalSetup terminal;
        terminal.port = "HID";
        terminal.dir = dir / "HID";
        terminal.frameFormat = FrameFormat::Full;  // a report holds the whole frame
        terminal.versions = options.versions;
        terminal.console = options.console;
        hid = std::make_unique<HidTerminal>(loop, std::move(terminal), *hidDevice, log, tally);
        loop.Add(hidDevice->readyFd(), EPOLLIN, [&hidDevice, &hid](uint32_t) {
            for (HidEvent& event : hidDevice->TakeEvents()) {
                hid->Handle(std::move(event), Clock::now());
            }
        });
        AddEnvLines(envFile,
                    {{"UMOCKDEV_DIR", hidDevice->rootDir()}, {"LD_PRELOAD", kUmockdevPreload}});
    }
#else
    if (options.usb || options.hid) {
        throw std::runtime_error(
            "this termsim was built without umockdev: install libumockdev-dev and umockdev "
            "(scripts/setup.sh) and build again");
    }
#endif
    std::unique_ptr<CcidSide> ccid;
    if (options.ccid) {
        TerminalSetup terminal;
        terminal.port = "CCID";
        terminal.dir = dir / "CCID";
        terminal.frameFormat = FrameFormat::Full;  // frames cross a reader whole, never compact
        terminal.versions = options.versions;
        ccid = std::make_unique<CcidSide>(loop, dir, std::move(terminal), options.ccidFaults, log,
                                          tally);
    }
    WritePortMap(map, links);
    if (options.verbosity != Verbosity::Quiet) {
        std::printf("termsim: %zu %s ready, port map %s\n", links.size(),
                    options.relay ? "relay ends" : "ports", map.c_str());
        if (ccid) {
            std::printf("termsim: CCID reader \"%s\" ready, environment in %s\n",
                        ccid->readerName().c_str(), envFile.c_str());
        }
        std::fflush(stdout);
    }
    if (options.seconds) {
        loop.At(start + std::chrono::duration_cast<Duration>(
                            std::chrono::duration<double>(*options.seconds)),
                [&loop]() { loop.Stop(); });
    }
    loop.Run();

    const TimePoint end = Clock::now();
    for (auto& port : ports) {
        port->Shutdown(end);
    }
#ifdef TERMSIM_HAVE_UMOCKDEV
    if (hid) {
        // Reports the tool wrote before the stop are taken in before the unit is recorded.
        for (HidEvent& event : hidDevice->TakeEvents()) {
            hid->Handle(std::move(event), end);
        }
        hid->Shutdown(end);
    }
#endif
    if (ccid) {
        ccid->Shutdown(end);
    }
    nlohmann::json summary = {{"event", "summary"},
                              {"ports", links.size()},
                              {"units", tally.units},
                              {"files_good", tally.filesGood},
                              {"files_bad", tally.filesBad},
                              {"frames_bad", tally.framesBad},
                              {"clock_packets", tally.clockPackets},
                              {"version_requests", tally.versionRequests},
                              {"hangups", tally.hangups}};
    if (relay) {
        summary["relayed_a_to_b"] = relay->bytesAtoB();
        summary["relayed_b_to_a"] = relay->bytesBtoA();
    }
    log.Record(std::move(summary), end);
#ifdef TERMSIM_HAVE_UMOCKDEV
    if (usb) {
        loop.Remove(usb->readyFd());
        usb.reset();
    }
    if (hidDevice) {
        loop.Remove(hidDevice->readyFd());
        hid.reset();
        hidDevice.reset();
    }
#endif
    ports.clear();
    relay.reset();
    std::error_code envGone;
    std::filesystem::remove(envFile, envGone);
    for (const auto& link : links) {
        std::error_code ec;
        std::filesystem::remove(link, ec);
    }
    return 0;
}

}  // namespace termsim
