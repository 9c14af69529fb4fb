// The line settings of a POSIX serial port: raw binary mode, rate, framing and flow control.
#include <sys/ioctl.h>
#include <termios.h>

#include <algorithm>
#include <iterator>
#include <utility>

#include "channels/serial_baud_linux.h"
#include "channels/serial_line_posix.h"

namespace termload {
namespace {

constexpr std::pair<int, speed_t> kStandardRates[] = {
    {50, B50},         {75, B75},         {110, B110},       {134, B134},     {150, B150},
    {200, B200},       {300, B300},       {600, B600},       {1200, B1200},   {1800, B1800},
    {2400, B2400},     {4800, B4800},     {9600, B9600},     {19200, B19200}, {38400, B38400},
    {57600, B57600},   {115200, B115200}, {230400, B230400},
#ifdef B460800
    {460800, B460800},
#endif
#ifdef B921600
    {921600, B921600},
#endif
};

const speed_t* StandardRate(int baudRate) {
    const auto found =
        std::find_if(std::begin(kStandardRates), std::end(kStandardRates),
                     [baudRate](const auto& rate) { return rate.first == baudRate; });
    return found == std::end(kStandardRates) ? nullptr : &found->second;
}

std::error_code InvalidSetting(const char*& call, const char* what) {
    call = what;
    return std::make_error_code(std::errc::invalid_argument);
}

// Fills the character size, stop bits and parity of `settings` into `tio`.
std::error_code ApplyFraming(const SerialSettings& settings, termios& tio, const char*& call) {
    static constexpr tcflag_t kSizes[] = {CS5, CS6, CS7, CS8};
    if (settings.byteSize < 5 || settings.byteSize > 8) {
        return InvalidSetting(call, "byte size");
    }
    tio.c_cflag = (tio.c_cflag & ~CSIZE) | kSizes[settings.byteSize - 5];

    switch (settings.stopBitsIndex) {
        case 0:
            tio.c_cflag &= ~CSTOPB;
            break;
        case 1:
            // A UART sends 1.5 stop bits when two are asked with 5-bit characters; other sizes
            // have no 1.5 stop bits on any UART.
            if (settings.byteSize != 5) {
                return InvalidSetting(call, "1.5 stop bits");
            }
            tio.c_cflag |= CSTOPB;
            break;
        case 2:
            tio.c_cflag |= CSTOPB;
            break;
        default:
            return InvalidSetting(call, "stop bits");
    }

    tio.c_cflag &= ~(PARENB | PARODD | CMSPAR);
    switch (settings.parityIndex) {
        case 0:
            break;
        case 1:
            tio.c_cflag |= PARENB | PARODD;
            break;
        case 2:
            tio.c_cflag |= PARENB;
            break;
        case 3:
            tio.c_cflag |= PARENB | CMSPAR | PARODD;
            break;
        case 4:
            tio.c_cflag |= PARENB | CMSPAR;
            break;
        default:
            return InvalidSetting(call, "parity");
    }
    return {};
}

// Raw binary I/O; flow control by index, where an unknown index keeps what the driver had.
void ApplyRawModeAndFlow(int flowControlIndex, termios& tio) {
    const tcflag_t driverSoftwareFlow = tio.c_iflag & (IXON | IXOFF);
    const tcflag_t driverHardwareFlow = tio.c_cflag & CRTSCTS;

    tio.c_iflag &=
        ~(IGNBRK | BRKINT | PARMRK | ISTRIP | INLCR | IGNCR | ICRNL | IXON | IXOFF | IXANY);
    tio.c_oflag &= ~OPOST;
    tio.c_lflag &= ~(ECHO | ECHONL | ICANON | ISIG | IEXTEN);
    tio.c_cflag &= ~CRTSCTS;
    tio.c_cflag |= CREAD | CLOCAL;
    // One byte satisfies a read, so that an empty queue reads as "try again" and a read of 0
    // bytes means the device is gone.
    tio.c_cc[VMIN] = 1;
    tio.c_cc[VTIME] = 0;
    tio.c_cc[VSTART] = 0x11;
    tio.c_cc[VSTOP] = 0x13;

    switch (flowControlIndex) {
        case 0:
            break;
        case 1:
            tio.c_iflag |= IXON | IXOFF;
            break;
        case 2:
            tio.c_cflag |= CRTSCTS;
            break;
        default:
            tio.c_iflag |= driverSoftwareFlow;
            tio.c_cflag |= driverHardwareFlow;
            break;
    }
}

}  // namespace

std::error_code ConfigureSerialLine(int fd, const SerialSettings& settings, bool pseudoTerminal,
                                    const char*& call) {
    termios tio{};
    if (::tcgetattr(fd, &tio) != 0) {
        call = "tcgetattr()";
        return LastSystemError();
    }
    // Stale input goes; output does not: on a pty or a UART the output queue may still hold the
    // last frames a previous handle wrote, and the terminal has not taken them yet.
    ::tcflush(fd, TCIFLUSH);
    if (settings.baudRate <= 0) {
        return InvalidSetting(call, "baud rate");
    }
    if (auto error = ApplyFraming(settings, tio, call)) {
        return error;
    }
    ApplyRawModeAndFlow(settings.flowControlIndex, tio);
    const speed_t* standardRate = StandardRate(settings.baudRate);
    // A rate without a constant goes in below; 38400 stands in until then.
    const speed_t speed = standardRate != nullptr ? *standardRate : B38400;
    cfsetispeed(&tio, speed);
    cfsetospeed(&tio, speed);
    if (::tcsetattr(fd, TCSANOW, &tio) != 0) {
        call = "tcsetattr()";
        return LastSystemError();
    }
    if (standardRate == nullptr) {
        if (auto error = SetArbitraryBaudRate(fd, settings.baudRate)) {
            call = "baud rate";
            return error;
        }
    }
    // tcsetattr succeeds when any part of the settings took; check the parts that matter.
    termios applied{};
    if (::tcgetattr(fd, &applied) != 0) {
        call = "tcgetattr()";
        return LastSystemError();
    }
    // A pty has no line: it keeps every character 8 bits wide without parity whatever it is
    // asked, and its peer sees the bytes all the same.
    constexpr tcflag_t kFraming = CSIZE | CSTOPB | PARENB | PARODD | CMSPAR;
    if (!pseudoTerminal && (applied.c_cflag & kFraming) != (tio.c_cflag & kFraming)) {
        return InvalidSetting(call, "tcsetattr()");
    }
    if (standardRate != nullptr && cfgetospeed(&applied) != speed) {
        return InvalidSetting(call, "baud rate");
    }
    if (settings.flowControlIndex >= 0 && settings.flowControlIndex <= 2) {
        // Ptys have no modem lines; a port without them works all the same.
        int lines = TIOCM_DTR | TIOCM_RTS;
        ::ioctl(fd, TIOCMBIS, &lines);
    }
    return {};
}

}  // namespace termload
