// The default port table of Windows: the system names its serial ports COM1, COM2, … itself, so
// COMn is the device \\.\COMn whether or not enumeration lists it (a port of a driver that
// registers no device interface still opens by its name).
#include <string>
#include <string_view>

#include "channels/port_map.h"
#include "config/user_store.h"

namespace termload {
namespace {

constexpr std::string_view kDevicePrefix = "\\\\.\\COM";

std::string DeviceOf(int comNumber) {
    return std::string(kDevicePrefix) + std::to_string(comNumber);
}

// n for "\\.\COMn" with 1 <= n <= 255; 0 for anything else.
int ComNumberOf(std::string_view device) {
    if (device.substr(0, kDevicePrefix.size()) != kDevicePrefix) {
        return 0;
    }
    return ComNumberFromDigits(device.substr(kDevicePrefix.size()));
}

}  // namespace

PortTable DefaultPortTable(const std::vector<int>& ports) {
    PortTable taken;
    for (const int port : ports) {
        if (port > 0 && port <= kHighestComNumber) {
            taken.emplace(port, DeviceOf(port));
        }
    }
    return taken;
}

std::vector<ComPortEntry> DefaultComPorts(const std::vector<DetectedSerialPort>& detected) {
    std::vector<ComPortEntry> entries;
    for (const DetectedSerialPort& port : detected) {
        if (const int number = ComNumberOf(port.device); number != 0) {
            entries.push_back({number, port.device, PortSource::kDefaultOrder, port});
        }
    }
    return entries;
}

}  // namespace termload
