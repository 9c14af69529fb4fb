// termload-cli versions: the file-version read without the window. It asks the terminal which
// versions it holds, shows them next to the local version list, and says which checked rows the
// window's "Read Version" would uncheck, with the window's texts.
#include <cstdio>
#include <memory>

#include "channels/ccid_reader.h"
#include "cli/cli_setup.h"
#include "cli/commands.h"
#include "cli/exit_codes.h"
#include "config/paths.h"
#include "config/string_table.h"
#include "engine/version_exchange.h"
#include "engine/version_read.h"

namespace termload::cli {
namespace {

constexpr int kPortOpenFailedText = 74;

void PrintRecords(const char* title, const VersionList& records, bool local) {
    std::printf("%s: %zu\n", title, records.size());
    for (const VersionRecord& record : records) {
        if (local) {
            std::printf("  type %d  %s  %s  %s\n", record.type, record.name.c_str(),
                        record.version.c_str(), record.keep != 0 ? "newer" : "held");
        } else {
            std::printf("  type %d  %s\n", record.type, record.version.c_str());
        }
    }
}

// The first reader the resource manager lists, connected; nothing when there is none.
std::unique_ptr<CcidReader> ConnectFirstReader() {
    auto reader = std::make_unique<CcidReader>();
    const std::vector<std::string> readers = reader->ListReaders();
    if (readers.empty() || !reader->Connect(readers.front())) {
        return nullptr;
    }
    return reader;
}

}  // namespace

int VersionsCommand(const VersionsOptions& options) {
    std::string error;
    auto config = LoadCliConfiguration(options.configPath, error);
    if (!config) {
        std::fprintf(stderr, "termload-cli: %s\n", error.c_str());
        return kExitUsage;
    }
    ControlsModel& controls = config->controls;
    controls.portMode = options.transport == RunTransport::Hid    ? PortMode::UsbHid
                        : options.transport == RunTransport::Ccid ? PortMode::UsbCcid
                                                                  : PortMode::Single;
    if (options.single) {
        controls.portIndex = *options.single - 1;
    }
    const int port = SelectedPortNumber(controls);
    if (controls.portMode == PortMode::Single) {
        UsePortMap(options.portsMap);
        if (const std::string problem = CheckPortDevice(port); !problem.empty()) {
            std::fprintf(stderr, "termload-cli: %s\n", problem.c_str());
            return kExitUsage;
        }
    }
    const std::filesystem::path localFile = options.localVersions.empty()
                                                ? ApplicationDir() / kLocalVersionFileName
                                                : options.localVersions;

    ChannelLibrary channels;
    std::unique_ptr<CcidReader> reader;
    if (controls.portMode == PortMode::UsbCcid) {
        reader = ConnectFirstReader();
    }
    const int langBase = config->settings.LangBase;
    const VersionReadOutcome outcome =
        ReadFileVersions(false,
                         MakeVersionExchange(VersionExchangeSetupOf(
                             controls, config->settings.TraceLog, reader.get())),
                         localFile, config->files.Rows(), langBase);
    if (outcome.openFailed) {
        const std::string prefix =
            controls.portMode == PortMode::Single ? "[COM" + std::to_string(port) + "]" : "";
        std::printf("%s%s\n", prefix.c_str(),
                    std::string(TextOf(langBase, kPortOpenFailedText)).c_str());
        return kExitFailed;
    }

    PrintRecords("terminal versions", outcome.terminal, false);
    PrintRecords(("local versions (" + PathToUtf8(localFile) + ")").c_str(), outcome.local, true);
    std::printf("rows:\n");
    for (const VersionRowVerdict& verdict : outcome.verdicts) {
        if (!verdict.prompt.empty()) {
            std::printf("  skip  %s\n", verdict.prompt.c_str());
        } else if (verdict.uncheck) {
            std::printf("  skip  %s\n", verdict.destination.c_str());
        } else {
            std::printf("  load  %s\n", verdict.destination.c_str());
        }
    }
    return kExitAllOk;
}

}  // namespace termload::cli
