// Fuzzes termsim's terminal with whatever a tool could send: console typing, frames, packets and
// YMODEM, in chunks, with time passing between them.
#include <unistd.h>

#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <span>

#include "terminal.hpp"

namespace {

class NullHost : public termsim::TerminalHost {
  public:
    void Send(std::string_view) override {}
    void HangUp() override {}
    void StopReading() override {}
};

const std::filesystem::path& ScratchDir() {
    static const std::filesystem::path dir = [] {
        auto path =
            std::filesystem::temp_directory_path() / ("termsim-fuzz-" + std::to_string(::getpid()));
        std::filesystem::create_directories(path);
        std::atexit([] { std::filesystem::remove_all(ScratchDir()); });
        return path;
    }();
    return dir;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    using namespace termsim;
    static ResultsLog log("/dev/null", Verbosity::Quiet, Clock::now());
    NullHost host;
    Tally tally;
    TerminalSetup setup;
    setup.port = "COM1";
    setup.dir = ScratchDir() / "COM1";
    setup.frameFormat = size > 0 && (data[0] & 1) ? FrameFormat::Compact : FrameFormat::Full;
    setup.hangupAfterFrames = 2;
    setup.hangupUnits = 0;  // every unit: as many hang-ups as the input reaches
    Terminal terminal(setup, host, log, tally);
    TimePoint now{};
    terminal.PortOpened(now);
    std::span<const uint8_t> rest(data, size);
    while (!rest.empty()) {
        // Each chunk is led by its length; a zero length lets time pass instead.
        const size_t chunk = std::min<size_t>(rest[0], rest.size() - 1);
        if (chunk == 0) {
            now += milliseconds(rest[0] == 0 ? 1500 : 10);
            if (const auto next = terminal.NextDeadline(); next && *next <= now) {
                terminal.Advance(now);
            }
            rest = rest.subspan(1);
            continue;
        }
        terminal.Receive(rest.subspan(1, chunk), now);
        rest = rest.subspan(1 + chunk);
        if (chunk == 7 || chunk == 9) {
            // 9: the re-open was seen before the old session's last bytes were read.
            terminal.PortClosed(now, chunk == 9);
            terminal.PortOpened(now);
        }
    }
    terminal.Shutdown(now);
    return 0;
}
