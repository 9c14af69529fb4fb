// termload-cli: the download engine from the command line, for production lines and the demo.
#include <CLI/CLI.hpp>

#include <cctype>
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "cli/commands.h"
#include "cli/exit_codes.h"
#include "cli/interrupt_watch.h"
#include "cli/process_start.h"
#include "config/paths.h"
#include "termload_version.h"

namespace {

using namespace termload::cli;

// CLI11's own file check and path options read a narrow string in Windows' ANSI code page: paths
// are taken as UTF-8 text (Utf8Arguments) and made paths here.
const CLI::Validator kExistingFile(
    [](std::string& text) -> std::string {
        std::error_code error;
        const std::filesystem::file_status status =
            std::filesystem::status(termload::PathFromUtf8(text), error);
        if (!std::filesystem::exists(status)) {
            return "File does not exist: " + text;
        }
        if (std::filesystem::is_directory(status)) {
            return "File is actually a directory: " + text;
        }
        return {};
    },
    "FILE");

CLI::Option* AddPathOption(CLI::App* cmd, const std::string& name, std::filesystem::path& target,
                           const std::string& description) {
    return cmd->add_option_function<std::string>(
        name, [&target](const std::string& text) { target = termload::PathFromUtf8(text); },
        description);
}

// One or two hexadecimal digits, as the version field takes them.
const CLI::Validator kHexVersion(
    [](std::string& text) -> std::string {
        if (text.empty() || text.size() > 2) {
            return "must be one or two hexadecimal digits";
        }
        for (char& c : text) {
            if (!std::isxdigit(static_cast<unsigned char>(c))) {
                return "must be one or two hexadecimal digits";
            }
            c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
        }
        if (text.size() == 1) {
            text.insert(0, "0");
        }
        return {};
    },
    "HH");

const CLI::Validator kAtLeastOne = CLI::Range(1, 1 << 30).description("N >= 1");

void AddRun(CLI::App& app, RunOptions& run) {
    CLI::App* cmd = app.add_subcommand("run",
                                       "Download the configuration's files, terminal after "
                                       "terminal, on the chosen ports");
    AddPathOption(cmd, "--config", run.configPath, "Configuration file (INI)")
        ->required()
        ->check(kExistingFile);
    AddPathOption(cmd, "--ports-map", run.portsMap, "Port map: section [Ports], COMn=device")
        ->check(kExistingFile);
    CLI::Option* single =
        cmd->add_option("--single", run.single, "Download on COM N only")->check(CLI::Range(1, 27));
    CLI::Option* multi = cmd->add_option("--multi", run.multi, "Download on COM1 to COM N")
                             ->check(CLI::IsMember({9, 18, 27}));
    single->excludes(multi);
    CLI::Option* transport =
        cmd->add_option_function<std::string>(
               "--transport",
               [&run](const std::string& name) {
                   run.transport = name == "hid"    ? RunTransport::Hid
                                   : name == "ccid" ? RunTransport::Ccid
                                                    : RunTransport::Serial;
               },
               "serial (default), hid (USB-HID) or ccid (a reader through PC/SC; one pass)")
            ->check(CLI::IsMember({"serial", "hid", "ccid"}));
    transport->excludes(multi);
    cmd->add_option("--reader", run.reader, "USB-CCID reader name (default: the first)")
        ->needs(transport);
    cmd->add_option("--model", run.model, "Model name from the configuration's model list");
    cmd->add_option("--hw-version", run.hwVersion, "Hardware version, two hexadecimal digits")
        ->check(kHexVersion);
    CLI::Option* passes = cmd->add_option("--passes", run.passes,
                                          "Passes (terminals) per port; default: until Ctrl-C")
                              ->check(kAtLeastOne);
    cmd->add_option("--absent-limit", run.absentLimitSeconds,
                    "A port that cannot be opened for longer than SECONDS fails its remaining "
                    "passes (exit code 1) instead of being waited for; default: waited for until "
                    "it opens or Ctrl-C")
        ->type_name("SECONDS")
        ->check(CLI::Range(0.001, 1e6))
        ->needs(passes);
    cmd->add_flag("--wait-for-ports", run.waitForPorts,
                  "Start although a port's device is missing (a USB serial adapter that appears "
                  "when its terminal is plugged in): the port fails its pass and is tried every "
                  "second, as in the window; default: refused (exit code 2)");
    AddPathOption(cmd, "--report", run.reportPath, "Append one JSON line per pass per port");
    cmd->add_flag("--json", run.json, "One JSON object per status change on stdout");
}

void AddClock(CLI::App& app, ClockOptions& clock) {
    CLI::App* cmd = app.add_subcommand("clock", "Set a terminal's clock to this PC's local time");
    cmd->add_option("--port", clock.port, "COM number")->required()->check(CLI::Range(1, 255));
    AddPathOption(cmd, "--config", clock.configPath, "Configuration file for the line settings")
        ->check(kExistingFile);
    AddPathOption(cmd, "--ports-map", clock.portsMap, "Port map: section [Ports], COMn=device")
        ->check(kExistingFile);
}

void AddVersions(CLI::App& app, VersionsOptions& versions) {
    CLI::App* cmd = app.add_subcommand(
        "versions",
        "Read the terminal's file versions and show which checked rows need no download");
    AddPathOption(cmd, "--config", versions.configPath, "Configuration file (INI)")
        ->required()
        ->check(kExistingFile);
    AddPathOption(cmd, "--ports-map", versions.portsMap, "Port map: section [Ports], COMn=device")
        ->check(kExistingFile);
    CLI::Option* single = cmd->add_option("--single", versions.single, "Ask the terminal on COM N")
                              ->check(CLI::Range(1, 27));
    CLI::Option* transport =
        cmd->add_option_function<std::string>(
               "--transport",
               [&versions](const std::string& name) {
                   versions.transport = name == "hid"    ? RunTransport::Hid
                                        : name == "ccid" ? RunTransport::Ccid
                                                         : RunTransport::Serial;
               },
               "serial (default), hid (USB-HID) or ccid (the first reader through PC/SC)")
            ->check(CLI::IsMember({"serial", "hid", "ccid"}));
    single->excludes(transport);
    AddPathOption(cmd, "--local-versions", versions.localVersions,
                  "Local version list (default: UserLoacaVersion.ini beside the program)");
    AddPathOption(cmd, "--output", versions.output,
                  "Write the configuration without the rows the read unchecks to this new file "
                  "(beside the configuration; never the configuration itself)");
    cmd->add_flag("--apply", versions.apply,
                  "Refused without --output: the configuration itself is never changed");
}

void AddPorts(CLI::App& app, PortsOptions& ports) {
    CLI::App* cmd =
        app.add_subcommand("ports", "List the COM numbers with their devices and USB ids");
    AddPathOption(cmd, "--ports-map", ports.portsMap, "Port map: section [Ports], COMn=device")
        ->check(kExistingFile);
}

void AddCcid(CLI::App& app, CcidOptions& ccid) {
    CLI::App* cmd = app.add_subcommand(
        "ccid", "List the USB-CCID readers and check that the terminal behind one is ready");
    cmd->add_option("--reader", ccid.reader, "Reader name (default: the first)");
}

void AddDemo(CLI::App& app, DemoOptions& demo) {
    CLI::App* cmd = app.add_subcommand(
        "demo", "Download sample files into simulated terminals and verify what they received");
    CLI::Option* ports =
        cmd->add_option("--ports", demo.ports, "Simulated terminals: 1, 9, 18 or 27")
            ->check(CLI::IsMember({1, 9, 18, 27}));
    CLI::Option* passes =
        cmd->add_option("--passes", demo.passes, "Passes per port")->check(kAtLeastOne);
    AddPathOption(cmd, "--termsim", demo.termsim, "The simulator program")->check(kExistingFile);
    CLI::Option* runner =
        cmd->add_option("--runner", demo.runner,
                        "Let another termload-cli do the download: the program and its first "
                        "arguments (e.g. a wrapper running the Windows build under Wine); it gets "
                        "\"run\" and the run's options after them")
            ->expected(1, 16);
    CLI::Option* boot =
        cmd->add_flag("--boot", demo.boot,
                      "A kernel-mode run instead: BIOS, kernel and root files through the USB pipe "
                      "and a kernel image by YMODEM into one terminal's boot loader");
    CLI::Option* transport =
        cmd->add_option_function<std::string>(
               "--transport",
               [&demo](const std::string& name) {
                   demo.transport = name == "hid"    ? RunTransport::Hid
                                    : name == "ccid" ? RunTransport::Ccid
                                                     : RunTransport::Serial;
               },
               "serial (default), hid (one terminal behind its USB-HID device) or ccid (one "
               "terminal behind a CCID reader, through PC/SC)")
            ->check(CLI::IsMember({"serial", "hid", "ccid"}));
    transport->excludes(boot)->excludes(ports)->excludes(runner)->excludes(passes);
}

}  // namespace

int main(int argc, char** argv) {
    PrepareProcess();
    RunEvents events;
    // First, before any other thread: Ctrl-C becomes the stop button.
    InterruptWatch interrupts([&events](int) { events.Interrupt(); });

    CLI::App app{"termload-cli: load firmware and data files into POS terminals"};
    app.require_subcommand(1);
    app.set_version_flag("--version", "termload-cli " TERMLOAD_VERSION);
    RunOptions run;
    ClockOptions clock;
    PortsOptions ports;
    DemoOptions demo;
    VersionsOptions versions;
    CcidOptions ccid;
    AddRun(app, run);
    AddClock(app, clock);
    AddPorts(app, ports);
    AddCcid(app, ccid);
    AddDemo(app, demo);
    AddVersions(app, versions);

    const std::vector<std::string> arguments = Utf8Arguments(argc, argv);
    std::vector<const char*> utf8Argv;
    for (const std::string& argument : arguments) {
        utf8Argv.push_back(argument.c_str());
    }
    if (arguments.size() > 1 && !arguments[1].starts_with('-')) {
        try {
            app.get_subcommand(arguments[1]);
        } catch (const CLI::OptionNotFound&) {
            std::fprintf(stderr,
                         "termload-cli: unknown command %s (run, clock, ports, ccid, versions, "
                         "demo)\n",
                         arguments[1].c_str());
            return kExitUsage;
        }
    }
    try {
        app.parse(static_cast<int>(utf8Argv.size()), utf8Argv.data());
    } catch (const CLI::CallForHelp& help) {
        return app.exit(help);
    } catch (const CLI::CallForVersion& version) {
        return app.exit(version);
    } catch (const CLI::ParseError& error) {
        std::fprintf(stderr, "termload-cli: %s\n", error.what());
        return kExitUsage;
    }

    try {
        if (app.got_subcommand("run")) {
            return RunCommand(run, events);
        }
        if (app.got_subcommand("clock")) {
            return ClockCommand(clock);
        }
        if (app.got_subcommand("ports")) {
            return PortsCommand(ports);
        }
        if (app.got_subcommand("versions")) {
            return VersionsCommand(versions);
        }
        if (app.got_subcommand("ccid")) {
            return CcidCommand(ccid, events);
        }
        return DemoCommand(demo, events);
    } catch (const std::exception& error) {
        // Whatever the system refuses at this level (a full disk, a child that cannot start)
        // ends the command with one line rather than an abort.
        std::fprintf(stderr, "termload-cli: %s\n", error.what());
        return kExitFailed;
    }
}
