// The clock packet, byte for byte, and the time it is built from.
#include <gtest/gtest.h>

#include <ctime>
#include <vector>

#include "engine/clock_download.h"

namespace termload {
namespace {

TEST(ClockPacket, SundayMorningExampleAndTheCheckSum) {
    const auto time = ParseClockTime("2016-10-30 09:05:07");
    ASSERT_TRUE(time.has_value());
    EXPECT_EQ(time->weekday, 1);  // a Sunday
    EXPECT_EQ(BuildClockPacket(*time),
              (ClockPacket{0x01, 0x01, 0x01, 0x01, 0x10, 0x50, 0x08, 0x07, 0x05, 0x09, 0x01, 0x30,
                           0x10, 0x16, 0x20, 0x03, 0xF8}));
}

TEST(ClockPacket, LastSecondOfTheYearAndCenturyDigits) {
    const auto time = ParseClockTime("1999-12-31 23:59:59");  // a Friday
    ASSERT_TRUE(time.has_value());
    const ClockPacket packet = BuildClockPacket(*time);
    // Seconds, minutes, hours, weekday, day, month, year, century.
    EXPECT_EQ(std::vector<std::uint8_t>(packet.begin() + 7, packet.begin() + 15),
              (std::vector<std::uint8_t>{0x59, 0x59, 0x23, 0x06, 0x31, 0x12, 0x99, 0x19}));
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

    const std::time_t at = 1477818307;  // 2016-10-30 09:05:07 UTC, a Sunday
    EXPECT_EQ(BuildClockPacket(ClockTimeOf(*std::gmtime(&at))),
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
