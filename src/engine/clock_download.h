// Clock download: sets a terminal's real-time clock from the PC with one 17-byte packet.
#pragma once

#include <array>
#include <cstdint>
#include <ctime>
#include <optional>
#include <string>
#include <string_view>

#include "channels/serial_port.h"

namespace termload {

// Packs a value 0-99 as two decimal digits in one byte (59 -> 0x59).
std::uint8_t ToBcd(int value);

// A civil date and time as the terminal's clock takes it.
struct ClockTime {
    int year = 2000;  // four digits
    int month = 1;    // 1-12
    int day = 1;      // 1-31
    int hour = 0;     // 0-23
    int minute = 0;   // 0-59
    int second = 0;   // 0-59
    int weekday = 7;  // 1 = Sunday ... 7 = Saturday
};

// A broken-down local time (as LocalCalendarTimeNow gives it) in the clock's terms.
ClockTime ClockTimeOf(const std::tm& local);

// Parses "YYYY-MM-DD HH:MM:SS" and works out the day of the week; nullopt when the text is not a
// valid date and time in years 0000-9999.
std::optional<ClockTime> ParseClockTime(std::string_view text);

constexpr std::size_t kClockPacketSize = 17;
using ClockPacket = std::array<std::uint8_t, kClockPacketSize>;

// Four 0x01 bytes, the clock command 10 50 08, seconds to century in BCD, 0x03 and the sum of bytes
// 3 to 15.
ClockPacket BuildClockPacket(const ClockTime& time);

// The clock always goes at this rate, whatever the configured baud rate.
constexpr int kClockBaudRate = 38400;

enum class ClockDownloadResult { Sent, PortOpenFailed, WriteFailed };

// What the operator sees: a status text id (after "[COMn]") and its label colour (0x00BBGGRR).
struct ClockDownloadOutcome {
    ClockDownloadResult result;
    int textId;
    std::uint32_t colour;
};

// Opens COM`port` in normal mode at 38400 baud (the baud rate of `line` is not used) with the
// other line settings of `line`, writes the packet for `time` and closes the port. Nothing is
// read back and nothing is retried.
ClockDownloadOutcome ClockDownload(int port, const SerialSettings& line, const ClockTime& time);

// "[COMn]" followed by the outcome's text in the given language.
std::string ClockStatusText(int port, const ClockDownloadOutcome& outcome, int langBase);

}  // namespace termload
