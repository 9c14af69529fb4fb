// The USB-HID link: one 4174-byte output report per frame (id 0x0B, then the 4173-byte frame); a
// report not accepted fails the frame with "2" and the file is given up. The version request
// travels in a report of its own and the reply comes back in an input report.
//
// The HID function has no console: a channel opened in console mode is opened as in normal mode,
// with no events, so every console exchange ends at once with false, and the link offers no
// console part to type on: a padded one-byte report would put the byte where the report id goes,
// and the terminal would read it as a report of some other kind (a stray 0x0B would even look
// like the start of a frame); nothing could answer it anyway.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <span>
#include <vector>

#include "engine/link.h"

namespace termload {

inline constexpr std::size_t kHidReport = 4174;
inline constexpr std::uint8_t kHidFrameReportId = 0x0B;
using HidReport = std::array<std::uint8_t, kHidReport>;

// The report that carries one frame.
void BuildHidFrameReport(const FileFrame& frame, HidReport& report);

// The smallest of the report sizes 8, 16, …, 512 that holds `length` bytes gives the code 1 … 7;
// anything longer code 8 (1024 bytes).
int HidReportSizeCode(std::size_t length);

// A request report: zeros, with byte 0 the size code of the request and its 4-byte header, byte
// 1 zero, bytes 2-3 the request's length (little-endian) and the request from byte 4. Nothing
// for a request that does not fit in a report.
std::optional<HidReport> BuildHidRequestReport(std::span<const std::uint8_t> request);

// The payload of a reply report of `received` bytes: the length in bytes 2-3 (little-endian),
// cut to what came after the 4-byte header. Empty for a report of 4 bytes or less.
std::vector<std::uint8_t> HidReplyPayload(std::span<const std::uint8_t> received);

class HidLink final : public SlotLink {
  public:
    explicit HidLink(const LinkContext& slot) : slot_(slot) {}

    char FailureDigit() const override { return '2'; }
    FrameRecovery Recovery() const override { return FrameRecovery::GiveUpFile; }
    bool Open(LinkMode mode) override;
    void Close() override;
    void Purge() override {}
    std::optional<FailureCause> SendFrame(const FileFrame& frame) override;
    std::optional<std::string> ExchangeVersion(std::span<const std::uint8_t> request) override;

  private:
    const LinkContext slot_;  // the slot as the link sees it
};

// The version request and its reply over HID, from the window's thread: opens the terminal's HID
// device, sends the request report, waits `replyWaitMs`, reads the reply and closes the device.
// Nothing when no device opens; else the reply's payload (empty when the request was not taken
// or nothing came).
std::optional<std::vector<std::uint8_t>> HidExchangeOnce(std::span<const std::uint8_t> request,
                                                         std::uint32_t replyWaitMs, bool traceLog);

}  // namespace termload
