// Finding the COM number of the USB serial emulator through the port table.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>

#include "channels/port_map.h"
#include "channels/usb_serial_emulator.h"
#include "support/files.h"

namespace termload {
namespace {

using test::ScratchDir;

DetectedSerialPort Port(const std::string& device, int vendor, int product) {
    return {device, "", true, vendor, product, ""};
}

ComPortEntry Com(int number, const std::string& device) {
    return {number, device, PortSource::kPortMapFile, std::nullopt};
}

TEST(UsbSerialEmulator, FindsTheComNumberWhoseDeviceHasTheEmulatorIds) {
    const ScratchDir dir;
    const std::string adapter = dir.Write("ttyUSB0", "").string();
    const std::string emulator = dir.Write("ttyACM0", "").string();
    const std::filesystem::path link = dir.Path() / "by-path-usb-0:1.3";
    std::filesystem::create_symlink(emulator, link);
    const std::vector<DetectedSerialPort> detected = {Port(adapter, 0x0403, 0x6001),
                                                      Port(emulator, 0x0525, 0xA4A7)};

    // The table names the emulator through a link: the link counts as the node it names.
    EXPECT_EQ(UsbEmulatorComNumber(detected, {Com(1, adapter), Com(30, link.string())}), 30);
    EXPECT_EQ(UsbEmulatorComNumber(detected, {Com(4, emulator), Com(7, adapter)}), 4);

    // The emulator is plugged in but no COM number maps to it.
    EXPECT_EQ(UsbEmulatorComNumber(detected, {Com(1, adapter)}), std::nullopt);
    // Only one of the two ids matches.
    const std::vector<DetectedSerialPort> lookalikes = {Port(emulator, 0x0525, 0x0001),
                                                        Port(adapter, 0x1234, 0xA4A7)};
    EXPECT_EQ(UsbEmulatorComNumber(lookalikes, {Com(1, adapter), Com(2, emulator)}), std::nullopt);
    // A table entry whose device does not exist matches nothing.
    EXPECT_EQ(UsbEmulatorComNumber(detected, {Com(9, (dir.Path() / "gone").string())}),
              std::nullopt);
}

TEST(UsbSerialEmulator, UsesThePortMapFileInForce) {
    const ScratchDir dir;
    const std::string emulator = dir.Write("ttyGS0", "").string();
    const std::string other = dir.Write("ttyS9", "").string();
    SetPortMapFile(dir.Write("ports.ini", "[Ports]\nCOM2=" + other + "\nCOM12=" + emulator + "\n"));
    EXPECT_EQ(UsbEmulatorComNumber({Port(emulator, 0x0525, 0xA4A7)}, ListComPorts()), 12);
    SetPortMapFile({});
}

}  // namespace
}  // namespace termload
