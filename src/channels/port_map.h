#pragma once

#include <filesystem>
#include <map>
#include <optional>
#include <string>
#include <vector>

namespace termload {

// COM numbers map to serial devices through the first of these tables that applies:
//  1. the port-map file, when one is set (an INI file, section "Ports", keys COM1…COMn with a
//     device path each);
//  2. the "Ports" section of the per-user store, when it lists any port;
//  3. the platform's default table. On POSIX systems the default order of the ports this system
//     has: first those under /dev/serial/by-path, by link name (a COM number stays with a
//     physical USB socket across reboots and replugs), then other USB serial ports, then the rest
//     (/dev/ttyS*), each group in natural order of names; the system console is never part of it.
//     On Windows the system names its ports itself: COMn is \\.\COMn.
// An explicit table (1 or 2) is the whole table: a COM number it lacks has no device, never one
// of the default order, which would put that number on whatever port happens to be next.

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

// COM number -> device path, as the port table gave it at one moment.
using PortTable = std::map<int, std::string>;

// The devices of `ports`, read from the port table once: a run keeps this for its whole life,
// so a table edited or a device replugged mid-run never moves a COM number to another device.
// Numbers without a device are left out. Paths stay as the table names them (a by-path link
// keeps naming its socket).
PortTable TakePortTable(const std::vector<int>& ports);

// Every COM number that resolves, in order, with its device and where the mapping came from.
std::vector<ComPortEntry> ListComPorts();

// The default order of `ports` (see above), without the devices in `consoleDevices`. Entry i is
// COM(i + 1); a port with a by-path link is addressed by that link.
std::vector<DetectedSerialPort> DefaultPortOrder(std::vector<DetectedSerialPort> ports,
                                                 const std::vector<std::string>& consoleDevices);

// The path a port is addressed by: its by-path link when it has one, else its device.
const std::string& PortAddress(const DetectedSerialPort& port);

// Provided by the platform's enumeration backend: the serial ports this system has, and the
// devices of its console.
std::vector<DetectedSerialPort> DetectSerialPorts();
std::vector<std::string> ConsoleDevices();

// Provided by the platform's port table backend, for when no explicit table applies: the devices
// of `ports` (numbers without one left out), and the listing of the `detected` ports by COM number.
PortTable DefaultPortTable(const std::vector<int>& ports);
std::vector<ComPortEntry> DefaultComPorts(const std::vector<DetectedSerialPort>& detected);

}  // namespace termload
