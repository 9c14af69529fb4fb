// Figures of the serial channel on pseudo-terminals: the CPU that idle console-mode ports cost,
// the time from a terminal's write to the receive callback, and how long a console-mode write
// of one byte takes.
//   channels_bench [idle seconds, default 10] [latency samples, default 2000]
#include <pty.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "channels/port_map.h"
#include "channels/serial_channel.h"

namespace {

using namespace termload;
using Clock = std::chrono::steady_clock;

struct Pty {
    int master = -1;
    int slave = -1;
    std::string path;
    Pty() {
        char name[256] = {};
        if (openpty(&master, &slave, name, nullptr, nullptr) == 0) {
            path = name;
        }
    }
    ~Pty() {
        close(master);
        close(slave);
    }
};

double ProcessCpuSeconds() {
    timespec now{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &now);
    return static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) / 1e9;
}

std::filesystem::path WritePortMap(const std::vector<std::unique_ptr<Pty>>& ptys) {
    const auto file = std::filesystem::temp_directory_path() /
                      ("channels-bench-" + std::to_string(getpid()) + ".ini");
    std::ofstream out(file);
    out << "[Ports]\n";
    for (std::size_t i = 0; i < ptys.size(); ++i) {
        out << "COM" << i + 1 << "=" << ptys[i]->path << "\n";
    }
    return file;
}

void MeasureIdleCpu(const std::vector<std::unique_ptr<Pty>>& ptys, int seconds) {
    std::vector<ChannelHandle> handles;
    for (std::size_t i = 0; i < ptys.size(); ++i) {
        handles.push_back(ComOpen(
            static_cast<int>(i) + 1, 115200, 8, 0, 0, 0,
            [](ChannelHandle, const char*, std::uint32_t) { return 0; }, false));
        if (handles.back() <= 0) {
            std::fprintf(stderr, "cannot open COM%zu\n", i + 1);
            return;
        }
    }
    const double cpuBefore = ProcessCpuSeconds();
    std::this_thread::sleep_for(std::chrono::seconds(seconds));
    const double cpu = ProcessCpuSeconds() - cpuBefore;
    std::printf("idle: %zu console-mode ports, %d s: %.3f ms CPU = %.4f %% of one core\n",
                handles.size(), seconds, cpu * 1e3, cpu / seconds * 100.0);
    for (ChannelHandle handle : handles) {
        ComClose(handle);
    }
}

void MeasureReceiveLatency(const Pty& pty, int samples) {
    std::mutex mutex;
    std::condition_variable arrived;
    Clock::time_point receivedAt;
    bool received = false;
    const ChannelHandle handle = ComOpen(
        1, 115200, 8, 0, 0, 0,
        [&](ChannelHandle, const char*, std::uint32_t) {
            const auto now = Clock::now();
            std::lock_guard lock(mutex);
            receivedAt = now;
            received = true;
            arrived.notify_one();
            return 0;
        },
        false);
    if (handle <= 0) {
        std::fprintf(stderr, "cannot open COM1\n");
        return;
    }
    std::vector<double> latencies;
    for (int i = 0; i < samples; ++i) {
        std::unique_lock lock(mutex);
        received = false;
        const auto sentAt = Clock::now();
        if (write(pty.master, "x", 1) != 1) {
            break;
        }
        if (!arrived.wait_for(lock, std::chrono::seconds(2), [&] { return received; })) {
            std::fprintf(stderr, "sample %d lost\n", i);
            continue;
        }
        latencies.push_back(std::chrono::duration<double, std::micro>(receivedAt - sentAt).count());
        lock.unlock();
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    ComClose(handle);
    if (latencies.empty()) {
        return;
    }
    std::sort(latencies.begin(), latencies.end());
    const auto at = [&](double fraction) {
        return latencies[std::min(latencies.size() - 1,
                                  static_cast<std::size_t>(fraction * latencies.size()))];
    };
    std::printf(
        "receive latency, terminal write to callback, %zu samples: median %.1f us, "
        "p99 %.1f us, max %.1f us\n",
        latencies.size(), at(0.5), at(0.99), latencies.back());
}

void MeasureConsoleWrite(const Pty& pty, int samples) {
    const ChannelHandle handle = ComOpen(
        1, 115200, 8, 0, 0, 0, [](ChannelHandle, const char*, std::uint32_t) { return 0; }, false);
    if (handle <= 0) {
        std::fprintf(stderr, "cannot open COM1\n");
        return;
    }
    std::vector<double> durations;
    for (int i = 0; i < samples; ++i) {
        const auto start = Clock::now();
        if (ComWrite(handle, "x", 1) != ChannelResult::Done) {
            std::fprintf(stderr, "write %d failed\n", i);
            break;
        }
        durations.push_back(
            std::chrono::duration<double, std::micro>(Clock::now() - start).count());
        char sink = 0;
        if (read(pty.master, &sink, 1) != 1) {
            break;
        }
    }
    ComClose(handle);
    if (durations.empty()) {
        return;
    }
    std::sort(durations.begin(), durations.end());
    std::printf("console-mode write of 1 byte, %zu samples: median %.1f us, p99 %.1f us\n",
                durations.size(), durations[durations.size() / 2],
                durations[std::min(durations.size() - 1, durations.size() * 99 / 100)]);
}

}  // namespace

int main(int argc, char** argv) {
    const int idleSeconds = argc > 1 ? std::max(1, std::atoi(argv[1])) : 10;
    const int samples = argc > 2 ? std::max(1, std::atoi(argv[2])) : 2000;
    ChannelLibInit();
    std::vector<std::unique_ptr<Pty>> ptys;
    for (int i = 0; i < 27; ++i) {
        ptys.push_back(std::make_unique<Pty>());
        if (ptys.back()->path.empty()) {
            std::fprintf(stderr, "openpty failed\n");
            return 1;
        }
    }
    const auto map = WritePortMap(ptys);
    SetPortMapFile(map);
    MeasureIdleCpu(ptys, idleSeconds);
    MeasureReceiveLatency(*ptys.front(), samples);
    MeasureConsoleWrite(*ptys.front(), samples);
    ChannelLibShutdown();
    std::filesystem::remove(map);
    return 0;
}
