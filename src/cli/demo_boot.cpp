#include "cli/demo_boot.h"

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

#include "cli/child_process.h"
#include "cli/demo_env_run.h"
#include "cli/demo_verify.h"
#include "cli/demo_workspace.h"
#include "cli/exit_codes.h"
#include "config/paths.h"
#include "config/user_store.h"

namespace termload::cli {
namespace {

using namespace std::chrono_literals;

constexpr auto kSimulatorStartLimit = 10s;
constexpr const char* kModel = "M740-KERNEL";

// The rows in list order: the images that go through the USB pipe first, while the boot loader
// still serves its console; the kernel image last, as starting it leaves the boot loader.
struct BootSample {
    const char* name;
    int kind;
    std::uint64_t size;
    const char* storedAs;  // where the terminal keeps it, under its unit's directory
    const char* shownAs;   // in the table
};
constexpr BootSample kBootSamples[] = {
    {"u-boot.bin", 3, 150000, "nand/region-0.bin", "NAND 0 (BIOS)"},
    {"zImage", 4, 1200000, "nand/region-1.bin", "NAND 1 (kernel)"},
    {"rootfs.yaffs2", 5, 2500000, "nand/region-2.bin", "NAND 2 (root)"},
    {"kernel.img", 0, 400000, "kernel.img", "RAM kernel.img"},
};

constexpr const char* kBootConfigHead =
    "; Sample kernel-mode configuration written by termload-cli demo --boot.\n"
    "[ModeList]\n"
    "0B=M740-KERNEL\n"
    "\n"
    "[Config]\n"
    "Language=1\n"
    "MachMode=0\n"
    "HardVersion=10\n"
    "Port=0\n"
    "BuardRate=12\n"
    "NewMachine=1\n"
    "CMDDelay=100\n"
    "EmptyFlash=1\n"
    "TraceLog=0\n"
    "\n"
    "[History]\n";

// Bytes that do not repeat within a chunk of the pipe, so a misplaced chunk shows.
std::string SampleBytes(std::uint64_t size, std::uint32_t seed) {
    std::string bytes;
    bytes.reserve(size);
    std::uint32_t state = seed * 2654435761u + 7;
    while (bytes.size() < size) {
        state ^= state << 13;
        state ^= state >> 17;
        state ^= state << 5;
        bytes.push_back(static_cast<char>(state & 0xFF));
    }
    return bytes;
}

std::vector<VerifyRow> Verify(const std::filesystem::path& unitDir,
                              const std::vector<std::string>& sources, bool runOk) {
    std::vector<VerifyRow> rows;
    for (std::size_t i = 0; i < sources.size(); ++i) {
        const BootSample& sample = kBootSamples[i];
        VerifyRow row;
        row.port = 1;
        row.unit = 1;
        row.destination = sample.shownAs;
        row.size = sources[i].size();
        row.sent = runOk;
        const std::filesystem::path stored = unitDir / sample.storedAs;
        std::error_code ec;
        row.received = std::filesystem::is_regular_file(stored, ec);
        row.identical = row.received && ReadText(stored) == sources[i];
        rows.push_back(std::move(row));
    }
    return rows;
}

}  // namespace

int BootDemo(const std::filesystem::path& termsim, RunEvents& events) {
    const ScratchDir root("termload-boot-demo");
    const std::filesystem::path received = root.Path() / "received";
    const std::filesystem::path portMap = root.Path() / "ports.ini";
    const std::filesystem::path config = root.Path() / "Config.ini";
    std::filesystem::create_directory(received);

    std::vector<std::string> sources;
    std::string history;
    for (std::size_t i = 0; i < std::size(kBootSamples); ++i) {
        const BootSample& sample = kBootSamples[i];
        sources.push_back(SampleBytes(sample.size, static_cast<std::uint32_t>(i + 11)));
        std::ofstream(root.Path() / sample.name, std::ios::binary) << sources.back();
        history += "Recent" + std::to_string(i) + "=" + std::to_string(sample.kind) + ";" +
                   PathToUtf8(root.Path() / sample.name) + ";" + sample.name + "\n";
    }
    std::ofstream(config, std::ios::binary)
        << kBootConfigHead << "RecentCount=" << std::size(kBootSamples) << "\n"
        << history;

    ChildProcess simulator({PathToUtf8(termsim), "--ports", "1", "--usb", "--work-ms", "200",
                            "--dir", PathToUtf8(received), "--map", PathToUtf8(portMap)},
                           root.Path() / "termsim.log");
    const auto env = WaitForSimulatorEnvironment(
        simulator, portMap, received / "env", {"UMOCKDEV_DIR", "LD_PRELOAD"}, kSimulatorStartLimit,
        events);
    if (!env) {
        if (events.Interrupted()) {
            return kExitStopped;
        }
        std::fprintf(stderr, "termload-cli: termsim did not start with its USB device:\n%s",
                     ReadText(root.Path() / "termsim.log").c_str());
        return kExitFailed;
    }
    std::printf(
        "termsim: one simulated terminal in kernel mode with its USB download device; "
        "sample files in %s\n",
        PathToUtf8(root.Path()).c_str());
    std::fflush(stdout);

    // libusb reaches termsim's device only through umockdev's preload.
    const std::filesystem::path runLog = root.Path() / "run.log";
    const int runExit = RunWithEnvironment(
        *env,
        {PathToUtf8(ThisProgram()), "run", "--config", PathToUtf8(config), "--ports-map",
         PathToUtf8(portMap), "--single", "1", "--model", kModel, "--passes", "1"},
        runLog, events);
    if (runExit == kExitStopped || runExit == kExitUsage) {
        return runExit;
    }

    const std::filesystem::path unitDir = received / "COM1" / "unit-1";
    return SettleAndPrintVerification(
        simulator, runExit, [&] { return Verify(unitDir, sources, runExit == kExitAllOk); });
}

}  // namespace termload::cli
