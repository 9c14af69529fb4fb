#include "channels/usb_serial_emulator.h"

#include <filesystem>
#include <string>
#include <system_error>

namespace termload {
namespace {

bool IsUsbEmulator(const DetectedSerialPort& port) {
    return port.usbVendorId == kUsbEmulatorVendorId && port.usbProductId == kUsbEmulatorProductId;
}

bool SameDevice(const std::string& a, const std::string& b) {
    if (a == b) {
        return true;
    }
    std::error_code error;
    return std::filesystem::equivalent(a, b, error) && !error;
}

bool NamesPort(const std::string& device, const DetectedSerialPort& port) {
    return SameDevice(device, port.device) ||
           (!port.stablePath.empty() && SameDevice(device, port.stablePath));
}

}  // namespace

std::optional<int> UsbEmulatorComNumber(const std::vector<DetectedSerialPort>& detected,
                                        const std::vector<ComPortEntry>& comPorts) {
    for (const ComPortEntry& entry : comPorts) {
        for (const DetectedSerialPort& port : detected) {
            if (IsUsbEmulator(port) && NamesPort(entry.device, port)) {
                return entry.comNumber;
            }
        }
    }
    return std::nullopt;
}

}  // namespace termload
