#include "engine/hid_version.h"

#include <array>

#include "engine/hid_link.h"
#include "engine/timings.h"

namespace termload {

namespace {

// The version request: 01 01 01 01 15 DC, length 5, the five bytes, 03 and the sum from byte 3.
constexpr std::array<std::uint8_t, 15> kVersionRequest = {
    0x01, 0x01, 0x01, 0x01, 0x15, 0xDC, 0x00, 0x05, 0x01, 0x10, 0x10, 0x18, 0x00, 0x03, 0x33};

}  // namespace

std::optional<std::vector<std::uint8_t>> HidVersionExchange(bool traceLog) {
    return HidExchangeOnce(kVersionRequest, Timings{}.versionReplyWaitHidMs, traceLog);
}

}  // namespace termload
