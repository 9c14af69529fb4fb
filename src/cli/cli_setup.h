// What every command that reaches a port does first: load the configuration as the window does,
// point COM numbers at devices, and check those devices before anything is opened.
#pragma once

#include <filesystem>
#include <optional>
#include <string>

#include "config/settings.h"

namespace termload::cli {

// Loads `path` as the operator's chosen configuration (its directory is where its files are
// looked up). Nothing, with `error` set to a one-line reason, when the file is missing,
// unreadable or reports an error. Rows the loading could not take stay noted in the
// file list, for the start checks to refuse.
std::optional<Configuration> LoadCliConfiguration(const std::filesystem::path& path,
                                                  std::string& error);

// Makes `portsMap` the process's port table when it is not empty.
void UsePortMap(const std::filesystem::path& portsMap);

// Empty when COM`port` resolves to a device that exists; else a one-line reason.
std::string CheckPortDevice(int port);
// The same for the device a run's port table gave COM`port` (nothing: the table has none).
std::string CheckPortDevice(int port, const std::optional<std::string>& device);

// Starts the channel library for the life of the object and shuts it down after.
class ChannelLibrary {
  public:
    ChannelLibrary();
    ~ChannelLibrary();
    ChannelLibrary(const ChannelLibrary&) = delete;
    ChannelLibrary& operator=(const ChannelLibrary&) = delete;
};

}  // namespace termload::cli
