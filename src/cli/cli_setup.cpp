#include "cli/cli_setup.h"

#include <cstdio>
#include <fstream>

#include "channels/port_map.h"
#include "channels/serial_channel.h"
#include "cli/port_device.h"
#include "config/configuration_load.h"
#include "config/paths.h"

namespace termload::cli {

std::optional<Configuration> LoadCliConfiguration(const std::filesystem::path& path,
                                                  std::string& error) {
    std::error_code ec;
    if (!std::filesystem::is_regular_file(path, ec)) {
        error = "the configuration " + PathToUtf8(path) + " does not exist or is not a file";
        return std::nullopt;
    }
    if (!std::ifstream(path, std::ios::binary)) {
        error = "the configuration " + PathToUtf8(path) + " cannot be read";
        return std::nullopt;
    }
    Configuration config;
    const LoadResult result = LoadChosenConfiguration(
        config, PathToUtf8(std::filesystem::absolute(path)), ApplicationDir());
    // Warnings of the loading only name rows it could not take: the list keeps them, and the
    // start refuses in one line that names them all.
    for (const PromptMessage& message : result.messages) {
        if (message.kind == PromptKind::Error) {
            error = message.text;
            return std::nullopt;
        }
    }
    if (result.status != LoadStatus::Loaded) {
        error = "the configuration " + PathToUtf8(path) + " cannot be read";
        return std::nullopt;
    }
    return config;
}

void UsePortMap(const std::filesystem::path& portsMap) {
    if (!portsMap.empty()) {
        SetPortMapFile(std::filesystem::absolute(portsMap));
    }
}

std::string CheckPortDevice(int port) {
    return CheckPortDevice(port, ResolveComPort(port));
}

std::string CheckPortDevice(int port, const std::optional<std::string>& device) {
    const std::string com = "COM" + std::to_string(port);
    if (!device) {
        const std::filesystem::path map = PortMapFile();
        return map.empty() ? com + " has no device on this system"
                           : com + " is not in the port map " + PathToUtf8(map);
    }
    if (!PortDeviceExists(*device)) {
        return com + " maps to " + *device + ", which does not exist";
    }
    return {};
}

ChannelLibrary::ChannelLibrary() {
    ChannelLibInit();
}
ChannelLibrary::~ChannelLibrary() {
    ChannelLibShutdown();
}

}  // namespace termload::cli
