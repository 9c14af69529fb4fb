// Some terminals present their boot console as a USB device that emulates a serial port. This
// finds the COM number the port table gives that device.
#pragma once

#include <optional>
#include <vector>

#include "channels/port_map.h"

namespace termload {

inline constexpr int kUsbEmulatorVendorId = 0x0525;
inline constexpr int kUsbEmulatorProductId = 0xA4A7;

// The COM number of the first port among `comPorts` whose device is a port of `detected` with the
// emulator's USB ids. Devices are compared as files, so a link (e.g. under /dev/serial/by-path)
// matches the node it names.
std::optional<int> UsbEmulatorComNumber(const std::vector<DetectedSerialPort>& detected,
                                        const std::vector<ComPortEntry>& comPorts);

// The same for this system's serial ports and the port table in force.
std::optional<int> FindUsbEmulatorComNumber();

}  // namespace termload
