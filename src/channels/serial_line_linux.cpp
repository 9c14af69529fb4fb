// What a serial line's handling takes from the Linux kernel's device numbering.
#include <sys/sysmacros.h>

#include "channels/serial_line_posix.h"

namespace termload {

bool IsPseudoTerminalSlave(dev_t device) {
    // The majors of Unix 98 pty slaves (/dev/pts/N).
    return major(device) >= 136 && major(device) <= 143;
}

}  // namespace termload
