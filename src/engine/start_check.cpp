#include "engine/start_check.h"

#include <algorithm>
#include <map>

#include "channels/serial_device_kind.h"
#include "config/address_file.h"
#include "config/model_rules.h"
#include "config/paths.h"
#include "config/string_table.h"
#include "config/text_encoding.h"
#include "engine/address_file_flow.h"
#include "engine/download_texts.h"
#include "engine/hex_bytes.h"
#include "engine/link.h"
#include "engine/model_class.h"
#include "engine/ordinary_file_flow.h"
#include "engine/port_slot_table.h"

namespace termload {

namespace {

std::uint32_t DelaySetting(int milliseconds) {
    return static_cast<std::uint32_t>(std::clamp(milliseconds, 0, kMaxDelayMs));
}

StartCheck Refused(int langBase, StartRefusal refusal, std::string_view detail = {}) {
    StartCheck check;
    check.messages.push_back({PromptKind::Warning, StartRefusalText(langBase, refusal, detail)});
    return check;
}

std::string MissingFileText(int langBase, std::string_view path) {
    return std::string(TextOf(langBase, kTextSourceFile))
        .append(path)
        .append(TextOf(langBase, kTextNotExist));
}

// The choices of the window that make the job's frame constants, ports and channel.
std::optional<StartRefusal> TakeChoices(const Configuration& config, DownloadJob& job) {
    const ControlsModel& controls = config.controls;
    job.modelName = ModelText(controls);
    if (job.modelName.empty()) {
        return StartRefusal::NoModel;
    }
    if (!ModelNameFits(job.modelName)) {
        return StartRefusal::ModelNameTooLong;
    }
    job.channel.transport = TransportOfPortMode(controls.portMode);
    job.kernelMode = config.settings.kernelMode || IsKernelModel(job.modelName);
    job.portMode = controls.portMode;
    // One terminal's boot loader at a time: the window keeps kernel models on a single port.
    if (job.kernelMode && job.portMode == PortMode::Multi) {
        return StartRefusal::KernelModeMultiPort;
    }
    if (job.kernelMode && !TraitsOf(job.channel.transport).bootConsole) {
        return StartRefusal::ConsoleNotSerial;
    }
    if (job.portMode == PortMode::Multi) {
        job.portCount = SelectedPortCount(controls);
    } else {
        job.singlePort = SelectedPortNumber(controls);
        job.portCount = job.singlePort > 0 ? 1 : 0;
    }
    if (job.portCount == 0) {
        return StartRefusal::NoPort;
    }
    job.modeCode = HexByte(SelectedModeCode(config));
    job.hardwareVersion = HexByte(controls.hardVersion);
    job.channel.baudRate = SelectedBaudRate(controls);
    job.channel.dataBits = SelectedDataBits(controls);
    job.channel.stopBitsIndex = controls.stopBitIndex;
    job.channel.parityIndex = controls.parityIndex;
    job.channel.flowControlIndex = controls.flowCtrlIndex;
    job.channel.traceLog = config.settings.traceLog;
    return std::nullopt;
}

void TakeSettings(const Settings& settings, const StartOptions& options, DownloadJob& job) {
    job.langBase = settings.langBase;
    job.newMachine = settings.newMachine;
    job.downTimer = settings.sendTimerFile;
    job.rootDir = settings.rootDir;
    job.emptyFlash = settings.emptyFlash;
    job.cmdDelayMs = DelaySetting(settings.commandDelayMs);
    job.usbPipe.device = ReadUsbPipeDevice(UserStorePath());  // the bench's own device setting
    job.downloadAddress = settings.downloadAddressValue;
    job.pacing = {DelaySetting(settings.pieceDelayMs), DelaySetting(settings.frameDelayMs),
                  DelaySetting(settings.fileIntervalPer8000BytesMs),
                  DelaySetting(settings.fileIntervalFixedMs)};
    job.timings = options.timings;
    job.passLimit = std::max(options.passLimit, 0);
    job.absentLimitMs = options.absentLimitMs;
    job.useLocalAddress = settings.useLocalAddressFile == 1;
    if (settings.traceLog) {
        job.addressTraceDir = options.addressTraceDir;
    }
}

// The devices of the run's ports: from the host's table when it gives one, else read now.
PortTable RunPortTable(const StartOptions& options, const std::vector<int>& ports) {
    if (!options.portTable) {
        return TakePortTable(ports);
    }
    PortTable devices;
    for (const int port : ports) {
        if (const auto device = options.portTable->find(port); device != options.portTable->end()) {
            devices.insert(*device);
        }
    }
    return devices;
}

// The one refusal for rows the load dropped, naming each.
std::optional<std::string> DroppedRowsProblem(const FileList& files, int lang) {
    if (files.Dropped().empty()) {
        return std::nullopt;
    }
    return DroppedRowsText(lang, files.Dropped());
}

// Settings of the serial lists that no port takes would fail every open ("Port open failed!")
// and, with passes to go, have the port waited for without end. Each is named by its key; an
// index outside its list is one the configuration file held.
std::optional<std::string> SerialSettingsProblem(const DownloadJob& job,
                                                 const ControlsModel& controls, int lang) {
    if (job.channel.transport != Transport::Serial) {
        return std::nullopt;
    }
    const auto inList = [](int index, std::size_t count) {
        return index >= 0 && static_cast<std::size_t>(index) < count;
    };
    constexpr int kOneAndAHalfStopBits = 1;
    constexpr int kNoPortDataBits = 4;  // the list offers it; no UART sends 4-bit characters
    std::string keys;
    const auto name = [&keys](std::string_view key) {
        keys.append(keys.empty() ? "" : ", ").append(key);
    };
    if (job.channel.baudRate <= 0) {
        name("BuardRate");
    }
    if (job.channel.dataBits <= 0) {
        name("DataBit");
    } else if (job.channel.dataBits == kNoPortDataBits) {
        name("DataBit (4)");
    }
    if (!inList(controls.stopBitIndex, StopBitItems().size())) {
        name("StopBit");
    } else if (controls.stopBitIndex == kOneAndAHalfStopBits && job.channel.dataBits > 0 &&
               job.channel.dataBits != 5) {
        // A UART sends 1.5 stop bits only with 5-bit characters.
        name("StopBit (1.5, DataBit " + std::to_string(job.channel.dataBits) + ")");
    }
    if (!inList(controls.parityIndex, ParityItems(lang).size())) {
        name("ParityBit");
    }
    if (!inList(controls.flowCtrlIndex, FlowCtrlItems(lang).size())) {
        name("FlowCtrl");
    }
    if (keys.empty()) {
        return std::nullopt;
    }
    return SerialSettingsText(lang, keys);
}

// RootDir goes in front of every name: it must travel in GBK as it stands, and for M868 leave
// room for the address file's name, whose frame sum counts every byte of the name.
std::optional<std::string> RootDirProblem(const DownloadJob& job, bool takesAddressFile,
                                          std::size_t limit) {
    if (job.rootDir.empty()) {
        return std::nullopt;
    }
    if (!Utf8ToGbkExact(job.rootDir)) {
        return NameNotGbkText(job.langBase, "RootDir=" + job.rootDir);
    }
    if (takesAddressFile) {
        const std::string name =
            DestinationOnTerminal(job.rootDir, AddressFileShownName(kAddressFileName));
        if (Utf8ToGbk(name).size() > limit) {
            return WireNameTooLongText(job.langBase, limit, name);
        }
    }
    return std::nullopt;
}

// Two COM numbers on one device would write two terminals' frames into one line.
std::optional<std::string> SameDeviceProblem(const PortTable& devices, int lang) {
    std::map<std::string, int> seen;
    for (const auto& [port, device] : devices) {
        std::error_code ec;
        const std::filesystem::path canonical =
            std::filesystem::weakly_canonical(PathFromUtf8(device), ec);
        const std::string key = ec ? device : PathToUtf8(canonical);
        const auto [first, added] = seen.emplace(key, port);
        if (!added) {
            return StartRefusalText(lang, StartRefusal::SameDevice,
                                    "COM" + std::to_string(first->second) + ", COM" +
                                        std::to_string(port) + " = " + key);
        }
    }
    return std::nullopt;
}

// A port whose device is no serial line would swallow the frames (a file, /dev/null, a pty's
// master) or write them on the operator's own terminal.
std::optional<std::string> NotSerialProblem(const DownloadJob& job, int lang) {
    if (job.channel.transport != Transport::Serial) {
        return std::nullopt;
    }
    for (const auto& [port, device] : *job.channel.devices) {
        if (IsRefusedSerialDevice(KindOfSerialDevice(device))) {
            return StartRefusalText(lang, StartRefusal::NotSerialDevice,
                                    "COM" + std::to_string(port) + " = " + device);
        }
    }
    return std::nullopt;
}

// The warning for a checked row that cannot go as it stands, or nothing.
std::optional<std::string> RowProblem(const DownloadJob& job, const DownloadFileEntry& entry,
                                      const std::filesystem::path& source, std::size_t limit) {
    const int lang = job.langBase;
    std::error_code ec;
    if (!std::filesystem::is_regular_file(source, ec)) {
        return MissingFileText(lang, entry.sourcePath);
    }
    // The frames' file count would include a file no frame carries: the terminal would wait.
    const std::uintmax_t size = std::filesystem::file_size(source, ec);
    if (size == 0 && !ec) {
        return EmptySourceText(lang, entry.sourcePath);
    }
    // Every pass would announce a file that never goes.
    if (!ec && size > static_cast<std::uintmax_t>(kMaxFileSize)) {
        return std::string(TextOf(lang, kTextSourceFile))
            .append(entry.sourcePath)
            .append(": ")
            .append(TextOf(lang, kTextFileTooLarge));
    }
    // An empty name travels as all zeros, the address file's mark: an M868 terminal would store
    // the file as the address file.
    if (entry.destinationName.empty()) {
        return EmptyDestinationText(lang);
    }
    const std::optional<std::string> gbk = Utf8ToGbkExact(entry.destinationName);
    if (!gbk) {
        return NameNotGbkText(lang, entry.destinationName);
    }
    if (gbk->size() > limit) {
        return std::string(
            TextOf(lang, job.newMachine ? kTextDestinationOver50 : kTextDestinationOver14));
    }
    const std::string onTerminal = DestinationOnTerminal(job.rootDir, entry.destinationName);
    if (Utf8ToGbk(onTerminal).size() > limit) {
        return WireNameTooLongText(lang, limit, onTerminal);
    }
    return std::nullopt;
}

}  // namespace

StartCheck CheckStart(const Configuration& config, const StartOptions& options) {
    const int lang = config.settings.langBase;
    auto job = std::make_shared<DownloadJob>();
    if (const auto refusal = TakeChoices(config, *job)) {
        const bool namesModel = *refusal == StartRefusal::ModelNameTooLong ||
                                *refusal == StartRefusal::KernelModeMultiPort ||
                                *refusal == StartRefusal::ConsoleNotSerial;
        return Refused(lang, *refusal, namesModel ? job->modelName : std::string_view{});
    }
    if (TraitsOf(job->channel.transport).needsOpenReader) {
        // Frames go over the connection the operator opened: without one the first frame would
        // fail, and the file restart again and again.
        if (!options.ccidReader || !options.ccidReader->connected()) {
            return Refused(lang, StartRefusal::CcidNotConnected);
        }
    }
    TakeSettings(config.settings, options, *job);
    const bool takesAddressFile = ModelClass(job->modelName) == kModelClassM868;
    const std::size_t destinationLimit = DestinationLimit(job->newMachine);

    StartCheck check;
    job->channel.devices = RunPortTable(options, job->Ports());
    for (const auto& problem :
         {SerialSettingsProblem(*job, config.controls, lang),
          DroppedRowsProblem(config.files, lang),
          RootDirProblem(*job, takesAddressFile, destinationLimit),
          SameDeviceProblem(*job->channel.devices, lang), NotSerialProblem(*job, lang)}) {
        if (problem) {
            check.messages.push_back({PromptKind::Warning, *problem});
            return check;
        }
    }

    if (job->useLocalAddress && takesAddressFile) {
        const std::string path = PathToUtf8(options.userAddrFile);
        std::error_code ec;
        if (!std::filesystem::is_regular_file(options.userAddrFile, ec)) {
            check.messages.push_back({PromptKind::Warning, MissingFileText(lang, path)});
            return check;
        }
        if (!ReadUserAddrFile(options.userAddrFile, job->userAddresses)) {
            check.messages.push_back(
                {PromptKind::Warning, path + std::string(TextOf(lang, kTextFileReadError))});
            return check;
        }
    }

    const auto& rows = config.files.Rows();
    for (std::size_t index = 0; index < rows.size(); ++index) {
        if (!rows[index].checked) {
            continue;
        }
        const auto entry = DecodeFileEntry(rows[index].entry);
        if (!entry) {
            continue;
        }
        const std::filesystem::path source = SourcePathOnDisk(entry->sourcePath);
        // Every row that cannot go is named; none starts without it.
        if (auto problem = RowProblem(*job, *entry, source, destinationLimit)) {
            check.messages.push_back(
                {PromptKind::Warning, RowRefusalText(lang, static_cast<int>(index),
                                                     FileNamePart(entry->sourcePath), *problem)});
            continue;
        }
        job->rows.push_back({static_cast<int>(index), entry->kind, source, entry->destinationName});
    }
    if (!check.messages.empty()) {
        return check;
    }

    // The terminal keeps one file per name, as it receives the name (RootDir in front): the later
    // row would replace the earlier one.
    std::vector<std::string> entries;
    for (const DownloadRow& row : job->rows) {
        entries.push_back(EncodeFileEntry(row.kind, PathToUtf8(row.source),
                                          DestinationOnTerminal(job->rootDir, row.destination)));
    }
    if (const auto same = FindSameDestination(entries)) {
        check.messages.push_back({PromptKind::Warning, SameDestinationText(lang, *same)});
        return check;
    }

    const bool bootConsole = TraitsOf(job->channel.transport).bootConsole;
    for (const DownloadRow& row : job->rows) {
        const std::string name = FileNamePart(PathToUtf8(row.source));
        // Boot-loader rows run on the terminal's serial console, in any mode: the flow waits for
        // the boot loader itself when the console is not open yet.
        if (IsBootLoaderKind(row.kind) && !bootConsole) {
            check.messages.push_back(
                {PromptKind::Warning,
                 StartRefusalText(lang, StartRefusal::ConsoleNotSerial, name)});
            return check;
        }
        // The images of BIOS, kernel and root rows go through the one USB download device the
        // PC finds: with several ports, one terminal's image could reach another.
        if (IsUsbPipeKind(row.kind) && job->portCount > 1) {
            check.messages.push_back(
                {PromptKind::Warning,
                 StartRefusalText(lang, StartRefusal::UsbPipeRowMultiPort, name)});
            return check;
        }
    }
    if (job->rows.empty()) {
        return check;
    }
    job->fileCount = static_cast<int>(job->rows.size()) + (takesAddressFile ? 1 : 0);
    if (takesAddressFile) {
        std::vector<std::string> destinations;
        for (const DownloadRow& row : job->rows) {
            destinations.push_back(row.destination);
        }
        job->addressFileNames = AddressFileNames(destinations);
    }
    check.job = std::move(job);
    return check;
}

}  // namespace termload
