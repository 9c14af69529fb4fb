// How COM numbers find their devices: the default order of the system's ports, and the
// precedence of the port-map file over the per-user store.
#include <cstdlib>
#include <filesystem>
#include <optional>

#include <gtest/gtest.h>

#include "channels/port_map.h"
#include "support/files.h"

namespace termload {
namespace {

std::vector<std::string> Addresses(const std::vector<DetectedSerialPort>& ports) {
    std::vector<std::string> addresses;
    for (const auto& port : ports) {
        addresses.push_back(port.stablePath.empty() ? port.device : port.stablePath);
    }
    return addresses;
}

TEST(PortMapDefaultOrder, SocketsFirstThenUsbThenTheRestWithoutTheConsole) {
    const std::string byPath = "/dev/serial/by-path/pci-0000:00:14.0-usb-0:1.";
    std::vector<DetectedSerialPort> ports = {
        {"/dev/ttyS10", "", false, -1, -1, ""},
        {"/dev/ttyS0", "", false, -1, -1, ""},
        {"/dev/ttyUSB3", byPath + "10:1.0-port0", true, 0x0403, 0x6001, ""},
        {"/dev/ttyACM0", "", true, 0x0525, 0xA4A7, ""},
        {"/dev/ttyS2", "", false, -1, -1, ""},
        {"/dev/ttyUSB0", byPath + "2:1.0-port0", true, 0x0403, 0x6001, ""},
        {"/dev/ttyUSB11", "", true, -1, -1, ""},
        {"/dev/ttyUSB9", "", true, -1, -1, ""},
        {"/dev/ttyUSB1", byPath + "9:1.0-port0", true, 0x0403, 0x6001, ""},
    };
    const auto ordered = DefaultPortOrder(ports, {"/dev/ttyS0"});
    EXPECT_EQ(Addresses(ordered),
              (std::vector<std::string>{byPath + "2:1.0-port0", byPath + "9:1.0-port0",
                                        byPath + "10:1.0-port0", "/dev/ttyACM0", "/dev/ttyUSB9",
                                        "/dev/ttyUSB11", "/dev/ttyS2", "/dev/ttyS10"}));
    // The same ports found in another order give the same numbers.
    std::reverse(ports.begin(), ports.end());
    EXPECT_EQ(Addresses(DefaultPortOrder(ports, {"/dev/ttyS0"})), Addresses(ordered));
    EXPECT_TRUE(
        DefaultPortOrder({{"/dev/ttyS0", "", false, -1, -1, ""}}, {"/dev/tty0", "/dev/ttyS0"})
            .empty());
}

class PortTableTest : public ::testing::Test {
  protected:
    void SetUp() override {
        const char* old = std::getenv("XDG_CONFIG_HOME");
        oldConfigHome_ = old != nullptr ? std::optional<std::string>(old) : std::nullopt;
        setenv("XDG_CONFIG_HOME", dir_.Path().c_str(), 1);
    }
    void TearDown() override {
        SetPortMapFile({});
        if (oldConfigHome_) {
            setenv("XDG_CONFIG_HOME", oldConfigHome_->c_str(), 1);
        } else {
            unsetenv("XDG_CONFIG_HOME");
        }
    }

    test::ScratchDir dir_{"channels-ports"};
    std::optional<std::string> oldConfigHome_;
};

TEST_F(PortTableTest, PortMapFileIsTheWholeTableAndOverridesTheUserStore) {
    dir_.Write("termload/termload.ini", "[Ports]\nCOM4=/dev/store-four\nCOM5=/dev/store-five\n");
    EXPECT_EQ(ResolveComPort(4), "/dev/store-four");
    EXPECT_EQ(ResolveComPort(0), std::nullopt);
    EXPECT_EQ(ResolveComPort(-1), std::nullopt);

    SetPortMapFile(dir_.Write("map.ini", "[ports]\ncom4=/dev/pts/40\nCOM12=/dev/pts/12\n"));
    EXPECT_EQ(ResolveComPort(4), "/dev/pts/40");
    EXPECT_EQ(ResolveComPort(12), "/dev/pts/12");
    // Not in the map: no device, never a port of the system nor one of the store.
    EXPECT_EQ(ResolveComPort(1), std::nullopt);
    EXPECT_EQ(ResolveComPort(5), std::nullopt);

    const auto listing = ListComPorts();
    ASSERT_EQ(listing.size(), 2u);
    EXPECT_EQ(listing[0].comNumber, 4);
    EXPECT_EQ(listing[0].device, "/dev/pts/40");
    EXPECT_EQ(listing[0].source, PortSource::kPortMapFile);
    EXPECT_EQ(listing[1].comNumber, 12);

    // A map file that cannot be read maps nothing at all.
    SetPortMapFile(dir_ / "missing.ini");
    EXPECT_EQ(ResolveComPort(4), std::nullopt);
    EXPECT_TRUE(ListComPorts().empty());

    SetPortMapFile({});
    EXPECT_EQ(ResolveComPort(5), "/dev/store-five");
    // A store that lists ports is the whole table too: the numbers it lacks get no system port.
    EXPECT_EQ(ResolveComPort(1), std::nullopt);
    const auto listed = ListComPorts();
    ASSERT_EQ(listed.size(), 2u);
    EXPECT_EQ(listed[1].comNumber, 5);
    EXPECT_EQ(listed[1].source, PortSource::kUserStore);
    EXPECT_EQ(listed[1].device, "/dev/store-five");
}

TEST_F(PortTableTest, TakingTheTableKeepsPathsAsNamedAndLeavesOutUnmappedNumbers) {
    const auto map =
        dir_.Write("map.ini", "[Ports]\nCOM1=/dev/serial/by-path/socket-1\nCOM3=/dev/b\n");
    SetPortMapFile(map);
    const PortTable taken = TakePortTable({1, 2, 3});
    EXPECT_EQ(taken, (PortTable{{1, "/dev/serial/by-path/socket-1"}, {3, "/dev/b"}}));
    dir_.Write("map.ini", "[Ports]\nCOM1=/dev/other\n");
    EXPECT_EQ(TakePortTable({1, 3}), (PortTable{{1, "/dev/other"}}));
}

}  // namespace
}  // namespace termload
