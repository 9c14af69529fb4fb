// The clock packet, byte for byte, and the time it is built from.
#include <gtest/gtest.h>

#include "engine/clock_download.h"

namespace termload {
namespace {

ClockPacket Packet(std::initializer_list<int> bytes) {
    ClockPacket packet{};
    std::size_t i = 0;
    for (int byte : bytes) {
        packet.at(i++) = static_cast<std::uint8_t>(byte);
    }
    return packet;
}

TEST(ClockPacket, SundayMorningExampleAndTheCheckSum) {
    const auto time = ParseClockTime("2016-10-30 09:05:07");
    ASSERT_TRUE(time.has_value());
    EXPECT_EQ(time->weekday, 1);  // a Sunday
    EXPECT_EQ(BuildClockPacket(*time), Packet({0x01, 0x01, 0x01, 0x01, 0x10, 0x50, 0x08, 0x07, 0x05,
                                               0x09, 0x01, 0x30, 0x10, 0x16, 0x20, 0x03, 0xF8}));
}

TEST(ClockPacket, LastSecondOfTheYearAndCenturyDigits) {
    const auto time = ParseClockTime("1999-12-31 23:59:59");  // a Friday
    ASSERT_TRUE(time.has_value());
    const ClockPacket packet = BuildClockPacket(*time);
    EXPECT_EQ(packet[7], 0x59);
    EXPECT_EQ(packet[8], 0x59);
    EXPECT_EQ(packet[9], 0x23);
    EXPECT_EQ(packet[10], 0x06);
    EXPECT_EQ(packet[11], 0x31);
    EXPECT_EQ(packet[12], 0x12);
    EXPECT_EQ(packet[13], 0x99);
    EXPECT_EQ(packet[14], 0x19);
    unsigned sum = 0;
    for (std::size_t i = 3; i < 16; ++i) {
        sum += packet[i];
    }
    EXPECT_EQ(packet[16], sum & 0xFF);  // the preamble stays out of the sum
}

TEST(ClockPacket, BcdAndWeekdays) {
    EXPECT_EQ(ToBcd(0), 0x00);
    EXPECT_EQ(ToBcd(9), 0x09);
    EXPECT_EQ(ToBcd(10), 0x10);
    EXPECT_EQ(ToBcd(59), 0x59);
    EXPECT_EQ(ToBcd(99), 0x99);
    EXPECT_EQ(ParseClockTime("2000-01-01 00:00:00")->weekday, 7);  // Saturday
    EXPECT_EQ(ParseClockTime("2024-02-29 12:00:00")->weekday, 5);  // Thursday, leap day

    std::tm local{};
    local.tm_year = 116;
    local.tm_mon = 9;
    local.tm_mday = 30;
    local.tm_hour = 9;
    local.tm_min = 5;
    local.tm_sec = 7;
    local.tm_wday = 0;
    EXPECT_EQ(BuildClockPacket(ClockTimeOf(local)),
              BuildClockPacket(*ParseClockTime("2016-10-30 09:05:07")));
}

TEST(ClockPacket, MalformedTimesAreRefused) {
    for (const char* text : {"", "2016-10-30", "2016-10-30T09:05:07", "2016-02-30 00:00:00",
                             "2015-02-29 00:00:00", "2016-13-01 00:00:00", "2016-10-30 24:00:00",
                             "2016-10-30 09:60:00", "2016-10-30 09:05:60", "2016-1a-30 09:05:07",
                             "+016-10-30 09:05:07", "2016-10-30 09:05:07 "}) {
        EXPECT_FALSE(ParseClockTime(text).has_value()) << text;
    }
}

}  // namespace
}  // namespace termload
