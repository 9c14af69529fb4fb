// How responsive the window stays during a 27-port download into termsim: a probe thread posts an
// event to the GUI thread every 5 ms and the GUI thread records how long each one waited.
//   gui_latency [SECONDS]      (default 10)
#include <QApplication>
#include <QEventLoop>
#include <QLabel>
#include <QProcess>
#include <QPushButton>
#include <QRadioButton>
#include <QTimer>
#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <map>
#include <mutex>
#include <random>
#include <set>
#include <thread>
#include <vector>

#include <sys/resource.h>

#include "app/main_window.h"
#include "app/prompt.h"
#include "channels/port_map.h"
#include "config/user_store.h"

namespace {

using Clock = std::chrono::steady_clock;
constexpr int kPorts = 27;
constexpr auto kProbeInterval = std::chrono::milliseconds(5);

std::string Bytes(std::size_t size, unsigned seed) {
    std::mt19937 random(seed);
    std::string bytes(size, '\0');
    for (char& byte : bytes) {
        byte = static_cast<char>(random() & 0xFF);
    }
    return bytes;
}

double ThreadCpuSeconds() {
    rusage usage{};
    getrusage(RUSAGE_THREAD, &usage);
    return static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
           static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

std::string LoadAverage() {
    std::ifstream in("/proc/loadavg");
    std::string one;
    in >> one;
    return one;
}

double Percentile(std::vector<double> values, double fraction) {
    if (values.empty()) {
        return 0;
    }
    std::sort(values.begin(), values.end());
    const auto index = static_cast<std::size_t>(fraction * static_cast<double>(values.size() - 1));
    return values[index];
}

}  // namespace

int main(int argc, char** argv) {
    const int seconds = argc > 1 ? std::max(1, std::atoi(argv[1])) : 10;
    setenv("QT_QPA_PLATFORM", "offscreen", 0);
    const std::filesystem::path work =
        std::filesystem::temp_directory_path() / ("termload-latency-" + std::to_string(getpid()));
    std::filesystem::create_directories(work / "sim");
    setenv("XDG_CONFIG_HOME", work.c_str(), 1);
    QApplication application(argc, argv);
    termload::SetPromptHook([](const termload::PromptRequest& box) {
        std::fprintf(stderr, "box: %s\n", box.text.toUtf8().constData());
        return true;
    });

    QProcess termsim;
    termsim.start(QStringLiteral(TERMSIM_PATH),
                  {"--ports", QString::number(kPorts), "--dir",
                   QString::fromStdString((work / "sim").string()), "--quiet"});
    const auto map = work / "sim" / "ports.ini";
    for (int i = 0; i < 500 && !std::filesystem::exists(map); ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    if (!std::filesystem::exists(map)) {
        std::fprintf(stderr, "termsim did not start\n");
        return 1;
    }
    termload::SetPortMapFile(map);

    // Many small blocks: every block of every port is a status text and a progress step.
    std::ofstream(work / "big.bin", std::ios::binary) << Bytes(1 << 20, 1);
    std::ofstream(work / "small.bin", std::ios::binary) << Bytes(6000, 2);
    std::ofstream(work / "Config.ini")
        << "[ModeList]\n00=M740-32\n[Config]\nPortNum=2\nUSBDelay=1\nS4KDelay=0\n"
           "FILE_INTERVAL=1\nFILE_INTERVAL_=1\n[History]\nRecentCount=2\n"
           "Recent0=1;big.bin;big.bin\nRecent1=1;small.bin;small.bin\n";
    termload::WindowPlaces places;
    places.appDir = work;
    places.userStore = work / "store.ini";
    termload::WriteLastConfiguration({(work / "Config.ini").string(), work.string()},
                                     places.userStore);

    int status = 0;
    {
        termload::MainWindow window(places);
        window.show();
        QCoreApplication::processEvents();
        window.findChild<QRadioButton*>("rbMulti")->click();

        // Label texts seen per port, sampled on the GUI thread.
        std::map<int, std::set<QString>> texts;
        QTimer sampler;
        QObject::connect(&sampler, &QTimer::timeout, [&] {
            for (int port = 1; port <= kPorts; ++port) {
                texts[port].insert(
                    window.findChild<QLabel*>(QStringLiteral("Lab%1").arg(port))->text());
            }
        });

        std::vector<double> latenciesMs;
        std::atomic<bool> probing{true};
        QObject receiver;
        std::thread probe([&] {
            auto next = Clock::now();
            while (probing) {
                next += kProbeInterval;
                std::this_thread::sleep_until(next);
                const auto posted = Clock::now();
                QMetaObject::invokeMethod(
                    &receiver,
                    [&latenciesMs, posted] {
                        latenciesMs.push_back(
                            std::chrono::duration<double, std::milli>(Clock::now() - posted)
                                .count());
                    },
                    Qt::QueuedConnection);
            }
        });

        window.findChild<QPushButton*>("btnDown")->click();
        const bool running = window.IsDownloading();
        latenciesMs.clear();  // measure the run, not the thread starts
        const double cpuBefore = ThreadCpuSeconds();
        sampler.start(50);
        QEventLoop run;  // not the application's loop: quitting that would close the window
        QTimer::singleShot(seconds * 1000, &run, &QEventLoop::quit);
        run.exec();
        sampler.stop();
        const double guiCpu = ThreadCpuSeconds() - cpuBefore;
        probing = false;
        probe.join();
        QCoreApplication::processEvents();

        const auto stopStart = Clock::now();
        window.findChild<QPushButton*>("btnDown")->click();
        const double stopMs =
            std::chrono::duration<double, std::milli>(Clock::now() - stopStart).count();

        int panelsUpdating = 0;
        for (const auto& [port, seen] : texts) {
            panelsUpdating += seen.size() > 3 ? 1 : 0;
        }
        std::printf("27-port download for %d s: %s\n", seconds,
                    running ? "running" : "NOT RUNNING");
        std::printf("panels that showed progress: %d of %d\n", panelsUpdating, kPorts);
        std::printf(
            "GUI event latency over %zu probes: p50 %.2f ms, p99 %.2f ms, max %.2f ms\n",
            latenciesMs.size(), Percentile(latenciesMs, 0.50), Percentile(latenciesMs, 0.99),
            latenciesMs.empty() ? 0.0 : *std::max_element(latenciesMs.begin(), latenciesMs.end()));
        std::printf("GUI thread busy: %.1f%% of one core; machine load average %s on %u cores\n",
                    100.0 * guiCpu / seconds, LoadAverage().c_str(),
                    std::thread::hardware_concurrency());
        std::printf("stop with 27 threads: %.0f ms\n", stopMs);
        status = running && panelsUpdating == kPorts ? 0 : 1;
    }
    termsim.terminate();
    termsim.waitForFinished(10000);
    std::filesystem::remove_all(work);
    return status;
}
