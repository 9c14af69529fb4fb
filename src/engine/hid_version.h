// The version read over USB-HID, for the window's Read Version button.
#pragma once

#include <cstdint>
#include <optional>
#include <vector>

namespace termload {

// Opens the terminal's HID device, sends the version request, reads the reply 300 ms later and
// closes the device. Nothing when the device does not open or does not take the request; else the
// reply as the terminal sent it (empty when nothing came).
std::optional<std::vector<std::uint8_t>> HidVersionExchange(bool traceLog);

}  // namespace termload
