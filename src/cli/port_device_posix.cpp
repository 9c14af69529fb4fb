#include <filesystem>
#include <system_error>

#include "cli/port_device.h"
#include "config/paths.h"

namespace termload::cli {

bool PortDeviceExists(const std::string& device) {
    std::error_code ec;
    return std::filesystem::exists(PathFromUtf8(device), ec);
}

}  // namespace termload::cli
