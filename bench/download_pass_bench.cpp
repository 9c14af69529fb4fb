// One download pass against termsim at the production pacing, on 1 port and on 27 ports.
// Prints, for each: the pass time achieved against the time the pacing prescribes (every pause
// of the settings and of the protocol's time table, added up for the file list), the 27-port
// pass time against the 1-port one, and the CPU time the download took per MiB sent, beside what
// the pacing alone costs on the machine.
//
//   download_pass_bench [--quick]     (--quick: a smaller file list)
#include <pty.h>
#include <sys/resource.h>
#include <termios.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <map>
#include <mutex>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "bench_host.h"
#include "channels/port_map.h"
#include "channels/serial_channel.h"
#include "cli/child_process.h"
#include "engine/download_controller.h"
#include "engine/port_slot_table.h"
#include "engine/start_check.h"
#include "engine/stop_signal.h"

namespace termload {
namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;
using Seconds = std::chrono::duration<double>;

// Records when each slot's pass starts and finishes, and the bytes of the files sent.
class BenchHost : public BenchHostBase {
  public:
    void PassStarted(int slot, int) override {
        std::lock_guard lock(mutex_);
        started_[slot] = Clock::now();
    }
    void PassFinished(int slot, int, bool ok) override {
        std::lock_guard lock(mutex_);
        passTime_[slot] = Clock::now() - started_[slot];
        allOk_ = allOk_ && ok;
    }
    void FileFinished(const FileReport& file) override {
        std::lock_guard lock(mutex_);
        bytes_ += file.ok ? file.size : 0;
    }

    std::map<int, Clock::duration> PassTimes() const {
        std::lock_guard lock(mutex_);
        return passTime_;
    }
    std::uint64_t Bytes() const {
        std::lock_guard lock(mutex_);
        return bytes_;
    }
    bool AllOk() const {
        std::lock_guard lock(mutex_);
        return allOk_;
    }

  private:
    bool allOk_ = true;
    std::uint64_t bytes_ = 0;
    std::map<int, Clock::time_point> started_;
    std::map<int, Clock::duration> passTime_;
};

// A wait as the engine makes it: whole 10 ms steps.
double Steps(std::uint64_t milliseconds) {
    return static_cast<double>(milliseconds / 10 * 10);
}

// The pauses the pacing prescribes for one pass over `sizes`, from its start to its last file.
double MandatedPassSeconds(const std::vector<std::size_t>& sizes, const DownloadJob& job) {
    double ms = 0;
    for (const std::size_t size : sizes) {
        const std::uint64_t blocks = (size + 4095) / 4096;
        ms += 2 * Steps(job.timings.channelSettleMs);  // the port closed and opened afresh
        ms += static_cast<double>(blocks) *
              (9 * Steps(job.pacing.usbDelayMs) + Steps(job.pacing.s4kDelayMs));
        ms += Steps(size / 8000 * job.pacing.fileIntervalMs);
        ms += Steps(job.pacing.fileIntervalFixedMs);
    }
    return ms / 1000;
}

// CPU seconds (user and system) of this process, or of the calling thread, so far.
double CpuSeconds(int who = RUSAGE_SELF) {
    rusage usage{};
    getrusage(who, &usage);
    const auto seconds = [](const timeval& t) { return t.tv_sec + t.tv_usec / 1e6; };
    return seconds(usage.ru_utime) + seconds(usage.ru_stime);
}

// What the pacing alone costs on this machine, in CPU milliseconds per MiB: a frame's nine
// 512-byte writes to a pseudo-terminal, each followed by a 10 ms wait as the engine waits, and
// nothing else (a thread on the terminal's side takes the bytes). The download cannot go below
// it on one port. Also how long those waits took against the time they were given: what this
// machine's wake-ups add to any paced pass.
struct PacingFloor {
    double cpuPerMiB = 0;
    double achieved = 0;
};
PacingFloor MeasurePacingFloor() {
    int master = -1;
    int device = -1;
    if (::openpty(&master, &device, nullptr, nullptr, nullptr) != 0) {
        return {};
    }
    termios raw{};
    ::tcgetattr(device, &raw);
    ::cfmakeraw(&raw);
    ::tcsetattr(device, TCSANOW, &raw);
    std::thread terminal([master] {
        char buffer[4096];
        while (::read(master, buffer, sizeof buffer) > 0) {
        }
    });
    constexpr int kFrames = 30;
    const char piece[512] = {};
    const StopSignal never;
    const double before = CpuSeconds(RUSAGE_THREAD);
    const auto began = Clock::now();
    for (int write = 0; write < kFrames * 9; ++write) {
        if (::write(device, piece, sizeof piece) < 0) {
            break;
        }
        never.WaitFor(std::chrono::milliseconds(10));
    }
    const double cpu = CpuSeconds(RUSAGE_THREAD) - before;
    const double took = Seconds(Clock::now() - began).count();
    ::close(device);  // the terminal's side reads an error and ends
    terminal.join();
    ::close(master);
    constexpr double kFramesPerMiB = (1 << 20) / 4096.0;
    return {1000 * cpu / kFrames * kFramesPerMiB, took / (kFrames * 9 * 0.010)};
}

struct PassFigures {
    double mandated = 0;
    double slowest = 0;  // the slowest port's pass
    double mean = 0;
    double cpuPerMiB = 0;  // milliseconds of CPU per MiB sent
};

PassFigures RunPass(const fs::path& dir, int ports, const std::vector<std::size_t>& sizes) {
    const fs::path simDir = dir / ("termsim-" + std::to_string(ports));
    fs::create_directories(simDir);
    cli::ChildProcess sim(
        {TERMSIM_PATH, "--ports", std::to_string(ports), "--dir", simDir.string(), "--quiet"},
        simDir / "termsim.log");
    for (int i = 0; i < 500 && !fs::exists(simDir / "ports.ini"); ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    SetPortMapFile(simDir / "ports.ini");

    Configuration config;
    config.settings.modeCodes = {"05"};
    config.controls.modelItems = {"M740-32"};
    config.controls.modelIndex = 0;
    config.controls.hardVersion = "10";
    config.controls.portMode = ports == 1 ? PortMode::Single : PortMode::Multi;
    config.controls.portNumIndex = 2;
    for (std::size_t i = 0; i < sizes.size(); ++i) {
        const std::string name = "file" + std::to_string(i) + ".bin";
        config.files.AddFileRow(1, (dir / name).string(), name);
    }
    StartOptions options;
    options.passLimit = 1;
    const StartCheck check = CheckStart(config, options);
    if (!check.job) {
        throw std::runtime_error("the download does not start");
    }

    BenchHost host;
    PortSlotTable table(host);
    DownloadController controller(table);
    const double cpuBefore = CpuSeconds();
    controller.Start(check.job);
    const bool ended = host.WaitForEnd(std::chrono::seconds(600));
    controller.Stop();
    const double cpu = CpuSeconds() - cpuBefore;
    SetPortMapFile({});
    sim.Stop();
    const auto times = host.PassTimes();
    if (!ended || !host.AllOk() || times.size() != static_cast<std::size_t>(ports)) {
        throw std::runtime_error("the pass did not complete on every port");
    }

    PassFigures figures;
    figures.mandated = MandatedPassSeconds(sizes, *check.job);
    for (const auto& [slot, time] : times) {
        const double seconds = Seconds(time).count();
        figures.slowest = std::max(figures.slowest, seconds);
        figures.mean += seconds / static_cast<double>(times.size());
    }
    figures.cpuPerMiB = 1000 * cpu / (static_cast<double>(host.Bytes()) / (1 << 20));
    return figures;
}

}  // namespace
}  // namespace termload

int main(int argc, char** argv) {
    using namespace termload;
    const bool quick = argc > 1 && std::string(argv[1]) == "--quick";
    const std::vector<std::size_t> sizes =
        quick ? std::vector<std::size_t>{1024, 5000, 65536}
              : std::vector<std::size_t>{1024, 5000, 65536, 262144, 1 << 20};
    const fs::path dir = fs::temp_directory_path() / ("download-bench-" + std::to_string(getpid()));
    fs::create_directories(dir);
    for (std::size_t i = 0; i < sizes.size(); ++i) {
        std::ofstream out(dir / ("file" + std::to_string(i) + ".bin"), std::ios::binary);
        for (std::size_t b = 0; b < sizes[i]; ++b) {
            out.put(static_cast<char>(b * 131 + i));
        }
    }
    ChannelLibInit();
    int status = 0;
    try {
        const PassFigures one = RunPass(dir, 1, sizes);
        const PassFigures many = RunPass(dir, 27, sizes);
        std::printf("pass at the production pacing, %zu files\n", sizes.size());
        std::printf("%-9s %10s %10s %10s %9s %12s\n", "ports", "mandated", "slowest", "mean",
                    "achieved", "CPU ms/MiB");
        for (const auto& [ports, f] : {std::pair{1, one}, std::pair{27, many}}) {
            std::printf("%-9d %9.3fs %9.3fs %9.3fs %9.4f %12.1f\n", ports, f.mandated, f.slowest,
                        f.mean, f.slowest / f.mandated, f.cpuPerMiB);
        }
        std::printf("27-port / 1-port pass time: %.4f\n", many.mean / one.mean);
        const PacingFloor floor = MeasurePacingFloor();
        std::printf(
            "pacing alone on this machine (9 writes and 9 waits a frame): %.1f CPU ms/MiB, "
            "achieved %.4f\n",
            floor.cpuPerMiB, floor.achieved);
    } catch (const std::exception& error) {
        std::fprintf(stderr, "download_pass_bench: %s\n", error.what());
        status = 1;
    }
    std::error_code ignored;
    fs::remove_all(dir, ignored);
    return status;
}
