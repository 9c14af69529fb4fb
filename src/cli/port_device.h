// Whether the device a COM number maps to is there, asked the way the system names devices.
#pragma once

#include <string>

namespace termload::cli {

// False only when the system reports no such device: one that another program holds is there.
bool PortDeviceExists(const std::string& device);

}  // namespace termload::cli
