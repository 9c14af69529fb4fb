// The per-user store (an INI file, UserStorePath()): the last configuration file and directory,
// and the table that maps COM numbers to serial devices.
#pragma once

#include <filesystem>
#include <map>
#include <string>
#include <string_view>

#include "config/paths.h"

namespace termload {

inline constexpr int kHighestComNumber = 255;

// n for the decimal digits of a COM number from 1 to 255 ("7" → 7); 0 for anything else.
int ComNumberFromDigits(std::string_view digits);

// Section "Ports" of an INI file: keys "COM<n>" (n from 1 to 255, any letter case) with a device
// path as value. Keys of another form and empty values are left out; a missing or unreadable
// file gives an empty map.
std::map<int, std::string> ReadPortsSection(const std::filesystem::path& ini);

// The values "LastConfig" (the configuration file in use) and "LastPath" (the directory its
// files are looked up in), section "Termload".
struct LastConfiguration {
    std::string configPath;
    std::string baseDir;
};

// Missing file or values read as empty.
LastConfiguration ReadLastConfiguration(const std::filesystem::path& store = UserStorePath());

// Creates the store and its directory when needed and keeps everything else in it.
// False when it cannot be written.
bool WriteLastConfiguration(const LastConfiguration& last,
                            const std::filesystem::path& store = UserStorePath());

}  // namespace termload
