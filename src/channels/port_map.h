#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <vector>

namespace termload {

// COM numbers map to serial devices. COMn resolves through, in this order:
//  1. the port-map file, when one is set (an INI file, section "Ports", keys COM1…COMn with a
//     device path each); when set it is the whole table, so a COM number it lacks has no device;
//  2. the "Ports" section of the per-user store;
//  3. the default order of the ports this system has: first those under /dev/serial/by-path, by
//     link name (a COM number stays with a physical USB socket across reboots and replugs), then
//     other USB serial ports, then the rest (/dev/ttyS*), each group in natural order of names.
//     The system console is never part of it.

// Where a COM number's device comes from.
enum class PortSource { kPortMapFile, kUserStore, kDefaultOrder };

// A serial port as enumeration finds it.
struct DetectedSerialPort {
    std::string device;      // the device node, e.g. /dev/ttyUSB0
    std::string stablePath;  // its link under /dev/serial/by-path, when it has one
    bool usb = false;
    int usbVendorId = -1;  // -1 when unknown
    int usbProductId = -1;
    std::string description;
};

// One line of the port listing.
struct ComPortEntry {
    int comNumber = 0;
    std::string device;
    PortSource source = PortSource::kDefaultOrder;
    // What enumeration knows about the device, when it is a port the system lists.
    std::optional<DetectedSerialPort> detected;
};

// Sets the port-map file for the whole process; an empty path removes it.
void SetPortMapFile(std::filesystem::path path);
std::filesystem::path PortMapFile();

// The device path of COM`portNumber`, or nothing when no table and no port gives one.
std::optional<std::string> ResolveComPort(int portNumber);

// Every COM number that resolves, in order, with its device and where the mapping came from.
std::vector<ComPortEntry> ListComPorts();

// The default order of `ports` (see above), without the devices in `consoleDevices`. Entry i is
// COM(i + 1); a port with a by-path link is addressed by that link.
std::vector<DetectedSerialPort> DefaultPortOrder(std::vector<DetectedSerialPort> ports,
                                                 const std::vector<std::string>& consoleDevices);

// Provided by the platform's enumeration backend: the serial ports this system has, and the
// devices of its console.
std::vector<DetectedSerialPort> DetectSerialPorts();
std::vector<std::string> ConsoleDevices();

}  // namespace termload
