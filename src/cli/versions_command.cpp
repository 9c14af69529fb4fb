// termload-cli versions: the file-version read without the window. It asks the terminal which
// versions it holds, shows them next to the local version list, and says which checked rows the
// window's "Read Version" would uncheck, with the window's texts; with --output it writes a copy
// of the configuration without those rows, for one run on this terminal. The configuration
// itself is the line's recipe and is never written.
#include <cstdio>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "channels/ccid_reader.h"
#include "cli/cli_setup.h"
#include "cli/commands.h"
#include "cli/exit_codes.h"
#include "config/file_list.h"
#include "config/file_system.h"
#include "config/ini_document.h"
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

// True when `output` is the configuration under any name: the same path, a link to it (symbolic
// or hard) or another spelling of its path. File identity decides, not the text of the paths.
bool IsTheConfiguration(const std::filesystem::path& output, const std::filesystem::path& config) {
    std::error_code error;
    return std::filesystem::equivalent(output, config, error) && !error;
}

// Why the decided list cannot go to `output`; empty when it can. Checked before the terminal is
// asked and again just before the file is written.
std::string OutputProblem(const std::filesystem::path& output, const std::filesystem::path& config,
                          bool debugMode) {
    const std::string name = PathToUtf8(output);
    if (IsTheConfiguration(output, config)) {
        return "--output " + name +
               " is the configuration itself: the line's configuration is never rewritten; name "
               "a new file";
    }
    std::error_code error;
    if (std::filesystem::is_directory(output, error)) {
        return "--output " + name + " is a directory";
    }
    if (std::filesystem::exists(output, error) && IsReadOnlyFile(output)) {
        return "--output " + name + " is read-only";
    }
    // Outside debug mode a run looks the rows' files up beside the configuration it is given:
    // beside another directory's copy of a file name, it would send that copy.
    const std::filesystem::path outputDir = std::filesystem::absolute(output, error).parent_path();
    if (!debugMode &&
        !std::filesystem::equivalent(
            outputDir, std::filesystem::absolute(config, error).parent_path(), error)) {
        return "--output " + name +
               " must lie in the configuration's directory: a run looks the rows' files up "
               "beside the configuration it is given";
    }
    return {};
}

// The configuration with the rows the read unchecks left out of its file list, written to
// `output`; the configuration is only read. The list is the one the loading made, so every row
// the loading did not take stays in the copy as it was, and a run refuses the copy as it refuses
// the configuration. Empty on success, else the reason.
std::string WriteDecidedList(const std::filesystem::path& configPath,
                             const std::filesystem::path& output, FileList files,
                             const std::vector<VersionRowVerdict>& verdicts, bool debugMode,
                             std::size_t& removed) {
    IniDocument ini;
    if (ini.Load(configPath) != IniDocument::LoadStatus::Ok) {
        return "cannot read " + PathToUtf8(configPath);
    }
    if (!ini.Rewritable()) {
        return PathToUtf8(configPath) +
               " holds bytes a copy would not keep (a NUL byte, or text neither UTF-8 nor GBK)";
    }
    std::vector<bool> leaveOut(files.Size(), false);
    for (const VersionRowVerdict& verdict : verdicts) {
        if (verdict.uncheck && verdict.row < leaveOut.size()) {
            leaveOut[verdict.row] = true;
        }
    }
    removed = 0;
    for (std::size_t row = files.Size(); row-- > 0;) {
        // The configuration's own row (DOWNCONF) is no stored row: the copy's loading adds its own.
        if (!files.StoredRowOf(row)) {
            files.DeleteRow(static_cast<int>(row));
        } else if (leaveOut[row]) {
            files.DeleteRow(static_cast<int>(row));
            ++removed;
        }
    }
    WriteFileList(ini, files);
    const std::string problem = OutputProblem(output, configPath, debugMode);
    if (!problem.empty()) {
        return problem;
    }
    std::error_code error;
    std::filesystem::path target = std::filesystem::canonical(output, error);
    if (error) {
        target = output;
    }
    const std::string text = ini.ToBytes();
    if (!(ReplaceFileWith(target, text) || OverwriteFileWith(target, text))) {
        return "cannot write " + PathToUtf8(output);
    }
    return {};
}

}  // namespace

int VersionsCommand(const VersionsOptions& options) {
    if (options.apply && options.output.empty()) {
        std::fprintf(stderr,
                     "termload-cli: --apply no longer changes the configuration: it is the recipe "
                     "for every terminal of the line. Write the decided list to a new file with "
                     "--output FILE and run that file for this terminal\n");
        return kExitUsage;
    }
    std::string error;
    auto config = LoadCliConfiguration(options.configPath, error);
    if (!config) {
        std::fprintf(stderr, "termload-cli: %s\n", error.c_str());
        return kExitUsage;
    }
    if (!options.output.empty()) {
        const std::string problem =
            OutputProblem(options.output, options.configPath, config->settings.debugMode);
        if (!problem.empty()) {
            std::fprintf(stderr, "termload-cli: %s\n", problem.c_str());
            return kExitUsage;
        }
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
    const int langBase = config->settings.langBase;
    const VersionReadOutcome outcome =
        ReadFileVersions(false,
                         MakeVersionExchange(VersionExchangeSetupOf(
                             controls, config->settings.traceLog, reader.get())),
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
    if (options.output.empty()) {
        return kExitAllOk;
    }
    std::size_t removed = 0;
    const std::string problem =
        WriteDecidedList(options.configPath, options.output, config->files, outcome.verdicts,
                         config->settings.debugMode, removed);
    if (!problem.empty()) {
        std::fprintf(stderr, "termload-cli: %s\n", problem.c_str());
        return kExitFailed;
    }
    std::printf("written: %s without %zu skipped %s\n", PathToUtf8(options.output).c_str(), removed,
                removed == 1 ? "row" : "rows");
    return kExitAllOk;
}

}  // namespace termload::cli
