#pragma once
// The short command packets: the clock packet (17 bytes) and the version request (15 bytes) with
// the terminal's version reply. All share one frame: four 0x01 bytes, the body, 0x03, and the sum
// of the bytes from the fourth 0x01 up to that 0x03.
#include <cstdint>
#include <span>
#include <string>
#include <vector>

namespace termsim {

inline constexpr size_t kClockPacketSize = 17;
inline constexpr size_t kVersionRequestSize = 15;

struct ClockSetting {
    int year = 0, month = 0, day = 0, hour = 0, minute = 0, second = 0;
    int weekday = 0;  // 1 = Sunday … 7 = Saturday, as sent
    bool framingOk = false;
    bool sumOk = false;
    bool bcdOk = false;      // every time byte holds two decimal digits
    bool rangeOk = false;    // a real date and time
    bool weekdayOk = false;  // the weekday belongs to the date
    bool Valid() const { return framingOk && sumOk && bcdOk && rangeOk; }
    std::string IsoText() const;  // "2016-10-30T09:05:07"
};

// Decodes a clock packet; the verdict flags say what held.
ClockSetting DecodeClockPacket(std::span<const uint8_t> packet);

// True when the bytes are the version request, framing and sum included.
bool IsVersionRequest(std::span<const uint8_t> packet);

struct InstalledVersion {
    int type = 0;  // -128..127: sent as one signed byte
    std::string version;
};

// Reads the "type;version" lines of a versions file. Blank lines and lines starting with '#'
// are skipped. Throws std::runtime_error naming the line for anything malformed, and when the
// reply would not fit the 2048 bytes that the tool reads.
std::vector<InstalledVersion> ParseVersionsText(const std::string& text);
std::vector<InstalledVersion> LoadVersionsFile(const std::string& path);

// The reply to a version request: header 01 01 01 01 15 DC, big-endian length L of the bytes from
// offset 8 up to the closing 0x03, four status bytes, the items (type, n, n bytes), 0x03, sum.
std::vector<uint8_t> BuildVersionReply(const std::vector<InstalledVersion>& versions);

}  // namespace termsim
