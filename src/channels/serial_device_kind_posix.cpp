#include <fcntl.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>

#include "channels/serial_device_kind.h"
#include "config/paths.h"

namespace termload {

namespace {

// /dev/tty: whichever terminal the caller runs in, so never a port of its own.
bool IsControllingTerminalAlias(const struct stat& device) {
    struct stat alias {};
    return ::stat("/dev/tty", &alias) == 0 && S_ISCHR(alias.st_mode) &&
           alias.st_rdev == device.st_rdev;
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
    if (IsControllingTerminalAlias(device)) {
        return SerialDeviceKind::OwnTerminal;
    }
    // O_NOCTTY: asking must not make the device our terminal; O_NONBLOCK: nor wait for DCD.
    const int fd = ::open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        return SerialDeviceKind::Unknown;
    }
    SerialDeviceKind kind = SerialDeviceKind::Serial;
    if (::isatty(fd) == 0) {
        kind = SerialDeviceKind::NotTerminal;
    } else {
#ifdef TIOCGPTN
        // Only a master has a pty number to tell; opening /dev/ptmx made a new one.
        unsigned int ptyNumber = 0;
        if (::ioctl(fd, TIOCGPTN, &ptyNumber) == 0) {
            kind = SerialDeviceKind::PseudoTerminalMaster;
        }
#endif
        // A terminal is the controlling terminal of at most one session: ours, or not.
        const pid_t session = ::tcgetsid(fd);
        if (kind == SerialDeviceKind::Serial && session != -1 && session == ::getsid(0)) {
            kind = SerialDeviceKind::OwnTerminal;
        }
    }
    ::close(fd);
    return kind;
}

}  // namespace termload
