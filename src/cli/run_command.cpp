// termload-cli run: the production loop on the chosen ports, with the window's checks and texts.
#include <algorithm>
#include <cstdio>

#include "channels/port_map.h"
#include "cli/ccid_connect.h"
#include "cli/cli_host.h"
#include "cli/cli_setup.h"
#include "cli/commands.h"
#include "cli/exit_codes.h"
#include "cli/pass_tracker.h"
#include "cli/progress_view.h"
#include "config/model_rules.h"
#include "config/paths.h"
#include "engine/download_controller.h"
#include "engine/port_slot_table.h"
#include "engine/start_check.h"

namespace termload::cli {
namespace {

void Refuse(const std::string& reason) {
    std::fprintf(stderr, "termload-cli: %s\n", reason.c_str());
}

// The command line's choices over the configuration's, as the operator would make them in the
// window. Without --single or --multi the download runs on the configuration's single port.
std::string ApplyChoices(Configuration& config, const RunOptions& options) {
    ControlsModel& controls = config.controls;
    if (options.model) {
        const auto& items = controls.modelItems;
        const auto found = std::find(items.begin(), items.end(), *options.model);
        if (found == items.end()) {
            std::string known;
            for (const std::string& item : items) {
                known += (known.empty() ? "" : ", ") + item;
            }
            return "the model " + *options.model + " is not in the configuration's model list (" +
                   known + ")";
        }
        controls.modelIndex = static_cast<int>(found - items.begin());
    }
    ModelChanged(config);
    if (options.hwVersion) {
        controls.hardVersion = *options.hwVersion;
    }
    if (options.multi) {
        if (config.settings.kernelMode) {
            return "the model " + ModelText(controls) + " downloads on a single port only";
        }
        const auto counts = PortNumItems();
        const auto count = std::find(counts.begin(), counts.end(), std::to_string(*options.multi));
        controls.portMode = PortMode::Multi;
        controls.portNumIndex = static_cast<int>(count - counts.begin());
    } else {
        controls.portMode = PortMode::Single;
        if (options.single) {
            controls.portIndex = *options.single - 1;
        }
    }
    if (options.transport == RunTransport::Hid) {
        controls.portMode = PortMode::UsbHid;
    } else if (options.transport == RunTransport::Ccid) {
        controls.portMode = PortMode::UsbCcid;
    }
    return {};
}

bool AnyRowChecked(const FileList& files) {
    return std::any_of(files.Rows().begin(), files.Rows().end(),
                       [](const FileRow& row) { return row.checked; });
}

// The checks of the start button; every refusal or refused row ends the command.
std::shared_ptr<const DownloadJob> CheckedJob(const Configuration& config,
                                              const RunOptions& options,
                                              std::shared_ptr<CcidReader> ccid) {
    // Rows the loading could not take are named by the start checks below.
    const bool nothingToSend = config.files.Empty() ||
                               (!AnyRowChecked(config.files) && config.settings.configFileRow == 0);
    if (nothingToSend && config.files.Dropped().empty()) {
        Refuse("the file list of " + PathToUtf8(options.configPath) + " has no file to download");
        return nullptr;
    }
    StartOptions start;
    start.userAddrFile = ApplicationDir() / "UserAddrFile.ini";
    start.addressTraceDir = ApplicationDir();
    start.passLimit = options.passes.value_or(0);
    if (options.absentLimitSeconds) {
        start.absentLimitMs =
            static_cast<std::uint32_t>(std::max(1.0, *options.absentLimitSeconds * 1000.0));
    }
    start.ccidReader = std::move(ccid);
    const StartCheck check = CheckStart(config, start);
    for (const PromptMessage& message : check.messages) {
        Refuse(message.text);
    }
    if (!check.messages.empty() || !check.job) {
        if (check.messages.empty()) {
            Refuse("the file list of " + PathToUtf8(options.configPath) +
                   " has no file to download");
        }
        return nullptr;
    }
    return check.job;
}

int RunExitCode(bool interrupted, const PassTracker& tracker, bool limited, bool reportFailed) {
    const bool done = tracker.AllDone();
    if (interrupted && !done) {
        return kExitStopped;
    }
    if (tracker.AnyFailure() || (limited && !done) || reportFailed) {
        return kExitFailed;
    }
    return kExitAllOk;
}

}  // namespace

int RunDownload(const RunOptions& options, RunEvents& events,
                const std::function<void(const PassRecord&)>& onPass) {
    std::string error;
    auto config = LoadCliConfiguration(options.configPath, error);
    if (!config) {
        Refuse(error);
        return kExitUsage;
    }
    if (const std::string problem = ApplyChoices(*config, options); !problem.empty()) {
        Refuse(problem);
        return kExitUsage;
    }
    const TransportTraits traits = TraitsOf(TransportOfPortMode(config->controls.portMode));
    if (options.reader && !traits.needsOpenReader) {
        Refuse("--reader names a USB-CCID reader: it needs --transport ccid");
        return kExitUsage;
    }
    if (traits.onePass && options.passes.value_or(1) > 1) {
        Refuse(std::string("a ") + traits.name + " download is one pass: --passes can only be 1");
        return kExitUsage;
    }
    // Over a reader: a connection opened before the start, as the window's Open does.
    std::shared_ptr<CcidReader> ccid;
    if (traits.needsOpenReader) {
        CcidConnection connection = ConnectCcidReader(options.reader, events);
        if (!connection.reader) {
            return connection.exitCode;
        }
        ccid = std::move(connection.reader);
    }
    // The job takes the port table: the map must be in place first.
    UsePortMap(options.portsMap);
    const auto job = CheckedJob(*config, options, ccid);
    if (!job) {
        return kExitUsage;
    }
    const std::vector<int> ports = job->Ports();
    for (int port : TraitsOf(job->channel.transport).comPorts ? ports : std::vector<int>{}) {
        const auto device = job->channel.devices->find(port);
        const bool mapped = device != job->channel.devices->end();
        const std::string problem =
            mapped ? CheckPortDevice(port, device->second) : CheckPortDevice(port, std::nullopt);
        // A device of the table that is not there yet may be waited for; a COM number the table
        // does not name at all is refused still.
        if (!problem.empty() && !(options.waitForPorts && mapped)) {
            Refuse(problem);
            return kExitUsage;
        }
    }
    std::unique_ptr<PassReport> report;
    if (!options.reportPath.empty()) {
        std::vector<std::filesystem::path> sources;
        for (const DownloadRow& row : job->rows) {
            sources.push_back(row.source);
        }
        if (const std::string problem =
                CheckReportPath(options.reportPath, options.configPath, sources);
            !problem.empty()) {
            Refuse(problem);
            return kExitUsage;
        }
        try {
            report = std::make_unique<PassReport>(options.reportPath);
        } catch (const std::runtime_error& failure) {
            Refuse(failure.what());
            return kExitUsage;
        }
    }

    ChannelLibrary channels;
    const ViewKind viewKind = ChooseViewKind(stdout, options.json);
    const auto view = MakeProgressView(viewKind, ports, stdout);
    PassTracker tracker(ports, options.passes);
    CliHost host(ports, *view, tracker, report.get(), events, onPass);
    PortSlotTable table(host);
    DownloadController controller(table, TransportLinks([ccid] { return ccid; }));
    const StopSubscription cancelOnInterrupt(events.InterruptSignal(),
                                             [&controller] { controller.Cancel(); });
    if (!controller.Start(job)) {
        view->Finish();
        if (events.Interrupted()) {
            return kExitStopped;  // stopped before any port was opened
        }
        Refuse("no download thread could be started");
        return kExitFailed;
    }
    events.Wait();

    // The lines keep what they showed when the run ended, not the "Ready" of the stop.
    view->Finish();
    host.StopReporting();
    controller.Stop();
    for (const PassRecord& record : tracker.CloseOpenPasses(std::chrono::system_clock::now())) {
        if (report) {
            host.WriteReportLine(record);
        }
        if (onPass) {
            onPass(record);
        }
    }
    const int exitCode =
        RunExitCode(events.Interrupted(), tracker, options.passes.has_value(), host.ReportFailed());
    PrintSummary(viewKind, tracker.Tallies(), exitCode, stdout);
    return exitCode;
}

int RunCommand(const RunOptions& options, RunEvents& events) {
    return RunDownload(options, events, {});
}

}  // namespace termload::cli
