// Runs the tool's USB bulk pipe the way a download thread will, in a process of its own: it must
// start with umockdev's preload to reach termsim's device. Prints what happened, one fact a line:
//   probe  [device=VVVV:PPPP]
//   send FILE ADDRESS [badsum] [cancel=MS] [device=VVVV:PPPP]
// Output: "progress N" per chunk, then "result STATUS BYTES MILLISECONDS DETAIL".
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <string>
#include <thread>
#include <vector>

#include "channels/usb_image.h"
#include "channels/usb_pipe.h"

using namespace termload;

namespace {

const char* StatusName(UsbPipeStatus status) {
    switch (status) {
        case UsbPipeStatus::kOk:
            return "ok";
        case UsbPipeStatus::kNotFound:
            return "not-found";
        case UsbPipeStatus::kOpenFailed:
            return "open-failed";
        case UsbPipeStatus::kTimedOut:
            return "timed-out";
        case UsbPipeStatus::kCancelled:
            return "cancelled";
        case UsbPipeStatus::kFailed:
            return "failed";
    }
    return "?";
}

// Without the preload the testbed is invisible and every look would say "not found".
bool PreloadInPlace() {
    std::ifstream maps("/proc/self/maps");
    const std::string text((std::istreambuf_iterator<char>(maps)), {});
    return text.find("libumockdev-preload") != std::string::npos;
}

}  // namespace

int main(int argc, char** argv) {
    if (!PreloadInPlace()) {
        std::printf(
            "no-preload: libumockdev-preload.so.0 is not loaded; install the Debian "
            "packages umockdev and libumockdev-dev (scripts/setup.sh)\n");
        return 3;
    }
    std::vector<std::string> args(argv + 1, argv + argc);
    UsbPipeTarget target;
    bool badSum = false;
    int cancelMs = -1;
    std::vector<std::string> plain;
    for (const std::string& arg : args) {
        if (arg.rfind("device=", 0) == 0) {
            target.device = ParseUsbDeviceId(arg.substr(7)).value_or(kDefaultUsbPipeDevice);
        } else if (arg == "badsum") {
            badSum = true;
        } else if (arg.rfind("cancel=", 0) == 0) {
            cancelMs = std::atoi(arg.c_str() + 7);
        } else {
            plain.push_back(arg);
        }
    }
    const auto start = std::chrono::steady_clock::now();
    const auto report = [&](UsbPipeStatus status, std::size_t bytes, const std::string& detail) {
        const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(
                            std::chrono::steady_clock::now() - start)
                            .count();
        std::printf("result %s %zu %lld %s\n", StatusName(status), bytes,
                    static_cast<long long>(ms), detail.c_str());
        return status == UsbPipeStatus::kOk ? 0 : 1;
    };
    if (plain.size() == 1 && plain[0] == "probe") {
        std::string detail;
        return report(UsbPipe::Probe(target, detail), 0, detail);
    }
    if (plain.size() != 3 || plain[0] != "send") {
        std::fprintf(stderr, "usage: probe | send FILE ADDRESS [badsum] [cancel=MS]\n");
        return 2;
    }
    std::ifstream in(plain[1], std::ios::binary);
    const std::vector<std::uint8_t> file((std::istreambuf_iterator<char>(in)), {});
    auto image = BuildUsbImage(static_cast<std::uint32_t>(std::stoul(plain[2], nullptr, 0)), file);
    if (!image) {
        return 2;
    }
    if (badSum) {
        image->back() ^= 0x5A;
    }
    UsbPipeStatus status;
    std::string detail;
    auto pipe = UsbPipe::Open(target, status, detail);
    if (!pipe) {
        return report(status, 0, detail);
    }
    std::thread canceller;
    if (cancelMs >= 0) {
        canceller = std::thread([&pipe, cancelMs] {
            std::this_thread::sleep_for(std::chrono::milliseconds(cancelMs));
            pipe->Cancel();
        });
    }
    const UsbPipeResult result =
        UsbSendImage(*pipe, *image, [](std::size_t sent) { std::printf("progress %zu\n", sent); });
    if (canceller.joinable()) {
        canceller.join();
    }
    pipe.reset();
    return report(result.status, result.bytes, result.detail);
}
