// USB-CCID frame rate through the real pcsc-lite client, a private pcscd and termsim's reader:
// one file sent as frames by the download engine, timed from the start of the pass to the end
// of the file, against the bound the pacing prescribes (17 x USBDelay + S4KDelay per frame).
// Also the rate with no pacing at all, which is what the escape exchanges themselves cost, and
// the pauses alone (17 waits of USBDelay a frame, nothing else), which is what this machine's
// wake-ups add: what remains of the paced time is the exchanges after each pause.
//
//   ccid_bench [--quick]     (--quick: 20 frames instead of 100)
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <mutex>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include <unistd.h>

#include "bench_host.h"
#include "channels/ccid_reader.h"
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

class BenchHost : public BenchHostBase {
  public:
    void PassStarted(int, int) override {
        std::lock_guard lock(mutex_);
        started_ = Clock::now();
    }
    void FileFinished(const FileReport& file) override {
        std::lock_guard lock(mutex_);
        fileTime_ = Clock::now() - started_;
        ok_ = file.ok;
    }
    void PassFailed(const PassFailureReport&) override {
        std::lock_guard lock(mutex_);
        failures_ = true;
    }

    double FileSeconds() const {
        std::lock_guard lock(mutex_);
        return Seconds(fileTime_).count();
    }
    bool Clean() const {
        std::lock_guard lock(mutex_);
        return ok_ && !failures_;
    }

  private:
    bool ok_ = false;
    bool failures_ = false;
    Clock::time_point started_;
    Clock::duration fileTime_{};
};

// The client's socket from termsim's environment file; empty when it never came.
std::string WaitForSocket(const fs::path& env) {
    for (int i = 0; i < 500; ++i) {
        std::ifstream in(env);
        for (std::string line; std::getline(in, line);) {
            if (line.starts_with("PCSCLITE_CSOCK_NAME=")) {
                return line.substr(20);
            }
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return {};
}

// One pass of one file of `frames` blocks; the seconds from the pass's start to the file's end.
double RunPass(const fs::path& dir, const std::shared_ptr<CcidReader>& reader, int frames,
               int usbDelay, int s4kDelay) {
    const fs::path source = dir / "frames.bin";
    {
        std::ofstream out(source, std::ios::binary);
        std::string block(4096, '\0');
        for (int i = 0; i < frames; ++i) {
            std::memset(block.data(), 'a' + i % 26, block.size());
            out << block;
        }
    }
    Configuration config;
    config.settings.modeCodes = {"05"};
    config.settings.pieceDelayMs = usbDelay;
    config.settings.frameDelayMs = s4kDelay;
    config.settings.fileIntervalPer8000BytesMs = 0;
    config.settings.fileIntervalFixedMs = 0;
    config.controls.modelItems = {"M740-32"};
    config.controls.modelIndex = 0;
    config.controls.hardVersion = "10";
    config.controls.portMode = PortMode::UsbCcid;
    config.files.AddFileRow(1, source.string(), "frames.bin");
    StartOptions options;
    options.portTable = PortTable{};
    options.ccidReader = reader;
    const StartCheck check = CheckStart(config, options);
    if (!check.job) {
        throw std::runtime_error(check.messages.empty() ? "refused" : check.messages[0].text);
    }
    BenchHost host;
    PortSlotTable table(host);
    DownloadController controller(table, TransportLinks([reader] { return reader; }));
    controller.Start(check.job);
    const bool ended = host.WaitForEnd(std::chrono::seconds(600));
    controller.Stop();
    if (!ended || !host.Clean()) {
        throw std::runtime_error("the pass did not go through cleanly");
    }
    return host.FileSeconds();
}

// Seconds that `frames` frames' worth of pauses take on a thread of their own, as a slot thread
// waits them.
double PausesAlone(int frames, int usbDelay) {
    double took = 0;
    std::thread pacer([&] {
        const StopSignal never;
        const auto began = Clock::now();
        for (int i = 0; i < frames * 17; ++i) {
            never.WaitFor(std::chrono::milliseconds(usbDelay));
        }
        took = Seconds(Clock::now() - began).count();
    });
    pacer.join();
    return took;
}

int Main(int argc, char** argv) {
    const int frames = argc > 1 && std::strcmp(argv[1], "--quick") == 0 ? 20 : 100;
    const fs::path dir = fs::temp_directory_path() / ("ccid-bench-" + std::to_string(::getpid()));
    fs::create_directories(dir);
    int status = 0;
    {
        cli::ChildProcess sim({TERMSIM_PATH, "--ccid", "--dir", (dir / "sim").string(), "--quiet"},
                              dir / "termsim.log");
        const std::string socket = WaitForSocket(dir / "sim" / "env");
        if (socket.empty()) {
            std::fprintf(stderr, "termsim --ccid did not come up (see %s)\n",
                         (dir / "termsim.log").c_str());
            return 1;
        }
        ::setenv("PCSCLITE_CSOCK_NAME", socket.c_str(), 1);
        auto reader = std::make_shared<CcidReader>();
        std::vector<std::string> readers;
        for (int i = 0; i < 500 && readers.empty(); ++i) {
            readers = reader->ListReaders();
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
        if (readers.empty() || reader->OpenAndProbe(readers[0], 3, [] { return true; }) != 1) {
            std::fprintf(stderr, "no ready reader\n");
            return 1;
        }
        try {
            const int usbDelay = 10;  // the settings' defaults
            const int s4kDelay = 1;
            const double paced = RunPass(dir, reader, frames, usbDelay, s4kDelay);
            const double bound = frames * (17.0 * usbDelay + s4kDelay) / 1000;
            const double raw = RunPass(dir, reader, frames, 0, 0);
            const double pauses = PausesAlone(frames, usbDelay);
            std::printf("CCID frames through pcscd + termsim, %d frames of 4173 bytes\n", frames);
            std::printf(
                "  USBDelay %d, S4KDelay %d: %.3f s (%.1f frames/s), bound %.3f s, "
                "rate/bound %.4f\n",
                usbDelay, s4kDelay, paced, frames / paced, bound, bound / paced);
            std::printf("  no pacing:            %.3f s (%.1f frames/s, %.0f us per escape)\n", raw,
                        frames / raw, raw / (frames * 17.0) * 1e6);
            std::printf(
                "  the pauses alone:     %.3f s (%.1f us late per pause); an escape after a "
                "pause: %.0f us\n",
                pauses, (pauses / (frames * 17.0) - usbDelay / 1000.0) * 1e6,
                (paced - pauses) / (frames * 17.0) * 1e6);
        } catch (const std::exception& failure) {
            std::fprintf(stderr, "ccid_bench: %s\n", failure.what());
            status = 1;
        }
        reader->Close();
        sim.Stop();
    }
    std::error_code ignored;
    fs::remove_all(dir, ignored);
    return status;
}

}  // namespace
}  // namespace termload

int main(int argc, char** argv) {
    return termload::Main(argc, argv);
}
