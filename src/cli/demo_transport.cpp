#include "cli/demo_transport.h"

#include <chrono>
#include <cstdio>
#include <fstream>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

#include "cli/child_process.h"
#include "cli/demo_env_run.h"
#include "cli/demo_runner.h"
#include "cli/demo_verify.h"
#include "cli/demo_workspace.h"
#include "cli/exit_codes.h"
#include "config/paths.h"
#include "config/user_store.h"

namespace termload::cli {
namespace {

using namespace std::chrono_literals;

constexpr auto kSimulatorStartLimit = 15s;
constexpr const char* kPcscd = "/usr/sbin/pcscd";
// A reader's escapes are answered one by one, so its pieces need no long pause.
constexpr int kCcidUsbDelayMs = 1;

// What one door needs and how it shows.
struct Door {
    const char* transport;                 // as --transport takes it
    const char* place;                     // termsim's directory for the terminal, the table's name
    const char* flag;                      // termsim's option
    std::vector<const char*> environment;  // what termsim's environment file must name
    const char* needs;                     // what this machine must provide, for the refusal
};

Door DoorOf(RunTransport transport) {
    if (transport == RunTransport::Hid) {
        return {"hid",
                "HID",
                "--hid",
                {"UMOCKDEV_DIR", "LD_PRELOAD"},
                "umockdev (packages umockdev and libumockdev-dev, and a termsim built with them)"};
    }
    return {"ccid",
            "CCID",
            "--ccid",
            {"PCSCLITE_CSOCK_NAME"},
            "pcscd (package pcscd), run as root or with unprivileged user namespaces allowed"};
}

std::vector<PassRecord> ReadReport(const std::filesystem::path& report) {
    std::vector<PassRecord> records;
    std::ifstream lines(report, std::ios::binary);
    for (std::string line; std::getline(lines, line);) {
        if (auto record = PassRecordFromJson(line)) {
            records.push_back(std::move(*record));
        }
    }
    return records;
}

}  // namespace

int TransportDemo(const std::filesystem::path& termsim, RunTransport transport, RunEvents& events) {
    const Door door = DoorOf(transport);
    if (transport == RunTransport::Ccid && !IsRunnableProgram(kPcscd)) {
        std::fprintf(stderr,
                     "termload-cli: demo --transport ccid needs %s: %s is not there "
                     "(scripts/setup.sh installs it)\n",
                     door.needs, kPcscd);
        return kExitUsage;
    }
    const DemoWorkspace workspace(
        transport == RunTransport::Ccid ? kCcidUsbDelayMs : DemoWorkspace::kSerialUsbDelayMs);
    const std::filesystem::path received = workspace.ReceivedDir();
    ChildProcess simulator({PathToUtf8(termsim), "--ports", "1", door.flag, "--dir",
                            PathToUtf8(received), "--map", PathToUtf8(workspace.PortMapPath())},
                           workspace.SimulatorLog());
    const auto env = WaitForSimulatorEnvironment(simulator, workspace.PortMapPath(),
                                                 received / "env", door.environment,
                                                 kSimulatorStartLimit, events);
    if (!env) {
        if (events.Interrupted()) {
            return kExitStopped;
        }
        simulator.Stop();
        std::fprintf(stderr,
                     "termload-cli: termsim could not open its %s door on this machine; it "
                     "needs %s. termsim said:\n%s",
                     door.place, door.needs, ReadText(workspace.SimulatorLog()).c_str());
        return kExitUsage;
    }
    std::printf("termsim: one simulated terminal behind its %s %s; sample files in %s\n",
                door.place, transport == RunTransport::Hid ? "device" : "reader",
                PathToUtf8(workspace.Root()).c_str());
    std::fflush(stdout);

    // The libraries reach termsim's door only through its environment.
    const std::filesystem::path report = workspace.Root() / "report.jsonl";
    const int runExit = RunWithEnvironment(
        *env,
        {PathToUtf8(ThisProgram()), "run", "--config", PathToUtf8(workspace.ConfigPath()),
         "--ports-map", PathToUtf8(workspace.PortMapPath()), "--transport", door.transport,
         "--model", DemoWorkspace::kModel, "--passes", "1", "--report", PathToUtf8(report)},
        workspace.Root() / "run.log", events);
    if (runExit == kExitStopped || runExit == kExitUsage) {
        return runExit;
    }

    const std::vector<PassRecord> records = ReadReport(report);
    const auto expected = workspace.ExpectedFiles();
    const std::filesystem::path terminalDir = received / door.place;
    return SettleAndPrintVerification(simulator, runExit, [&] {
        return VerifyTerminal(door.place, 1, expected, records, terminalDir);
    });
}

}  // namespace termload::cli
