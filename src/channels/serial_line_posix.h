// Line settings of a POSIX serial port, for the port backend.
#pragma once

#include <sys/types.h>

#include <cerrno>
#include <system_error>

#include "channels/serial_port.h"

namespace termload {

inline std::error_code LastSystemError() {
    return {errno, std::system_category()};
}

// Raw binary I/O with the rate, framing and flow control of `settings`, both queues cleared, DTR
// and RTS raised unless flow control is left to the driver. Settings the driver does not take
// fail; a pty, which has no line, is not held to its framing. `call` names what failed.
std::error_code ConfigureSerialLine(int fd, const SerialSettings& settings, bool pseudoTerminal,
                                    const char*& call);

// Whether `device` (a device number) is the slave side of a pseudo-terminal. The device numbers
// are the kernel's own: this one is defined in serial_line_linux.cpp.
bool IsPseudoTerminalSlave(dev_t device);

}  // namespace termload
