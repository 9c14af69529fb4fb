// Where the user's last configuration is kept between runs: on Windows the registry values
// "LastConfig" and "LastPath" under HKEY_CURRENT_USER\Software\QTV\M740DL, as every earlier
// version of the program kept them there; elsewhere the per-user INI store (`store`; the
// registry ignores it).
#pragma once

#include <filesystem>

#include "config/paths.h"
#include "config/user_store.h"

namespace termload {

// Missing values read as empty; nothing is created.
LastConfiguration LoadUserLastConfiguration(const std::filesystem::path& store = UserStorePath());

// Creates the key or store when needed. False when it cannot be written.
bool SaveUserLastConfiguration(const LastConfiguration& last,
                               const std::filesystem::path& store = UserStorePath());

}  // namespace termload
