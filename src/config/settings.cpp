#include "config/settings.h"

#include <algorithm>
#include <cctype>
#include <fstream>
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
constexpr std::string_view kCreateFailedText = "Create Config file failed! ";

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
    settings.ModeCodes.clear();
    for (int code = 0; code < kModeKeyCount; ++code) {
        const std::string key = ModeKey(code);
        std::string model = ini.ReadString(kModeList, key, "");
        if (!model.empty()) {
            controls.modelItems.push_back(std::move(model));
            settings.ModeCodes.push_back(key);
        }
    }
    if (settings.ModeCodes.empty()) {
        settings.ModeCodes.emplace_back(kFallbackModeCode);
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
    settings.NewMachine = ini.ReadBool(kConfig, "NewMachine", true);
    settings.DownTimer = ini.ReadBool(kConfig, "DownTimer", false);
    settings.USBDelay = ReadDelay(ini, "USBDelay", 10, true);
    settings.FILE_INTERVAL = ReadDelay(ini, "FILE_INTERVAL", 80, true);
    settings.FILE_INTERVAL_ = ReadDelay(ini, "FILE_INTERVAL_", 80, true);
    settings.S4KDelay = ReadDelay(ini, "S4KDelay", 1, false);
    settings.CMDDelay = ReadDelay(ini, "CMDDelay", 1000, false);
    settings.EmptyFlash = ini.ReadBool(kConfig, "EmptyFlash", true);
    settings.DegugMode = ini.ReadBool(kConfig, "DegugMode", false);
    settings.TraceLog = ini.ReadBool(kConfig, "TraceLog", false);
    settings.RootDir = ini.ReadString(kConfig, "RootDir", "");
    settings.DownloadAddress = ini.ReadString(kConfig, "DownloadAddress", "");
    if (settings.DownloadAddress.empty()) {
        settings.DownloadAddress = kDefaultDownloadAddress;
    }
    settings.DownloadAddressValue = ParseHexAddress(settings.DownloadAddress);
}

void ApplyFileListCheck(Configuration& config) {
    const FileListCheck check =
        ckFilesClickCheck(config.files, config.settings.DOWNCONF, config.controls.modelIndex >= 0);
    if (check.checkFirstRow) {
        config.files.SetChecked(0, true);
    }
}

bool CreateEmptyFile(const std::filesystem::path& path) {
    std::error_code error;
    std::filesystem::create_directories(path.parent_path(), error);
    std::ofstream file(path, std::ios::binary | std::ios::trunc);
    return file.good();
}

}  // namespace

std::vector<PromptMessage> ReadSettings(Configuration& config) {
    std::vector<PromptMessage> messages;
    IniDocument ini;
    const std::string path = NativePath(config.ConfigPath);
    const int langBase = config.settings.LangBase;
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
    settings.Language = ini.ReadBool(kConfig, "Language", false);
    settings.LangBase = settings.Language ? kLangEnglish : kLangChinese;
    config.files.Clear();
    config.files.SetLangBase(settings.LangBase);
    ReadControls(ini, config.controls);
    ReadSwitchesAndDelays(ini, settings);

    settings.DOWNCONF = ini.ReadInteger(kConfig, "DOWNCONF", 0);
    if (settings.DOWNCONF == 1) {
        // The configuration file itself goes to the terminal as its first row.
        const AddRowResult result =
            config.files.AddFileRow(kApplication, config.ConfigPath, kConfigRowDestination);
        config.files.NoteDropped(config.ConfigPath, result);
        std::string message = AddRowMessage(settings.LangBase, result, config.ConfigPath);
        if (!message.empty()) {
            messages.push_back({PromptKind::Warning, std::move(message)});
        }
    }
    settings.IsUseLogalAddr = ini.ReadInteger(kAddrCtlol, "IsUseLogalAddr", 0);
    settings.UserAddrFileName = kUserAddrFileName;

    ReadFileList(ini, config.files, config.BaseDir, settings.DegugMode, messages);
    ApplyFileListCheck(config);
    return messages;
}

LoadResult LoadConfiguration(Configuration& config, std::string_view path,
                             const std::filesystem::path& appDir) {
    std::error_code error;
    const std::string native = NativePath(path);
    if (!native.empty() && std::filesystem::is_regular_file(PathFromUtf8(native), error)) {
        config.ConfigPath = native;
        if (config.BaseDir.empty()) {
            config.BaseDir = DirectoryPart(native);
        }
        LoadResult result{LoadStatus::Loaded, ReadSettings(config)};
        ModelChanged(config);
        return result;
    }

    const std::string appDirText = PathToUtf8(appDir);
    const std::string defaultPath = JoinPath(appDirText, kDefaultConfigName);
    // A default configuration that is already there is loaded, never emptied.
    if (std::filesystem::is_regular_file(PathFromUtf8(defaultPath), error)) {
        config.BaseDir = appDirText;
        return LoadConfiguration(config, defaultPath, appDir);
    }
    config.BaseDir = appDirText;
    config.ConfigPath = defaultPath;
    if (!CreateEmptyFile(PathFromUtf8(defaultPath))) {
        return {LoadStatus::CreateFailed, {{PromptKind::Error, std::string(kCreateFailedText)}}};
    }
    // The empty file holds no "Language": it reads in Chinese, as any file without the key does,
    // so that a first start does not mix the design's English captions with Chinese texts.
    config.settings.Language = false;
    config.settings.LangBase = kLangChinese;
    config.files.SetLangBase(kLangChinese);
    return {LoadStatus::CreatedDefault, {}};
}

LoadResult LoadChosenConfiguration(Configuration& config, std::string_view path,
                                   const std::filesystem::path& appDir) {
    std::error_code error;
    const std::filesystem::path given = PathFromUtf8(NativePath(path));
    std::filesystem::path chosen = std::filesystem::absolute(given, error);
    if (error) {
        chosen = given;
    }
    config.BaseDir = PathToUtf8(chosen.parent_path());
    return LoadConfiguration(config, PathToUtf8(chosen), appDir);
}

SaveStatus SaveSettings(Configuration& config) {
    if (config.ConfigPath.empty()) {
        config.ConfigPath = JoinPath(config.BaseDir, kDefaultConfigName);
    }
    const std::filesystem::path path = PathFromUtf8(NativePath(config.ConfigPath));
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
    for (std::size_t i = 0; i < settings.ModeCodes.size() && i < controls.modelItems.size(); ++i) {
        ini.WriteString(kModeList, settings.ModeCodes[i], controls.modelItems[i]);
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
    ini.WriteInteger(kConfig, "USBDelay", settings.USBDelay);
    ini.WriteInteger(kConfig, "S4KDelay", settings.S4KDelay);
    ini.WriteInteger(kConfig, "FILE_INTERVAL", settings.FILE_INTERVAL);
    ini.WriteInteger(kConfig, "FILE_INTERVAL_", settings.FILE_INTERVAL_);
    ini.WriteInteger(kConfig, "CMDDelay", settings.CMDDelay);
    ini.WriteBool(kConfig, "EmptyFlash", settings.EmptyFlash);
    ini.WriteBool(kConfig, "DegugMode", settings.DegugMode);
    ini.WriteBool(kConfig, "TraceLog", settings.TraceLog);
    ini.WriteBool(kConfig, "DownTimer", settings.DownTimer);
    ini.WriteString(kConfig, "DownloadAddress", settings.DownloadAddress);
    ini.WriteInteger(kConfig, "DOWNCONF", settings.DOWNCONF);
    WriteFileList(ini, config.files);
}

std::uint32_t ParseHexAddress(std::string_view text) {
    std::uint32_t sum = 0;
    std::uint32_t weight = 1;
    for (auto it = text.rbegin(); it != text.rend(); ++it) {
        const char c = *it;
        if (c == 'x' || c == 'X') {
            break;
        }
        std::uint32_t digit = 0;
        if (c >= '0' && c <= '9') {
            digit = static_cast<std::uint32_t>(c - '0');
        } else if (c >= 'A' && c <= 'F') {
            digit = static_cast<std::uint32_t>(c - 'A' + 10);
        } else if (c >= 'a' && c <= 'f') {
            digit = static_cast<std::uint32_t>(c - 'a' + 10);
        } else {
            continue;
        }
        sum += digit * weight;
        weight *= 16;
    }
    return sum;
}

bool IsKernelModel(std::string_view modelText) {
    std::string upper(modelText);
    for (char& c : upper) {
        c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    }
    return upper.find("KERNEL") != std::string::npos;
}

void ModelChanged(Configuration& config) {
    config.settings.KernelMode = IsKernelModel(ModelText(config.controls));
    if (config.settings.KernelMode) {
        config.controls.portMode = PortMode::Single;
    }
}

std::string SelectedModeCode(const Configuration& config) {
    const int index = config.controls.modelIndex;
    if (index < 0 || static_cast<std::size_t>(index) >= config.settings.ModeCodes.size()) {
        return {};
    }
    return config.settings.ModeCodes[static_cast<std::size_t>(index)];
}

}  // namespace termload
