// Names Windows gives serial devices, read as text on any platform: the port name of a COM port
// ("COM3") and the USB ids inside a device's hardware id.
#pragma once

#include <optional>
#include <string_view>

namespace termload {

// n for "COMn" (any letter case, 1 <= n <= 255); nothing for anything else, "LPT1" included.
std::optional<int> ComNumberFromPortName(std::string_view name);

struct HardwareUsbIds {
    int vendor = -1;
    int product = -1;
};

// The VID_xxxx and PID_xxxx fields of a hardware id, as USB ("USB\VID_0525&PID_A4A7&REV_0100")
// and vendor bus drivers ("FTDIBUS\VID_0403+PID_6001+A5XK3RJT\0000") write them, also inside a
// device interface path ("\\?\usb#vid_5345&pid_1234#…"). Nothing when either is missing or not
// four hexadecimal digits.
std::optional<HardwareUsbIds> UsbIdsFromHardwareId(std::string_view hardwareId);

}  // namespace termload
