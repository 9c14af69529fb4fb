// Whether a port's device is a serial line the download may write to, asked before any port is
// opened: a file, a directory, a FIFO, /dev/null or a pseudo-terminal's master would take the
// frames and lose them, and the program's own terminal would get them on the operator's screen.
#pragma once

#include <string>

namespace termload {

enum class SerialDeviceKind {
    Serial,                // a terminal device: a UART, a USB serial adapter, a pty's slave
    Missing,               // nothing at the path (the port fails to open later, as a pulled one)
    Unknown,               // a device that cannot be opened now (held elsewhere, no access)
    NotTerminal,           // a file, a directory, a FIFO, a socket, or a device that is no tty
    PseudoTerminalMaster,  // /dev/ptmx or another pty's master side
    OwnTerminal,           // /dev/tty or the terminal this program runs in
};

// Asks what the device at the path is without opening it (Linux: the device number, the
// kernel's class of the device, the process's controlling terminal). Windows: an open with no
// access rights, which does not take the port; a character device counts as a port.
SerialDeviceKind KindOfSerialDevice(const std::string& utf8Path);

// True for the kinds a download must refuse before it starts.
inline bool IsRefusedSerialDevice(SerialDeviceKind kind) {
    return kind == SerialDeviceKind::NotTerminal ||
           kind == SerialDeviceKind::PseudoTerminalMaster || kind == SerialDeviceKind::OwnTerminal;
}

}  // namespace termload
