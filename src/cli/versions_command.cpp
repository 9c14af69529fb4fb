// termload-cli versions: the file-version read without the window. It asks the terminal which
// versions it holds, shows them next to the local version list, and says which checked rows the
// window's "Read Version" would uncheck, with the window's texts; with --apply it stores that
// decision in the configuration file.
#include <cstdio>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "channels/ccid_reader.h"
#include "cli/cli_setup.h"
#include "cli/commands.h"
#include "cli/exit_codes.h"
#include "config/file_list.h"
#include "config/file_system.h"
#include "config/ini_document.h"
#include "config/ini_lines.h"
#include "config/paths.h"
#include "config/string_table.h"
#include "engine/version_exchange.h"
#include "engine/version_read.h"

namespace termload::cli {
namespace {

constexpr int kPortOpenFailedText = 74;
constexpr std::string_view kHistorySection = "History";
constexpr std::string_view kPathSection = "Path";
constexpr std::string_view kCountKey = "RecentCount";
// More rows than a list can hold are not looked at.
constexpr std::size_t kMaxStoredRows = 4096;

std::string RecentKey(std::size_t row) {
    return "Recent" + std::to_string(row);
}

std::string PathKey(std::size_t row) {
    return "Path" + std::to_string(row);
}

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

// The whole file, or nothing when it cannot be read or is larger than any configuration.
std::optional<std::string> ReadConfigBytes(const std::filesystem::path& path) {
    std::FILE* file = OpenFile(path, "rb");
    if (file == nullptr) {
        return std::nullopt;
    }
    std::string bytes(static_cast<std::size_t>(IniDocument::kMaxFileBytes) + 1, '\0');
    bytes.resize(std::fread(bytes.data(), 1, bytes.size(), file));
    const bool failed = std::ferror(file) != 0;
    std::fclose(file);
    if (failed || bytes.size() > IniDocument::kMaxFileBytes) {
        return std::nullopt;
    }
    return bytes;
}

// The configuration keeps no check marks: every row it lists is checked when it is read. So the
// marks the read decided are stored by leaving the rows it unchecked out of the list: their
// "Recent<n>" and "Path<n>" lines go, the rows after them are renumbered to close the gap,
// "RecentCount" follows, and every other byte of the file stays as it was. The verdicts depend
// on a row's destination alone, so a stored row is matched to them by its destination. Returns
// the rows removed, or nothing when the file could not be read or written.
std::optional<std::size_t> StoreDecidedRows(const std::filesystem::path& configPath,
                                            const std::vector<VersionRowVerdict>& verdicts) {
    std::set<std::string> unchecked;
    for (const VersionRowVerdict& verdict : verdicts) {
        if (verdict.uncheck) {
            unchecked.insert(verdict.destination);
        }
    }
    const std::optional<std::string> bytes = ReadConfigBytes(configPath);
    if (!bytes) {
        return std::nullopt;
    }
    IniDocument ini;
    ini.LoadBytes(*bytes);
    // As the list is read: up to the count, ending at the first empty row.
    const int count = ini.ReadInteger(kHistorySection, kCountKey, 0);
    std::vector<std::size_t> kept;  // old row numbers, in order
    std::vector<std::size_t> dropped;
    std::size_t stored = 0;
    for (; static_cast<long long>(stored) < count && stored < kMaxStoredRows; ++stored) {
        const std::string recent = ini.ReadString(kHistorySection, RecentKey(stored), "");
        if (recent.empty()) {
            break;
        }
        const std::optional<DownloadFileEntry> entry = DecodeFileEntry(recent);
        (entry && unchecked.count(entry->destinationName) != 0 ? dropped : kept).push_back(stored);
    }
    if (dropped.empty()) {
        return 0;  // nothing to change: the file is not touched
    }
    IniLines lines(*bytes);
    for (const std::size_t row : dropped) {
        lines.DeleteKey(kHistorySection, RecentKey(row));
        lines.DeleteKey(kPathSection, PathKey(row));
    }
    // Upwards: the name a row moves to has been freed by a deleted row or one moved before.
    for (std::size_t row = 0; row < kept.size(); ++row) {
        if (kept[row] != row) {
            lines.RenameKey(kHistorySection, RecentKey(kept[row]), RecentKey(row));
            lines.RenameKey(kPathSection, PathKey(kept[row]), PathKey(row));
        }
    }
    lines.SetValue(kHistorySection, kCountKey, std::to_string(kept.size()));
    // A linked configuration is changed where it lies, the link kept.
    std::error_code error;
    std::filesystem::path target = std::filesystem::canonical(configPath, error);
    if (error) {
        target = configPath;
    }
    if (IsReadOnlyFile(target) ||
        !(ReplaceFileWith(target, lines.bytes()) || OverwriteFileWith(target, lines.bytes()))) {
        return std::nullopt;
    }
    return dropped.size();
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
    if (!options.apply) {
        return kExitAllOk;
    }
    const std::optional<std::size_t> removed =
        StoreDecidedRows(options.configPath, outcome.verdicts);
    if (!removed) {
        std::fprintf(stderr, "termload-cli: cannot write the rows to load into %s\n",
                     PathToUtf8(options.configPath).c_str());
        return kExitFailed;
    }
    std::printf("applied: %zu skipped %s removed from %s\n", *removed,
                *removed == 1 ? "row" : "rows", PathToUtf8(options.configPath).c_str());
    return kExitAllOk;
}

}  // namespace termload::cli
