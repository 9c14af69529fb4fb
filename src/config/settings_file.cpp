#include "config/settings_file.h"

#include <system_error>

#include "config/file_system.h"
#include "config/ini_document.h"
#include "config/paths.h"
#include "config/settings_keys.h"
#include "config/text_encoding.h"
#include "config/user_addr_file.h"

namespace termload {

namespace {

constexpr std::string_view kModeList = "ModeList";

constexpr int kModeKeyCount = 256;
constexpr std::string_view kFallbackModeCode = "05";
constexpr std::string_view kFallbackModel = "M740-32";
constexpr std::string_view kConfigRowDestination = "app.ini";

std::string ModeKey(int code) {
    constexpr char kHexDigits[] = "0123456789ABCDEF";
    return {kHexDigits[(code >> 4) & 0xF], kHexDigits[code & 0xF]};
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

void ApplyFileListCheck(Configuration& config) {
    const FileListCheck check = CheckFileListForStart(config.files, config.settings.configFileRow,
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
    ReadModelList(ini, settings, config.controls);  // first: the model index is checked against it
    ReadSettingKeys(ini, config);
    settings.langBase = settings.english ? kLangEnglish : kLangChinese;
    settings.downloadAddressValue = ParseHexAddress(settings.downloadAddress);
    settings.userAddrFileName = kUserAddrFileName;

    // Rows are added in the configuration's language: their texts and messages use it.
    config.files.Clear();
    config.files.SetLangBase(settings.langBase);
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
    WriteSettingKeys(ini, config);
    WriteFileList(ini, config.files);
}

}  // namespace termload
