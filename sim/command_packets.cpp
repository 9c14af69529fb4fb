#include "command_packets.hpp"

#include <algorithm>
#include <charconv>
#include <chrono>
#include <cstdio>
#include <fstream>
#include <sstream>
#include <stdexcept>

#include "checksums.hpp"

namespace termsim {

namespace {

constexpr uint8_t kVersionRequest[kVersionRequestSize] = {
    0x01, 0x01, 0x01, 0x01, 0x15, 0xDC, 0x00, 0x05, 0x01, 0x10, 0x10, 0x18, 0x00, 0x03, 0x33};
constexpr size_t kMaxReply = 2048;  // the tool reads at most this much

// Four 0x01 bytes, 0x03 before the last byte, and the sum from byte 3 up to that 0x03.
bool FramedAndSummed(std::span<const uint8_t> packet, bool& framingOk) {
    const size_t n = packet.size();
    framingOk =
        n >= 6 &&
        std::all_of(packet.begin(), packet.begin() + 4, [](uint8_t b) { return b == 0x01; }) &&
        packet[n - 2] == 0x03;
    return n >= 6 && Sum8(packet.subspan(3, n - 4)) == packet[n - 1];
}

bool FromBcd(uint8_t byte, int& value) {
    const int high = byte >> 4, low = byte & 0x0F;
    value = high * 10 + low;
    return high <= 9 && low <= 9;
}

}  // namespace

std::string ClockSetting::IsoText() const {
    char text[32];
    std::snprintf(text, sizeof text, "%04d-%02d-%02dT%02d:%02d:%02d", year, month, day, hour,
                  minute, second);
    return text;
}

ClockSetting DecodeClockPacket(std::span<const uint8_t> packet) {
    ClockSetting clock;
    if (packet.size() != kClockPacketSize) {
        return clock;
    }
    clock.sumOk = FramedAndSummed(packet, clock.framingOk);
    clock.framingOk =
        clock.framingOk && packet[4] == 0x10 && packet[5] == 0x50 && packet[6] == 0x08;
    int century = 0, yearInCentury = 0;
    clock.bcdOk = FromBcd(packet[7], clock.second) && FromBcd(packet[8], clock.minute) &&
                  FromBcd(packet[9], clock.hour) && FromBcd(packet[10], clock.weekday) &&
                  FromBcd(packet[11], clock.day) && FromBcd(packet[12], clock.month) &&
                  FromBcd(packet[13], yearInCentury) && FromBcd(packet[14], century);
    clock.year = century * 100 + yearInCentury;
    if (!clock.bcdOk) {
        return clock;
    }
    namespace chr = std::chrono;
    const chr::year_month_day date{chr::year(clock.year), chr::month(clock.month),
                                   chr::day(clock.day)};
    clock.rangeOk = date.ok() && clock.hour < 24 && clock.minute < 60 && clock.second < 60 &&
                    clock.weekday >= 1 && clock.weekday <= 7;
    if (clock.rangeOk) {
        const auto weekday = chr::weekday(chr::sys_days(date)).c_encoding();  // 0 = Sunday
        clock.weekdayOk = static_cast<int>(weekday) + 1 == clock.weekday;
    }
    return clock;
}

bool IsVersionRequest(std::span<const uint8_t> packet) {
    return packet.size() == kVersionRequestSize &&
           std::equal(packet.begin(), packet.end(), std::begin(kVersionRequest));
}

std::vector<InstalledVersion> ParseVersionsText(const std::string& text) {
    std::vector<InstalledVersion> versions;
    std::istringstream lines(text);
    std::string line;
    size_t lineNumber = 0;
    size_t replySize = 8 + 4 + 2;
    while (std::getline(lines, line)) {
        ++lineNumber;
        if (!line.empty() && line.back() == '\r') {
            line.pop_back();
        }
        if (line.empty() || line[0] == '#') {
            continue;
        }
        auto fail = [&](const std::string& why) {
            throw std::runtime_error("versions line " + std::to_string(lineNumber) + ": " + why);
        };
        const size_t semicolon = line.find(';');
        if (semicolon == std::string::npos) {
            fail("expected type;version");
        }
        InstalledVersion entry;
        const char* first = line.data();
        const char* last = line.data() + semicolon;
        const auto [end, error] = std::from_chars(first, last, entry.type);
        if (error != std::errc() || end != last || entry.type < -128 || entry.type > 127) {
            fail("type must be a number from -128 to 127");
        }
        entry.version = line.substr(semicolon + 1);
        if (entry.version.empty() || entry.version.size() > 127) {
            fail("version text must be 1 to 127 bytes");
        }
        replySize += 2 + entry.version.size();
        if (replySize > kMaxReply) {
            fail("the reply would pass " + std::to_string(kMaxReply) + " bytes");
        }
        versions.push_back(std::move(entry));
    }
    return versions;
}

std::vector<InstalledVersion> LoadVersionsFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        throw std::runtime_error("cannot read versions file " + path);
    }
    std::ostringstream text;
    text << in.rdbuf();
    return ParseVersionsText(text.str());
}

std::vector<uint8_t> BuildVersionReply(const std::vector<InstalledVersion>& versions) {
    std::vector<uint8_t> reply = {0x01, 0x01, 0x01, 0x01, 0x15, 0xDC, 0x00, 0x00,
                                  // status: the command answered
                                  0x01, 0x10, 0x10, 0x18};
    for (const InstalledVersion& v : versions) {
        reply.push_back(static_cast<uint8_t>(static_cast<int8_t>(v.type)));
        reply.push_back(static_cast<uint8_t>(v.version.size()));
        reply.insert(reply.end(), v.version.begin(), v.version.end());
    }
    const size_t length = reply.size() - 8;
    reply[6] = static_cast<uint8_t>(length >> 8);
    reply[7] = static_cast<uint8_t>(length);
    reply.push_back(0x03);
    reply.push_back(Sum8(std::span<const uint8_t>(reply).subspan(3)));
    return reply;
}

}  // namespace termsim
