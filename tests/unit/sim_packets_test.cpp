// termsim's clock packet, version request and reply, versions file, fault texts and file names.
#include <gtest/gtest.h>

#include <numeric>

#include "command_packets.hpp"
#include "faults.hpp"
#include "file_store.hpp"

namespace termsim {
namespace {

using Bytes = std::vector<uint8_t>;

Bytes ClockPacket(std::initializer_list<uint8_t> time) {
    Bytes packet(time);
    packet.insert(packet.begin(), {0x01, 0x01, 0x01, 0x01, 0x10, 0x50, 0x08});
    packet.push_back(0x03);
    packet.push_back(static_cast<uint8_t>(std::accumulate(packet.begin() + 3, packet.end(), 0u)));
    return packet;
}

TEST(SimPackets, ClockPacketIsDecodedAndEveryFlawIsNamed) {
    const Bytes example = {0x01, 0x01, 0x01, 0x01, 0x10, 0x50, 0x08, 0x07, 0x05,
                           0x09, 0x01, 0x30, 0x10, 0x16, 0x20, 0x03, 0xF8};
    ClockSetting clock = DecodeClockPacket(example);
    EXPECT_TRUE(clock.Valid());
    EXPECT_TRUE(clock.weekdayOk);
    EXPECT_EQ(clock.IsoText(), "2016-10-30T09:05:07");
    EXPECT_EQ(clock.weekday, 1);

    Bytes wrongSum = example;
    wrongSum[16] = 0xF7;
    clock = DecodeClockPacket(wrongSum);
    EXPECT_FALSE(clock.sumOk);
    EXPECT_FALSE(clock.Valid());
    // Bytes 0-2 are outside the sum but still part of the framing.
    Bytes badLead = example;
    badLead[0] = 0x02;
    EXPECT_TRUE(DecodeClockPacket(badLead).sumOk);
    EXPECT_FALSE(DecodeClockPacket(badLead).Valid());

    // 23:59:59 on Friday 31 December 2021.
    clock = DecodeClockPacket(ClockPacket({0x59, 0x59, 0x23, 0x06, 0x31, 0x12, 0x21, 0x20}));
    EXPECT_TRUE(clock.Valid());
    EXPECT_TRUE(clock.weekdayOk);
    EXPECT_EQ(clock.IsoText(), "2021-12-31T23:59:59");

    EXPECT_FALSE(DecodeClockPacket(ClockPacket({0x5A, 0, 0, 1, 1, 1, 0x16, 0x20})).bcdOk);
    EXPECT_FALSE(DecodeClockPacket(ClockPacket({0, 0, 0x24, 1, 1, 1, 0x16, 0x20})).rangeOk);
    EXPECT_FALSE(DecodeClockPacket(ClockPacket({0, 0, 0, 1, 0x30, 0x02, 0x16, 0x20})).rangeOk);
    clock = DecodeClockPacket(ClockPacket({0, 0, 0, 0x02, 0x30, 0x10, 0x16, 0x20}));
    EXPECT_TRUE(clock.Valid());  // a wrong weekday is noted, the time is still set
    EXPECT_FALSE(clock.weekdayOk);
    EXPECT_FALSE(DecodeClockPacket(Bytes(example.begin(), example.end() - 1)).Valid());
}

// Reads a reply the way the tool's parser does: items while offset + 5 < L.
std::vector<InstalledVersion> ParseLikeTheTool(const Bytes& reply) {
    std::vector<InstalledVersion> items;
    if (reply.size() <= 6 || static_cast<uint8_t>(std::accumulate(
                                 reply.begin() + 3, reply.end() - 1, 0u)) != reply.back()) {
        return items;
    }
    const size_t length = static_cast<size_t>(reply[6]) << 8 | reply[7];
    for (size_t i = 0; i + 5 < length;) {
        const size_t n = reply[12 + i + 1];
        items.push_back({static_cast<int8_t>(reply[12 + i]),
                         std::string(reply.begin() + 12 + i + 2, reply.begin() + 12 + i + 2 + n)});
        i += 2 + n;
    }
    return items;
}

TEST(SimPackets, VersionRequestIsRecognisedAndTheReplyReadsBack) {
    const Bytes request = {0x01, 0x01, 0x01, 0x01, 0x15, 0xDC, 0x00, 0x05,
                           0x01, 0x10, 0x10, 0x18, 0x00, 0x03, 0x33};
    EXPECT_TRUE(IsVersionRequest(request));
    for (size_t i = 0; i < request.size(); ++i) {
        Bytes changed = request;
        changed[i] ^= 0x02;
        EXPECT_FALSE(IsVersionRequest(changed)) << i;
    }

    const auto versions = ParseVersionsText("# installed\n0;B001\r\n\n-3;X\n7;SDK-1.105\n");
    ASSERT_EQ(versions.size(), 3u);
    const Bytes reply = BuildVersionReply(versions);
    EXPECT_EQ(Bytes(reply.begin(), reply.begin() + 6), (Bytes{1, 1, 1, 1, 0x15, 0xDC}));
    EXPECT_EQ(reply[reply.size() - 2], 0x03);
    const auto parsed = ParseLikeTheTool(reply);
    ASSERT_EQ(parsed.size(), 3u);
    EXPECT_EQ(parsed[0].type, 0);
    EXPECT_EQ(parsed[0].version, "B001");
    EXPECT_EQ(parsed[1].type, -3);
    EXPECT_EQ(parsed[2].version, "SDK-1.105");
    EXPECT_TRUE(ParseLikeTheTool(BuildVersionReply({})).empty());
    EXPECT_EQ(BuildVersionReply({}).size(), 14u);

    for (const char* bad :
         {"0 B001\n", "x;1\n", "128;1\n", "1;\n", "1;1\n2", "3;" /* empty version */}) {
        EXPECT_THROW(ParseVersionsText(bad), std::runtime_error) << bad;
    }
    EXPECT_THROW(ParseVersionsText("1;" + std::string(128, 'v')), std::runtime_error);
    std::string many;
    for (int i = 0; i < 20; ++i) {
        many += "1;" + std::string(100, 'v') + "\n";  // more than the tool's 2048-byte read
    }
    EXPECT_THROW(ParseVersionsText(many), std::runtime_error);
    EXPECT_THROW(LoadVersionsFile("/nonexistent/versions.txt"), std::runtime_error);
}

TEST(SimPackets, FaultTextsSelectPortsAndRefuseNonsense) {
    std::vector<PortFaults> faults(5);
    for (const char* text : {"all:slow=250", "1,3-4:hangup=2", "5:silent", "2:drop=1000"}) {
        ApplyFaultText(text, faults);
    }
    EXPECT_EQ(faults[4].slow, milliseconds(250));
    EXPECT_EQ(faults[0].hangupAfterFrames, 2);
    EXPECT_EQ(faults[1].hangupAfterFrames, -1);
    EXPECT_EQ(faults[3].hangupAfterFrames, 2);
    EXPECT_EQ(faults[0].hangupUnits, 1) << "a hang-up hits the port's first unit only";
    EXPECT_TRUE(faults[4].silent);
    EXPECT_EQ(faults[1].dropEvery, 1000u);
    ApplyFaultText("2:stall=3*2", faults);
    ApplyFaultText("3:hangup=4*all", faults);
    EXPECT_EQ(faults[1].stallAfterFrames, 3);
    EXPECT_EQ(faults[1].stallUnits, 2);
    EXPECT_EQ(faults[1].hangupAfterFrames, -1);
    EXPECT_EQ(faults[2].hangupAfterFrames, 4);
    EXPECT_EQ(faults[2].hangupUnits, 0) << "every unit";
    ApplyFaultText("4:hang=DownNand", faults);
    EXPECT_EQ(faults[3].consoleHang, "DownNand");
    EXPECT_EQ(faults[2].consoleHang, "");
    for (const char* bad :
         {"hangup=2", "0:silent", "6:silent", "2-1:silent", "1:hangup", "1:drop=0", "1:silent=3",
          "1:fly", "1:slow=-5", "x:silent", "1:hangup=2*0", "1:hangup=*3", "1:stall=2*",
          "1:stall=2*x", "1:hangup=2*3*4", "1:hangup=2*every", "1:stall*2", "1:hang", "1:hang="}) {
        EXPECT_THROW(ApplyFaultText(bad, faults), std::invalid_argument) << bad;
    }

    HidFaults hid;
    ApplyHidFaultText("refuse=3", hid);
    ApplyHidFaultText("stall=12", hid);
    EXPECT_EQ(hid.refuseReport, 3);
    EXPECT_EQ(hid.stallReport, 12);
    for (const char* bad : {"refuse=0", "refuse=", "stall=x", "stall=2x", "refuse", "hang=1"}) {
        EXPECT_THROW(ApplyHidFaultText(bad, hid), std::invalid_argument) << bad;
    }
}

TEST(SimPackets, NamesFromTheWireStayInsideTheUnitDirectory) {
    EXPECT_EQ(SanitiseName("/home/app.bin", true), "home/app.bin");
    EXPECT_EQ(SanitiseName("../../etc/passwd", true), "etc/passwd");
    EXPECT_EQ(SanitiseName("..\\..\\win.ini", true), "win.ini");
    EXPECT_EQ(SanitiseName("a/./b/../c", true), "a/b/c");
    EXPECT_EQ(SanitiseName("C:dos\x01name", true), "C_dos_name");
    EXPECT_EQ(SanitiseName("", true), "unnamed");
    EXPECT_EQ(SanitiseName("/../..", true), "unnamed");
    EXPECT_EQ(SanitiseName("/home/user/zImage", false), "zImage");
    EXPECT_EQ(SanitiseName(std::string(400, 'n'), true).string().size(), 200u);
    const std::string gbk = "\xC4\xDA\xBA\xCB.bin";  // GBK bytes pass unchanged
    EXPECT_EQ(SanitiseName(gbk, true), gbk);
}

}  // namespace
}  // namespace termsim
