// The subcommands of termload-cli. Each returns the process's exit code (exit_codes.h) and writes
// its one-line refusals to stderr.
#pragma once

#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "cli/pass_report.h"
#include "cli/run_events.h"

namespace termload::cli {

enum class RunTransport { Serial, Hid, Ccid };

struct RunOptions {
    std::filesystem::path configPath;
    std::filesystem::path portsMap;  // empty: the per-user store's port table
    std::optional<int> single;       // COM number
    std::optional<int> multi;        // 9, 18 or 27
    RunTransport transport = RunTransport::Serial;
    std::optional<std::string> model;
    std::optional<std::string> hwVersion;  // one or two hexadecimal digits
    std::optional<int> passes;             // per port; empty: until stopped
    // With passes: a port that cannot be opened for longer fails its remaining passes.
    std::optional<double> absentLimitSeconds;
    // A port whose device is missing at the start is waited for (as the window does) instead of
    // refused: a line of USB serial adapters, each there only while its terminal is plugged in.
    bool waitForPorts = false;
    std::filesystem::path reportPath;  // empty: no report
    bool json = false;
    std::optional<std::string> reader;  // USB-CCID: the reader's name; empty: the first
};

struct CcidOptions {
    std::optional<std::string> reader;  // empty: the first reader
};

struct ClockOptions {
    int port = 1;
    std::filesystem::path configPath;  // empty: 8N1 without flow control
    std::filesystem::path portsMap;
};

struct VersionsOptions {
    std::filesystem::path configPath;
    std::filesystem::path portsMap;
    std::optional<int> single;  // COM number; default: the configuration's port
    RunTransport transport = RunTransport::Serial;
    std::filesystem::path
        localVersions;  // empty: UserLoacaVersion.ini of the application directory
    // Where to write the configuration without the rows the read unchecks; empty: nowhere.
    std::filesystem::path output;
    bool apply = false;  // only together with `output`: the configuration itself is never written
};

struct PortsOptions {
    std::filesystem::path portsMap;
};

struct DemoOptions {
    int ports = 9;
    int passes = 1;
    std::filesystem::path termsim;  // empty: beside us, in our build tree or on PATH
    bool boot = false;              // a kernel-mode run through the boot loader instead
    RunTransport transport = RunTransport::Serial;  // USB-HID, USB-CCID: one terminal behind it
    // Another termload-cli does the download (program and first arguments); empty: this one.
    std::vector<std::string> runner;
};

int RunCommand(const RunOptions& options, RunEvents& events);
// The run itself, for `run` and `demo`: `onPass` sees every pass record (may be empty).
int RunDownload(const RunOptions& options, RunEvents& events,
                const std::function<void(const PassRecord&)>& onPass);
int ClockCommand(const ClockOptions& options);
int PortsCommand(const PortsOptions& options);
int VersionsCommand(const VersionsOptions& options);
// Lists the readers and probes one: 0 ready, 1 not ready or no connection, 2 no such reader.
int CcidCommand(const CcidOptions& options, RunEvents& events);
int DemoCommand(const DemoOptions& options, RunEvents& events);

}  // namespace termload::cli
