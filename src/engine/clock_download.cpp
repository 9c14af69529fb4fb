#include "engine/clock_download.h"

#include <chrono>
#include <numeric>

#include "channels/serial_channel.h"
#include "config/string_table.h"

namespace termload {
namespace {

constexpr int kTextPortOpenFailed = 74;
constexpr int kTextClockFailed = 112;
constexpr int kTextClockOk = 113;
constexpr std::uint32_t kColourBlack = 0x000000;
constexpr std::uint32_t kColourRed = 0x0000FF;

// Reads exactly `width` decimal digits at `pos`.
std::optional<int> DigitsAt(std::string_view text, std::size_t pos, std::size_t width) {
    if (pos + width > text.size()) {
        return std::nullopt;
    }
    int value = 0;
    for (std::size_t i = pos; i < pos + width; ++i) {
        if (text[i] < '0' || text[i] > '9') {
            return std::nullopt;
        }
        value = value * 10 + (text[i] - '0');
    }
    return value;
}

}  // namespace

std::uint8_t ToBcd(int value) {
    const int twoDigits = ((value % 100) + 100) % 100;
    return static_cast<std::uint8_t>((twoDigits / 10) << 4 | (twoDigits % 10));
}

ClockTime ClockTimeOf(const std::tm& local) {
    return ClockTime{local.tm_year + 1900, local.tm_mon + 1, local.tm_mday,    local.tm_hour,
                     local.tm_min,         local.tm_sec,     local.tm_wday + 1};
}

std::optional<ClockTime> ParseClockTime(std::string_view text) {
    // "YYYY-MM-DD HH:MM:SS": 19 characters with fixed separators.
    if (text.size() != 19 || text[4] != '-' || text[7] != '-' || text[10] != ' ' ||
        text[13] != ':' || text[16] != ':') {
        return std::nullopt;
    }
    const auto year = DigitsAt(text, 0, 4);
    const auto month = DigitsAt(text, 5, 2);
    const auto day = DigitsAt(text, 8, 2);
    const auto hour = DigitsAt(text, 11, 2);
    const auto minute = DigitsAt(text, 14, 2);
    const auto second = DigitsAt(text, 17, 2);
    if (!year || !month || !day || !hour || !minute || !second) {
        return std::nullopt;
    }
    const std::chrono::year_month_day date{std::chrono::year{*year},
                                           std::chrono::month{static_cast<unsigned>(*month)},
                                           std::chrono::day{static_cast<unsigned>(*day)}};
    if (!date.ok() || *hour > 23 || *minute > 59 || *second > 59) {
        return std::nullopt;
    }
    const std::chrono::weekday weekday{std::chrono::sys_days{date}};
    return ClockTime{
        *year, *month, *day, *hour, *minute, *second, static_cast<int>(weekday.c_encoding()) + 1};
}

ClockPacket BuildClockPacket(const ClockTime& time) {
    ClockPacket packet{};
    packet.fill(0x01);
    packet[4] = 0x10;
    packet[5] = 0x50;
    packet[6] = 0x08;
    packet[7] = ToBcd(time.second);
    packet[8] = ToBcd(time.minute);
    packet[9] = ToBcd(time.hour);
    packet[10] = ToBcd(time.weekday);
    packet[11] = ToBcd(time.day);
    packet[12] = ToBcd(time.month);
    packet[13] = ToBcd(time.year % 100);
    packet[14] = ToBcd(time.year / 100);
    packet[15] = 0x03;
    // The leading three 0x01 bytes are the packet's preamble and stay out of the sum.
    packet[16] = static_cast<std::uint8_t>(
        std::accumulate(packet.begin() + 3, packet.begin() + 16, 0u) & 0xFF);
    return packet;
}

ClockDownloadOutcome ClockDownload(int port, const SerialSettings& line, const ClockTime& time) {
    const ChannelHandle handle = ComOpen(port, kClockBaudRate, line.byteSize, line.stopBitsIndex,
                                         line.parityIndex, line.flowControlIndex, {}, false);
    if (!handle) {
        return {ClockDownloadResult::PortOpenFailed, kTextPortOpenFailed, kColourRed};
    }
    const ClockPacket packet = BuildClockPacket(time);
    const ChannelResult written = ComWrite(handle, packet.data(), packet.size());
    ComClose(handle);
    if (written != ChannelResult::Done) {
        return {ClockDownloadResult::WriteFailed, kTextClockFailed, kColourRed};
    }
    return {ClockDownloadResult::Sent, kTextClockOk, kColourBlack};
}

std::string ClockStatusText(int port, const ClockDownloadOutcome& outcome, int langBase) {
    return "[COM" + std::to_string(port) + "]" + std::string(TextOf(langBase, outcome.textId));
}

}  // namespace termload
