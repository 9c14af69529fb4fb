// Windows' names for serial devices, read as text: the port name of a COM port and the USB ids in
// a hardware id or an interface path. On Windows also the default port table built on them.
#include <gtest/gtest.h>

#include "channels/port_map.h"
#include "channels/windows_names.h"

namespace termload {
namespace {

TEST(WindowsNames, PortNamesAndUsbIds) {
    EXPECT_EQ(ComNumberFromPortName("COM1"), 1);
    EXPECT_EQ(ComNumberFromPortName("com255"), 255);
    for (const char* name : {"COM", "COM0", "COM256", "COM01", "COM3 ", "LPT1", "COM-1", "COMx"}) {
        EXPECT_EQ(ComNumberFromPortName(name), std::nullopt) << name;
    }

    const auto usb = UsbIdsFromHardwareId("USB\\VID_0525&PID_A4A7&REV_0100");
    ASSERT_TRUE(usb);
    EXPECT_EQ(usb->vendor, 0x0525);
    EXPECT_EQ(usb->product, 0xA4A7);
    const auto ftdi = UsbIdsFromHardwareId("FTDIBUS\\VID_0403+PID_6001+A5XK3RJT\\0000");
    ASSERT_TRUE(ftdi);
    EXPECT_EQ(ftdi->vendor, 0x0403);
    EXPECT_EQ(ftdi->product, 0x6001);
    const auto path = UsbIdsFromHardwareId("\\\\?\\usb#vid_5345&pid_1234#5&2f1e&0&1#{guid}");
    ASSERT_TRUE(path);
    EXPECT_EQ(path->product, 0x1234);
    // A motherboard port has no USB ids; malformed fields are not read as ids.
    for (const char* id : {"ACPI\\PNP0501", "USB\\VID_0525", "USB\\VID_05&PID_A4A7",
                           "USB\\VID_05255&PID_A4A7", "USB\\XVID_0525&PID_A4A7", ""}) {
        EXPECT_EQ(UsbIdsFromHardwareId(id), std::nullopt) << id;
    }
}

#ifdef _WIN32
TEST(WindowsNames, DefaultTableIsTheSystemsOwnNames) {
    EXPECT_EQ(DefaultPortTable({1, 27, 0, 256, -3}),
              (PortTable{{1, "\\\\.\\COM1"}, {27, "\\\\.\\COM27"}}));
    std::vector<DetectedSerialPort> detected(3);
    detected[0].device = "\\\\.\\COM12";
    detected[1].device = "\\\\.\\COM3";
    detected[2].device = "\\\\.\\LPT1";
    const auto listing = DefaultComPorts(detected);
    ASSERT_EQ(listing.size(), 2u);
    EXPECT_EQ(listing[0].comNumber, 12);
    EXPECT_EQ(listing[1].comNumber, 3);
    EXPECT_EQ(listing[1].device, "\\\\.\\COM3");
}
#endif

}  // namespace
}  // namespace termload
