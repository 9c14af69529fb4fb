#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <cerrno>
#include <filesystem>
#include <fstream>
#include <optional>
#include <sstream>
#include <string>

#include "channels/serial_device_kind.h"
#include "config/paths.h"

namespace termload {

namespace {

// Asked without opening the device: an open would raise and drop DTR on a real port, and would
// be an open of a port after an early Ctrl-C.
constexpr unsigned kTtyAuxMajor = 5;  // /dev/tty (0), /dev/console (1), /dev/ptmx (2)
constexpr unsigned kControllingTerminalMinor = 0;
constexpr unsigned kPtyMultiplexerMinor = 2;
constexpr unsigned kFirstPtySlaveMajor = 136;  // Unix98 pty slaves have no sysfs entry
constexpr unsigned kLastPtySlaveMajor = 143;

// The device number of this process's controlling terminal (field 7 of /proc/self/stat);
// nothing without one.
std::optional<dev_t> ControllingTerminal() {
    std::ifstream stat("/proc/self/stat");
    std::string text;
    std::getline(stat, text);
    // The command name in parentheses may hold blanks: the fields start after the last ')'.
    const std::size_t nameEnd = text.rfind(')');
    if (nameEnd == std::string::npos) {
        return std::nullopt;
    }
    std::istringstream fields(text.substr(nameEnd + 1));
    std::string state;
    long long parent = 0;
    long long group = 0;
    long long session = 0;
    unsigned long long ttyNumber = 0;
    if (!(fields >> state >> parent >> group >> session >> ttyNumber) || ttyNumber == 0) {
        return std::nullopt;
    }
    const auto major = static_cast<unsigned>((ttyNumber >> 8) & 0xFFF);
    const auto minor = static_cast<unsigned>((ttyNumber & 0xFF) | ((ttyNumber >> 12) & 0xFFF00));
    return makedev(major, minor);
}

// The kernel's class of a character device ("tty", "mem", …); empty when it has no entry.
std::string DeviceClass(unsigned major, unsigned minor) {
    std::error_code ec;
    const std::filesystem::path subsystem = std::filesystem::read_symlink(
        "/sys/dev/char/" + std::to_string(major) + ":" + std::to_string(minor) + "/subsystem", ec);
    return ec ? std::string() : subsystem.filename().string();
}

}  // namespace

SerialDeviceKind KindOfSerialDevice(const std::string& utf8Path) {
    const std::string path = PathFromUtf8(utf8Path).string();
    struct stat device {};
    if (::stat(path.c_str(), &device) != 0) {
        return errno == ENOENT || errno == ENOTDIR ? SerialDeviceKind::Missing
                                                   : SerialDeviceKind::Unknown;
    }
    if (!S_ISCHR(device.st_mode)) {
        return SerialDeviceKind::NotTerminal;
    }
    const unsigned major = ::major(device.st_rdev);
    const unsigned minor = ::minor(device.st_rdev);
    if (major == kTtyAuxMajor && minor == kControllingTerminalMinor) {
        return SerialDeviceKind::OwnTerminal;
    }
    if (major == kTtyAuxMajor && minor == kPtyMultiplexerMinor) {
        return SerialDeviceKind::PseudoTerminalMaster;
    }
    if (ControllingTerminal() == device.st_rdev) {
        return SerialDeviceKind::OwnTerminal;
    }
    if (major >= kFirstPtySlaveMajor && major <= kLastPtySlaveMajor) {
        return SerialDeviceKind::Serial;
    }
    const std::string kind = DeviceClass(major, minor);
    if (kind.empty()) {
        return SerialDeviceKind::Unknown;  // a driver without a class entry: its open decides
    }
    return kind == "tty" ? SerialDeviceKind::Serial : SerialDeviceKind::NotTerminal;
}

}  // namespace termload
