// Throughput of our YMODEM sender against lrzsz's `sz --ymodem -k`, each into lrzsz's `rb` over
// termsim's paced relay at the same rate, in one run, side by side.
//
//   build/default/bench/ymodem_bench [KIB=256] [BAUD=115200] [ROUNDS=3]
//
// Each figure is the file's bytes over the time from rb's start to its exit with the whole file
// (rb's own waits, 2-3 s that it times in whole seconds, are in both); the sessions alternate
// and the medians are compared: the ratio is ours over sz's.
#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <future>
#include <iterator>

#include "channels/port_map.h"
#include "channels/serial_channel.h"
#include "engine/ymodem_sender.h"
#include "engine/ymodem_serial_port.h"
#include "support/lrzsz.h"
#include "support/process.h"
#include "support/termsim.h"

using namespace termload;
using namespace termload::test;
using namespace std::chrono_literals;
namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

namespace {

std::vector<char> ReadAll(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return std::vector<char>((std::istreambuf_iterator<char>(in)), {});
}

// Seconds from rb's start to its exit with an identical file; negative on failure.
double Session(const fs::path& dir, const std::string& baud, bool ours, const std::string& name,
               std::chrono::seconds limit) {
    const fs::path runDir = dir / (ours ? "ours" : "sz");
    // rb aborts (a double free) on a file that is already in its directory: each round starts
    // with an empty one.
    fs::remove_all(runDir / "received");
    fs::create_directories(runDir);
    Termsim relay(runDir, {"--relay", "--baud", baud, "--quiet"}, 2);
    if (!relay.Started()) {
        std::fprintf(stderr, "termsim did not start\n");
        return -1;
    }
    // rb's first "C" is taken off the line for both senders (see TakeFirstCall); the clock runs
    // from rb's start to its exit.
    std::optional<int> rbStatus;
    Clock::time_point begin;
    if (ours) {
        SetPortMapFile(relay.Map());
        std::atomic<bool> cancel{false};
        begin = Clock::now();
        auto rb = StartRb(relay.Link(2), runDir / "received", runDir / "rb.log");
        if (!TakeFirstCall(relay.Link(1), 10s)) {
            return -1;
        }
        const ChannelHandle channel = ComOpen(1, 115200, 8, 0, 0, 0, {}, false);
        if (channel == 0) {
            std::fprintf(stderr, "cannot open the relay's COM1\n");
            return -1;
        }
        auto result = std::async(std::launch::async, [&] {
            SerialYmodemPort port(channel);
            YModem sender(port, channel, [&](const YmodemProgressRecord&, YmodemEvent) {
                return cancel.load() ? 1 : 0;
            });
            return sender.Transfer(name, 0);
        });
        rbStatus = rb->Wait(limit);
        cancel = true;  // rb's exit often swallows its last ACK
        result.wait();
        ComClose(channel);
    } else {
        const int line = ::open(relay.Link(1).c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC);
        begin = Clock::now();
        auto rb = StartRb(relay.Link(2), runDir / "received", runDir / "rb.log");
        if (!TakeFirstCall(relay.Link(1), 10s)) {
            ::close(line);
            return -1;
        }
        Process sz({"sz", "--ymodem", "-k", "-q", name}, runDir / "sz.log", line, {}, dir / "src");
        ::close(line);
        rbStatus = rb->Wait(limit);
    }
    const double seconds = std::chrono::duration<double>(Clock::now() - begin).count();
    if (rbStatus != 0 || ReadAll(runDir / "received" / name) != ReadAll(dir / "src" / name)) {
        std::fprintf(stderr, "%s: rb ended with %d or the file differs (see %s)\n",
                     ours ? "ours" : "sz", rbStatus.value_or(-1), runDir.c_str());
        return -1;
    }
    return seconds;
}

}  // namespace

int main(int argc, char** argv) {
    const long kib = argc > 1 ? std::atol(argv[1]) : 256;
    const std::string baud = argc > 2 ? argv[2] : "115200";
    const int rounds = argc > 3 ? std::atoi(argv[3]) : 3;
    if (kib <= 0 || std::atol(baud.c_str()) <= 0 || rounds <= 0 || rounds > 99) {
        std::fprintf(stderr, "usage: ymodem_bench [KIB=256] [BAUD=115200] [ROUNDS=3]\n");
        return 2;
    }
    if (const auto lrzsz = Installed("rb", "lrzsz"); !lrzsz || !Installed("sz", "lrzsz")) {
        std::fprintf(stderr, "%s\n", lrzsz ? "sz is missing" : lrzsz.message());
        return 2;
    }
    const fs::path dir = fs::temp_directory_path() / ("ymodem_bench_" + std::to_string(::getpid()));
    fs::create_directories(dir / "src");
    const std::string name = "image.bin";
    {
        std::ofstream out(dir / "src" / name, std::ios::binary);
        std::uint32_t x = 12345;
        for (long i = 0; i < kib * 1024; ++i) {
            x = x * 1103515245u + 12345u;
            out.put(static_cast<char>(x >> 16));
        }
    }
    ChannelLibInit();
    const fs::path home = fs::current_path();
    fs::current_path(dir / "src");  // rb stores what the header names: a relative name
    const double bytes = static_cast<double>(kib) * 1024;
    const double line = std::atof(baud.c_str()) / 10;  // bytes a second on an 8N1 line
    const auto limit = std::chrono::seconds(static_cast<long>(3 * bytes / line) + 60);
    std::vector<double> sz;
    std::vector<double> ours;
    for (int round = 0; round < rounds; ++round) {
        sz.push_back(Session(dir, baud, false, name, limit));
        ours.push_back(Session(dir, baud, true, name, limit));
        std::printf("round %d: ours %.2f s, sz %.2f s\n", round + 1, ours.back(), sz.back());
    }
    fs::current_path(home);
    ChannelLibShutdown();
    if (*std::min_element(sz.begin(), sz.end()) <= 0 ||
        *std::min_element(ours.begin(), ours.end()) <= 0) {
        return 1;
    }
    auto median = [](std::vector<double> v) {
        std::sort(v.begin(), v.end());
        return v[v.size() / 2];
    };
    const double oursSeconds = median(ours);
    const double szSeconds = median(sz);
    std::printf("file %ld KiB, relay %s baud (line %.0f B/s), median of %d\n", kib, baud.c_str(),
                line, rounds);
    std::printf("%-22s %8.2f s %10.0f B/s %6.1f %% of line\n", "ours -> rb", oursSeconds,
                bytes / oursSeconds, 100 * bytes / oursSeconds / line);
    std::printf("%-22s %8.2f s %10.0f B/s %6.1f %% of line\n", "sz --ymodem -k -> rb", szSeconds,
                bytes / szSeconds, 100 * bytes / szSeconds / line);
    std::printf("ratio ours/sz %.3f\n", szSeconds / oursSeconds);
    fs::remove_all(dir);
    return 0;
}
