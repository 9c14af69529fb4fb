#include "config/settings_keys.h"

#include <cstddef>
#include <string>
#include <string_view>
#include <variant>

#include "config/ini_document.h"
#include "config/text_encoding.h"

namespace termload {

namespace {

constexpr std::string_view kConfig = "Config";
constexpr std::string_view kAddrCtlol = "AddrCtlol";
constexpr std::size_t kHardVersionLength = 2;

// What happens to a value after it was read.
enum class Correction {
    None,
    PositiveOrDefault,  // 0 or less becomes the default
    ComboIndex,         // outside the combo's items becomes -1, no selection
    HardVersion,        // the version field holds two characters
    NonEmptyOrDefault,  // empty text becomes the default
};

using Field = std::variant<bool Settings::*, int Settings::*, std::string Settings::*,
                           int ControlsModel::*, std::string ControlsModel::*>;

struct SettingKey {
    std::string_view section;
    std::string_view key;
    Field field;
    int fallback = 0;                 // for numbers and switches
    std::string_view fallbackText{};  // for texts
    Correction correction = Correction::None;
    std::size_t (*itemCount)(const Configuration&) = nullptr;  // for ComboIndex
    bool written = true;
};

constexpr bool kOnlyRead = false;

SettingKey Switch(std::string_view key, bool Settings::*field, bool fallback, bool written = true) {
    return {
        .section = kConfig, .key = key, .field = field, .fallback = fallback, .written = written};
}
SettingKey Number(std::string_view key, int Settings::*field, int fallback,
                  Correction correction = Correction::None) {
    return {.section = kConfig,
            .key = key,
            .field = field,
            .fallback = fallback,
            .correction = correction};
}
SettingKey Index(std::string_view key, int ControlsModel::*field, int fallback,
                 std::size_t (*itemCount)(const Configuration&)) {
    return {.section = kConfig,
            .key = key,
            .field = field,
            .fallback = fallback,
            .correction = Correction::ComboIndex,
            .itemCount = itemCount};
}

// In the order the keys are written. A combo index is checked against the combo's item count.
// Delays are kept as the file holds them: the cap (kMaxDelayMs) applies where they are used.
const SettingKey kSettingKeys[] = {
    Switch("Language", &Settings::english, false, kOnlyRead),
    Index("MachMode", &ControlsModel::modelIndex, 0,
          [](const Configuration& c) { return c.controls.modelItems.size(); }),
    {.section = kConfig,
     .key = "HardVersion",
     .field = &ControlsModel::hardVersion,
     .fallbackText = "10",
     .correction = Correction::HardVersion},
    Index("Port", &ControlsModel::portIndex, 0,
          [](const Configuration&) -> std::size_t { return kPortCount; }),
    Index("PortNum", &ControlsModel::portNumIndex, 0,
          [](const Configuration&) { return PortNumItems().size(); }),
    Index("BuardRate", &ControlsModel::baudRateIndex, 12,
          [](const Configuration&) { return BaudRateItems().size(); }),
    Index("DataBit", &ControlsModel::dataBitIndex, 0,
          [](const Configuration&) { return DataBitItems().size(); }),
    Index("StopBit", &ControlsModel::stopBitIndex, 0,
          [](const Configuration&) { return StopBitItems().size(); }),
    Index("ParityBit", &ControlsModel::parityIndex, 0,
          [](const Configuration&) { return ParityItems(kLangChinese).size(); }),
    Index("FlowCtrl", &ControlsModel::flowCtrlIndex, 0,
          [](const Configuration&) { return FlowCtrlItems(kLangChinese).size(); }),
    Switch("NewMachine", &Settings::newMachine, true, kOnlyRead),
    Number("USBDelay", &Settings::pieceDelayMs, 10, Correction::PositiveOrDefault),
    Number("S4KDelay", &Settings::frameDelayMs, 1),
    Number("FILE_INTERVAL", &Settings::fileIntervalPer8000BytesMs, 80,
           Correction::PositiveOrDefault),
    Number("FILE_INTERVAL_", &Settings::fileIntervalFixedMs, 80, Correction::PositiveOrDefault),
    Number("CMDDelay", &Settings::commandDelayMs, 1000),
    Switch("EmptyFlash", &Settings::emptyFlash, true),
    Switch("DegugMode", &Settings::debugMode, false),
    Switch("TraceLog", &Settings::traceLog, false),
    Switch("DownTimer", &Settings::sendTimerFile, false),
    {.section = kConfig, .key = "RootDir", .field = &Settings::rootDir, .written = kOnlyRead},
    {.section = kConfig,
     .key = "DownloadAddress",
     .field = &Settings::downloadAddress,
     .fallbackText = kDefaultDownloadAddress,
     .correction = Correction::NonEmptyOrDefault},
    Number("DOWNCONF", &Settings::configFileRow, 0),
    {.section = kAddrCtlol,
     .key = "IsUseLogalAddr",
     .field = &Settings::useLocalAddressFile,
     .written = kOnlyRead},
};

template <class T>
T& FieldOf(Configuration& config, T Settings::*field) {
    return config.settings.*field;
}
template <class T>
T& FieldOf(Configuration& config, T ControlsModel::*field) {
    return config.controls.*field;
}
template <class T>
const T& FieldOf(const Configuration& config, T Settings::*field) {
    return config.settings.*field;
}
template <class T>
const T& FieldOf(const Configuration& config, T ControlsModel::*field) {
    return config.controls.*field;
}

void ReadValue(const IniDocument& ini, const SettingKey& key, const Configuration&, bool& value) {
    value = ini.ReadBool(key.section, key.key, key.fallback != 0);
}

void ReadValue(const IniDocument& ini, const SettingKey& key, const Configuration& config,
               int& value) {
    value = ini.ReadInteger(key.section, key.key, key.fallback);
    if (key.correction == Correction::PositiveOrDefault && value <= 0) {
        value = key.fallback;
    } else if (key.correction == Correction::ComboIndex &&
               (value < 0 || static_cast<std::size_t>(value) >= key.itemCount(config))) {
        value = -1;
    }
}

void ReadValue(const IniDocument& ini, const SettingKey& key, const Configuration&,
               std::string& value) {
    if (key.correction == Correction::NonEmptyOrDefault) {
        value = ini.ReadString(key.section, key.key, "");
        if (value.empty()) {
            value = key.fallbackText;
        }
        return;
    }
    value = ini.ReadString(key.section, key.key, key.fallbackText);
    if (key.correction == Correction::HardVersion) {
        value = std::string(TrimBlanks(CutToDisplayWidth(value, kHardVersionLength)));
    }
}

void WriteValue(IniDocument& ini, const SettingKey& key, bool value) {
    ini.WriteBool(key.section, key.key, value);
}
void WriteValue(IniDocument& ini, const SettingKey& key, int value) {
    ini.WriteInteger(key.section, key.key, value);
}
void WriteValue(IniDocument& ini, const SettingKey& key, const std::string& value) {
    ini.WriteString(key.section, key.key, value);
}

}  // namespace

void ReadSettingKeys(const IniDocument& ini, Configuration& config) {
    for (const SettingKey& key : kSettingKeys) {
        std::visit([&](auto field) { ReadValue(ini, key, config, FieldOf(config, field)); },
                   key.field);
    }
}

void WriteSettingKeys(IniDocument& ini, const Configuration& config) {
    for (const SettingKey& key : kSettingKeys) {
        if (key.written) {
            std::visit([&](auto field) { WriteValue(ini, key, FieldOf(config, field)); },
                       key.field);
        }
    }
}

}  // namespace termload
