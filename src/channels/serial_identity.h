// What tells one serial device from another that later takes its place under the same name (a
// pty number handed out again, a USB serial node re-created behind the same link, a replugged
// adapter that Windows gives the same COM number). Private to the channel library.
#pragma once

#include <string>

namespace termload {

// The identity of the device at `devicePath` now; empty when there is none or the system tells
// nothing that would set a replacement apart. Two identities are compared only for equality.
std::string SerialDeviceIdentityOf(const std::string& devicePath);

}  // namespace termload
