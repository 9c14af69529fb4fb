#include "config/settings_file.h"

#include <system_error>

#include "config/file_system.h"
#include "config/ini_document.h"
#include "config/paths.h"
#include "config/text_encoding.h"
#include "config/user_addr_file.h"

namespace termload {

namespace {

constexpr std::string_view kConfig = "Config";
constexpr std::string_view kModeList = "ModeList";
constexpr std::string_view kAddrCtlol = "AddrCtlol";

constexpr int kModeKeyCount = 256;
constexpr std::string_view kFallbackModeCode = "05";
constexpr std::string_view kFallbackModel = "M740-32";
constexpr std::string_view kDefaultHardVersion = "10";
constexpr std::size_t kHardVersionLength = 2;
constexpr std::string_view kConfigRowDestination = "app.ini";

std::string ModeKey(int code) {
    constexpr char kHexDigits[] = "0123456789ABCDEF";
    return {kHexDigits[(code >> 4) & 0xF], kHexDigits[code & 0xF]};
}

// An index read for a combo of `itemCount` items; -1 (no selection) when outside them.
int ReadIndex(const IniDocument& ini, std::string_view key, int fallback, std::size_t itemCount) {
    const int index = ini.ReadInteger(kConfig, key, fallback);
    return index >= 0 && static_cast<std::size_t>(index) < itemCount ? index : -1;
}

// A delay in milliseconds; values of 0 or less become the default when `positive` is set. The
// cap (kMaxDelayMs) applies where the delay is used.
int ReadDelay(const IniDocument& ini, std::string_view key, int fallback, bool positive) {
    const int value = ini.ReadInteger(kConfig, key, fallback);
    if (positive && value <= 0) {
        return fallback;
    }
    return value;
}

void ReadModelList(const IniDocument& ini, Settings& settings, ControlsModel& controls) {
    controls.modelItems.clear();
    settings.modeCodes.clear();
    for (int code = 0; code < kModeKeyCount; ++code) {
        const std::string key = ModeKey(code);
        std::string model = ini.ReadString(kModeList, key, "");
        if (!model.empty()) {
            controls.modelItems.push_back(std::move(model));
            settings.modeCodes.push_back(key);
        }
    }
    if (settings.modeCodes.empty()) {
        settings.modeCodes.emplace_back(kFallbackModeCode);
        controls.modelItems.emplace_back(kFallbackModel);
    }
}

void ReadControls(const IniDocument& ini, ControlsModel& controls) {
    controls.modelIndex = ReadIndex(ini, "MachMode", 0, controls.modelItems.size());
    // The version field holds two characters.
    const std::string version = ini.ReadString(kConfig, "HardVersion", kDefaultHardVersion);
    controls.hardVersion = std::string(TrimBlanks(CutToDisplayWidth(version, kHardVersionLength)));
    controls.portIndex = ReadIndex(ini, "Port", 0, kPortCount);
    controls.portNumIndex = ReadIndex(ini, "PortNum", 0, PortNumItems().size());
    controls.baudRateIndex = ReadIndex(ini, "BuardRate", 12, BaudRateItems().size());
    controls.dataBitIndex = ReadIndex(ini, "DataBit", 0, DataBitItems().size());
    controls.stopBitIndex = ReadIndex(ini, "StopBit", 0, StopBitItems().size());
    controls.parityIndex = ReadIndex(ini, "ParityBit", 0, ParityItems(kLangChinese).size());
    controls.flowCtrlIndex = ReadIndex(ini, "FlowCtrl", 0, FlowCtrlItems(kLangChinese).size());
}

void ReadSwitchesAndDelays(const IniDocument& ini, Settings& settings) {
    settings.newMachine = ini.ReadBool(kConfig, "NewMachine", true);
    settings.sendTimerFile = ini.ReadBool(kConfig, "DownTimer", false);
    settings.pieceDelayMs = ReadDelay(ini, "USBDelay", 10, true);
    settings.fileIntervalPer8000BytesMs = ReadDelay(ini, "FILE_INTERVAL", 80, true);
    settings.fileIntervalFixedMs = ReadDelay(ini, "FILE_INTERVAL_", 80, true);
    settings.frameDelayMs = ReadDelay(ini, "S4KDelay", 1, false);
    settings.commandDelayMs = ReadDelay(ini, "CMDDelay", 1000, false);
    settings.emptyFlash = ini.ReadBool(kConfig, "EmptyFlash", true);
    settings.debugMode = ini.ReadBool(kConfig, "DegugMode", false);
    settings.traceLog = ini.ReadBool(kConfig, "TraceLog", false);
    settings.rootDir = ini.ReadString(kConfig, "RootDir", "");
    settings.downloadAddress = ini.ReadString(kConfig, "DownloadAddress", "");
    if (settings.downloadAddress.empty()) {
        settings.downloadAddress = kDefaultDownloadAddress;
    }
    settings.downloadAddressValue = ParseHexAddress(settings.downloadAddress);
}

void ApplyFileListCheck(Configuration& config) {
    const FileListCheck check = ckFilesClickCheck(config.files, config.settings.configFileRow,
                                                  config.controls.modelIndex >= 0);
    if (check.checkFirstRow) {
        config.files.SetChecked(0, true);
    }
}

}  // namespace

std::vector<PromptMessage> ReadSettings(Configuration& config) {
    std::vector<PromptMessage> messages;
    IniDocument ini;
    const std::string path = NativePath(config.configPath);
    const int langBase = config.settings.langBase;
    switch (ini.Load(PathFromUtf8(path))) {
        case IniDocument::LoadStatus::TooLarge:
            messages.push_back(
                {PromptKind::Error, std::string(TextOf(langBase, kTextConfigTooLarge)) + path});
            break;
        case IniDocument::LoadStatus::Unreadable:
            messages.push_back(
                {PromptKind::Error, std::string(TextOf(langBase, kTextConfigUnreadable)) + path});
            break;
        case IniDocument::LoadStatus::Ok:
        case IniDocument::LoadStatus::Missing:
            break;
    }
    std::vector<PromptMessage> more = ReadSettings(config, ini);
    messages.insert(messages.end(), more.begin(), more.end());
    return messages;
}

std::vector<PromptMessage> ReadSettings(Configuration& config, const IniDocument& ini) {
    std::vector<PromptMessage> messages;
    Settings& settings = config.settings;
    ReadModelList(ini, settings, config.controls);
    // The language comes before the rest: row texts and messages below use it.
    settings.english = ini.ReadBool(kConfig, "Language", false);
    settings.langBase = settings.english ? kLangEnglish : kLangChinese;
    config.files.Clear();
    config.files.SetLangBase(settings.langBase);
    ReadControls(ini, config.controls);
    ReadSwitchesAndDelays(ini, settings);

    settings.configFileRow = ini.ReadInteger(kConfig, "DOWNCONF", 0);
    if (settings.configFileRow == 1) {
        // The configuration file itself goes to the terminal as its first row.
        const AddRowResult result =
            config.files.AddFileRow(kApplication, config.configPath, kConfigRowDestination);
        config.files.NoteDropped(config.configPath, result);
        std::string message = AddRowMessage(settings.langBase, result, config.configPath);
        if (!message.empty()) {
            messages.push_back({PromptKind::Warning, std::move(message)});
        }
    }
    settings.useLocalAddressFile = ini.ReadInteger(kAddrCtlol, "IsUseLogalAddr", 0);
    settings.userAddrFileName = kUserAddrFileName;

    ReadFileList(ini, config.files, config.baseDir, settings.debugMode, messages);
    ApplyFileListCheck(config);
    return messages;
}

SaveStatus SaveSettings(Configuration& config) {
    if (config.configPath.empty()) {
        config.configPath = JoinPath(config.baseDir, kDefaultConfigName);
    }
    const std::filesystem::path path = PathFromUtf8(NativePath(config.configPath));
    std::error_code error;
    if (!std::filesystem::is_regular_file(path, error)) {
        return SaveStatus::NoFile;
    }
    if (IsReadOnlyFile(path)) {
        return SaveStatus::ReadOnly;
    }
    IniDocument ini;
    if (ini.Load(path) != IniDocument::LoadStatus::Ok) {
        return SaveStatus::Failed;
    }
    if (!ini.Rewritable()) {
        return SaveStatus::NotText;
    }
    WriteSettings(ini, config);
    return ini.Save(path) ? SaveStatus::Saved : SaveStatus::Failed;
}

void WriteSettings(IniDocument& ini, const Configuration& config) {
    const Settings& settings = config.settings;
    const ControlsModel& controls = config.controls;
    for (std::size_t i = 0; i < settings.modeCodes.size() && i < controls.modelItems.size(); ++i) {
        ini.WriteString(kModeList, settings.modeCodes[i], controls.modelItems[i]);
    }
    ini.WriteInteger(kConfig, "MachMode", controls.modelIndex);
    ini.WriteString(kConfig, "HardVersion", controls.hardVersion);
    ini.WriteInteger(kConfig, "Port", controls.portIndex);
    ini.WriteInteger(kConfig, "PortNum", controls.portNumIndex);
    ini.WriteInteger(kConfig, "BuardRate", controls.baudRateIndex);
    ini.WriteInteger(kConfig, "DataBit", controls.dataBitIndex);
    ini.WriteInteger(kConfig, "StopBit", controls.stopBitIndex);
    ini.WriteInteger(kConfig, "ParityBit", controls.parityIndex);
    ini.WriteInteger(kConfig, "FlowCtrl", controls.flowCtrlIndex);
    ini.WriteInteger(kConfig, "USBDelay", settings.pieceDelayMs);
    ini.WriteInteger(kConfig, "S4KDelay", settings.frameDelayMs);
    ini.WriteInteger(kConfig, "FILE_INTERVAL", settings.fileIntervalPer8000BytesMs);
    ini.WriteInteger(kConfig, "FILE_INTERVAL_", settings.fileIntervalFixedMs);
    ini.WriteInteger(kConfig, "CMDDelay", settings.commandDelayMs);
    ini.WriteBool(kConfig, "EmptyFlash", settings.emptyFlash);
    ini.WriteBool(kConfig, "DegugMode", settings.debugMode);
    ini.WriteBool(kConfig, "TraceLog", settings.traceLog);
    ini.WriteBool(kConfig, "DownTimer", settings.sendTimerFile);
    ini.WriteString(kConfig, "DownloadAddress", settings.downloadAddress);
    ini.WriteInteger(kConfig, "DOWNCONF", settings.configFileRow);
    WriteFileList(ini, config.files);
}

}  // namespace termload
