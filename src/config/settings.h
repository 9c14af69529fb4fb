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
    bool traceLog = false;  // channels write their trace log
    bool english = false;   // the texts' language: false Chinese, true English
    int langBase = kLangChinese;
    bool debugMode = false;  // unlocks the model, version, line and file-list controls
    // The boot loader erases the user area first; the kernel image goes after RAM and NAND tests.
    bool emptyFlash = true;
    bool kernelMode = false;              // the selected model's name contains "KERNEL"
    bool newMachine = true;               // destination names up to 50 characters, else 14
    std::vector<std::string> modeCodes;   // two-digit key of each model, parallel to cmbMode
    int commandDelayMs = 1000;            // between boot-console commands
    int fileIntervalFixedMs = 80;         // after every file
    int pieceDelayMs = 10;                // after every piece of a frame
    int fileIntervalPer8000BytesMs = 80;  // after a file, for every 8000 bytes of it
    int frameDelayMs = 1;                 // after every frame
    std::string rootDir;                  // in front of every destination name
    std::string downloadAddress{kDefaultDownloadAddress};
    std::uint32_t downloadAddressValue = 0x30200000;
    bool sendTimerFile = false;  // the PC's time goes as "timer.txt" after the last row
    // 1: the configuration file goes to the terminal as its first row; any other value but 0
    // keeps the first row checked.
    int configFileRow = 0;
    int useLocalAddressFile = 0;   // 1: an M868 run reads the user address file first
    std::string userAddrFileName;  // "UserAddrFile.ini", in the application directory; set on read

    bool operator==(const Settings&) const = default;
};

// Everything a configuration holds, and where it came from.
struct Configuration {
    std::string configPath;  // the configuration file in use
    std::string baseDir;     // where the files of the file list are looked up
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

// A configuration the operator picked: its directory becomes baseDir, then LoadConfiguration.
LoadResult LoadChosenConfiguration(Configuration& config, std::string_view path,
                                   const std::filesystem::path& appDir);

class IniDocument;

// Reads every section of the file at configPath into the settings, controls and file list.
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

// Writes the settings back to configPath (baseDir/Config.ini when empty), keeping comments,
// key order, unknown keys, encoding and line ends of the file. "Language", "NewMachine",
// "RootDir" and "IsUseLogalAddr" are never written.
SaveStatus SaveSettings(Configuration& config);

// Hexadecimal digits read from the last character back to an "x" or "X"; other characters are
// skipped. Modulo 2^32.
std::uint32_t ParseHexAddress(std::string_view text);

// A model name containing "KERNEL" in any letter case selects kernel mode.
bool IsKernelModel(std::string_view modelText);

// The model selection changed: sets kernelMode; kernel mode forces single-port mode.
void ModelChanged(Configuration& config);

// The mode code of the selected model; empty without a selection.
std::string SelectedModeCode(const Configuration& config);

}  // namespace termload
