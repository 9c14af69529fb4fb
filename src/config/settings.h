// The settings and the configuration file that holds them: loading a configuration replaces
// the settings, the model list and the file list at once; they are written back on close.
#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

#include "config/controls_model.h"
#include "config/file_list.h"
#include "config/prompt_message.h"
#include "config/string_table.h"

namespace termload {

inline constexpr std::string_view kDefaultConfigName = "Config.ini";
inline constexpr std::string_view kDefaultDownloadAddress = "0x30200000";
// A delay above this many milliseconds is used as this value; the setting keeps what the file
// holds, so a save writes back the operator's own number.
inline constexpr int kMaxDelayMs = 60000;

struct Settings {
    bool TraceLog = false;
    bool Language = false;  // false Chinese, true English
    int LangBase = kLangChinese;
    bool DegugMode = false;
    bool EmptyFlash = true;
    bool KernelMode = false;             // the selected model's name contains "KERNEL"
    bool NewMachine = true;              // destination names up to 50 characters, else 14
    std::vector<std::string> ModeCodes;  // two-digit key of each model, parallel to cmbMode
    int CMDDelay = 1000;
    int FILE_INTERVAL_ = 80;
    int USBDelay = 10;
    int FILE_INTERVAL = 80;
    int S4KDelay = 1;
    std::string RootDir;
    std::string DownloadAddress{kDefaultDownloadAddress};
    std::uint32_t DownloadAddressValue = 0x30200000;
    bool DownTimer = false;
    int DOWNCONF = 0;
    int IsUseLogalAddr = 0;
    std::string UserAddrFileName;  // "UserAddrFile.ini", in the application directory; set on read

    bool operator==(const Settings&) const = default;
};

// Everything a configuration holds, and where it came from.
struct Configuration {
    std::string ConfigPath;  // the configuration file in use
    std::string BaseDir;     // where the files of the file list are looked up
    Settings settings;
    ControlsModel controls;
    FileList files;
};

enum class LoadStatus {
    Loaded,          // the file existed and was read
    CreatedDefault,  // no file at the path: an empty default file was created, nothing read
    CreateFailed,    // ... and could not be created: the host shows the message and ends
};

struct LoadResult {
    LoadStatus status = LoadStatus::Loaded;
    std::vector<PromptMessage> messages;  // to show in this order
};

// Makes `path` the configuration in use and reads it; when no file exists there, creates an
// empty "Config.ini" in `appDir` instead and leaves the settings as they are, but for the
// language, which becomes Chinese as for any file without "Language".
LoadResult LoadConfiguration(Configuration& config, std::string_view path,
                             const std::filesystem::path& appDir);

// A configuration the operator picked: its directory becomes BaseDir, then LoadConfiguration.
LoadResult LoadChosenConfiguration(Configuration& config, std::string_view path,
                                   const std::filesystem::path& appDir);

class IniDocument;

// Reads every section of the file at ConfigPath into the settings, controls and file list.
// A missing, unreadable or oversized file gives the defaults.
std::vector<PromptMessage> ReadSettings(Configuration& config);
// The same from a document already in memory.
std::vector<PromptMessage> ReadSettings(Configuration& config, const IniDocument& ini);
// Puts the settings that are written back into a document (all of SaveSettings but the file).
void WriteSettings(IniDocument& ini, const Configuration& config);

enum class SaveStatus {
    Saved,
    NoFile,    // the file does not exist: nothing written
    ReadOnly,  // the file is read-only: nothing written
    NotText,   // the file holds bytes that would not survive a rewrite: nothing written
    Failed,    // writing failed; the file is unchanged
};

// Writes the settings back to ConfigPath (BaseDir/Config.ini when empty), keeping comments,
// key order, unknown keys, encoding and line ends of the file. "Language", "NewMachine",
// "RootDir" and "IsUseLogalAddr" are never written.
SaveStatus SaveSettings(Configuration& config);

// Hexadecimal digits read from the last character back to an "x" or "X"; other characters are
// skipped. Modulo 2^32.
std::uint32_t ParseHexAddress(std::string_view text);

// A model name containing "KERNEL" in any letter case selects kernel mode.
bool IsKernelModel(std::string_view modelText);

// The model selection changed: sets KernelMode; kernel mode forces single-port mode.
void ModelChanged(Configuration& config);

// The mode code of the selected model; empty without a selection.
std::string SelectedModeCode(const Configuration& config);

}  // namespace termload
