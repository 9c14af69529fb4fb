// The emulator's COM number on POSIX systems: the port of the port table whose device
// enumeration shows with the emulator's USB ids.
#include "channels/usb_serial_emulator.h"

namespace termload {

std::optional<int> FindUsbEmulatorComNumber() {
    return UsbEmulatorComNumber(DetectSerialPorts(), ListComPorts());
}

}  // namespace termload
