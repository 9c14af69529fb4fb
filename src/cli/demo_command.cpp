// termload-cli demo: the whole tool on simulated terminals, proven file by file.
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <thread>

#include "cli/child_process.h"
#include "cli/commands.h"
#include "cli/demo_boot.h"
#include "cli/demo_runner.h"
#include "cli/demo_transport.h"
#include "cli/demo_verify.h"
#include "cli/demo_workspace.h"
#include "cli/exit_codes.h"
#include "config/paths.h"
#include "config/user_store.h"

namespace termload::cli {
namespace {

constexpr auto kSimulatorStartLimit = std::chrono::seconds(10);
constexpr auto kSimulatorSettleLimit = std::chrono::seconds(5);
constexpr auto kSimulatorCheckInterval = std::chrono::milliseconds(50);

// The simulator: as given, beside us (an install), in the build tree we were built in, or on
// PATH.
std::filesystem::path FindTermsim(const std::filesystem::path& given) {
    if (!given.empty()) {
        return given;
    }
    const std::filesystem::path here = ExecutableDir();
    for (const auto& candidate : {here / "termsim", here / ".." / ".." / "sim" / "termsim"}) {
        if (IsRunnableProgram(candidate)) {
            return candidate.lexically_normal();
        }
    }
    if (const char* path = std::getenv("PATH"); path != nullptr) {
        std::string_view rest = path;
        while (!rest.empty()) {
            const std::size_t colon = rest.find(':');
            const std::filesystem::path dir(std::string(rest.substr(0, colon)));
            if (!dir.empty() && IsRunnableProgram(dir / "termsim")) {
                return dir / "termsim";
            }
            rest = colon == std::string_view::npos ? std::string_view{} : rest.substr(colon + 1);
        }
    }
    return {};
}

// Waits until the simulator has written its port map with every port, it has ended, the
// operator has stopped, or the start limit has passed.
bool WaitForSimulator(ChildProcess& simulator, const std::filesystem::path& portMap, int ports,
                      RunEvents& events) {
    const auto deadline = std::chrono::steady_clock::now() + kSimulatorStartLimit;
    while (std::chrono::steady_clock::now() < deadline && !events.Interrupted()) {
        if (static_cast<int>(ReadPortsSection(portMap).size()) >= ports) {
            return true;
        }
        if (simulator.WaitForExit(kSimulatorCheckInterval)) {
            return false;
        }
    }
    return false;
}

std::string ReadText(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

void PrintLines(const std::vector<std::string>& lines) {
    for (const std::string& line : lines) {
        std::printf("%s\n", line.c_str());
    }
    std::fflush(stdout);
}

}  // namespace

int DemoCommand(const DemoOptions& options, RunEvents& events) {
    if (!ChildProcessesSupported()) {
        std::fprintf(stderr,
                     "termload-cli: demo runs termsim, a Linux program, and is not available on "
                     "this system\n");
        return kExitUsage;
    }
    const std::filesystem::path termsim = FindTermsim(options.termsim);
    if (termsim.empty()) {
        std::fprintf(stderr,
                     "termload-cli: termsim not found beside termload-cli, in its build tree or "
                     "on PATH; name it with --termsim\n");
        return kExitUsage;
    }
    try {
        if (options.boot) {
            return BootDemo(termsim, events);
        }
        if (options.transport != RunTransport::Serial) {
            return TransportDemo(termsim, options.transport, events);
        }
        const DemoWorkspace workspace;
        ChildProcess simulator(
            {PathToUtf8(termsim), "--ports", std::to_string(options.ports), "--dir",
             PathToUtf8(workspace.ReceivedDir()), "--map", PathToUtf8(workspace.PortMapPath())},
            workspace.SimulatorLog());
        if (!WaitForSimulator(simulator, workspace.PortMapPath(), options.ports, events)) {
            if (events.Interrupted()) {
                return kExitStopped;
            }
            std::fprintf(stderr, "termload-cli: termsim did not start:\n%s",
                         ReadText(workspace.SimulatorLog()).c_str());
            return kExitFailed;
        }
        std::printf("termsim: %d simulated terminals; sample files in %s\n", options.ports,
                    PathToUtf8(workspace.Root()).c_str());
        std::fflush(stdout);

        RunOptions run;
        run.configPath = workspace.ConfigPath();
        run.portsMap = workspace.PortMapPath();
        if (options.ports == 1) {
            run.single = 1;
        } else {
            run.multi = options.ports;
        }
        run.model = DemoWorkspace::kModel;
        run.passes = options.passes;
        std::vector<PassRecord> records;
        std::mutex recordsMutex;
        const int runExit =
            options.runner.empty()
                ? RunDownload(run, events,
                              [&](const PassRecord& record) {
                                  std::lock_guard lock(recordsMutex);
                                  records.push_back(record);
                              })
                : RunThroughRunner(options.runner, run, workspace.Root(), events, records);
        if (runExit == kExitStopped || runExit == kExitUsage) {
            return runExit;
        }

        std::vector<int> ports;
        for (int port = 1; port <= options.ports; ++port) {
            ports.push_back(port);
        }
        // Frames are not acknowledged: the terminals may still be storing the last file.
        const auto expected = workspace.ExpectedFiles();
        const auto deadline = std::chrono::steady_clock::now() + kSimulatorSettleLimit;
        auto rows =
            VerifyReceived(ports, options.passes, expected, records, workspace.ReceivedDir());
        while (!AllIdentical(rows) && std::chrono::steady_clock::now() < deadline &&
               !simulator.WaitForExit(kSimulatorCheckInterval)) {
            rows =
                VerifyReceived(ports, options.passes, expected, records, workspace.ReceivedDir());
        }
        simulator.Stop();
        std::printf("\n");
        PrintLines(VerifyTable(rows));
        return AllIdentical(rows) && runExit == kExitAllOk ? kExitAllOk : kExitFailed;
    } catch (const std::runtime_error& failure) {
        std::fprintf(stderr, "termload-cli: %s\n", failure.what());
        return kExitFailed;
    }
}

}  // namespace termload::cli
