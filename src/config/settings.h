// The settings a configuration file holds, and the configuration as a whole: the settings, the
// model list, the window's control values and the file list, loaded and written back together.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "config/controls_model.h"
#include "config/download_address.h"
#include "config/file_list.h"
#include "config/string_table.h"

namespace termload {

inline constexpr std::string_view kDefaultConfigName = "Config.ini";
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

}  // namespace termload
