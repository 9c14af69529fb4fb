// The kernel's termios2 structure clashes with the C library's <termios.h>, so the
// arbitrary-rate call lives in a file of its own.
#include "channels/serial_baud_linux.h"

#include <asm/termbits.h>
#include <sys/ioctl.h>

#include <cerrno>
#include <cstdlib>

namespace termload {

std::error_code SetArbitraryBaudRate(int fd, int baudRate) {
    struct termios2 settings {};
    if (ioctl(fd, TCGETS2, &settings) != 0) {
        return {errno, std::system_category()};
    }
    settings.c_cflag &= ~(CBAUD | (CBAUD << IBSHIFT));
    settings.c_cflag |= BOTHER | (BOTHER << IBSHIFT);
    settings.c_ispeed = static_cast<speed_t>(baudRate);
    settings.c_ospeed = static_cast<speed_t>(baudRate);
    if (ioctl(fd, TCSETS2, &settings) != 0) {
        return {errno, std::system_category()};
    }
    struct termios2 applied {};
    if (ioctl(fd, TCGETS2, &applied) != 0) {
        return {errno, std::system_category()};
    }
    const long difference = std::labs(static_cast<long>(applied.c_ospeed) - baudRate);
    if (difference * 100 > 3L * baudRate) {
        return std::make_error_code(std::errc::invalid_argument);
    }
    return {};
}

}  // namespace termload
