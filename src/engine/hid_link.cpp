#include "engine/hid_link.h"

#include <algorithm>

#include "channels/hid_channel.h"
#include "engine/file_frame.h"
#include "engine/message_pump.h"

namespace termload {

static_assert(kHidReport == kHidReportSize && kHidReport == FileFrame::kSize + 1);

namespace {

constexpr std::size_t kHidHeader = 4;

// Sends `request` in its report, waits, and gives the reply's payload; nothing when the request
// was not taken.
std::optional<std::vector<std::uint8_t>> Exchange(ChannelHandle channel,
                                                  std::span<const std::uint8_t> request,
                                                  std::uint32_t replyWaitMs) {
    const std::optional<HidReport> report = BuildHidRequestReport(request);
    if (!report || HidWrite(channel, report->data(), kHidReport) != ChannelResult::Done) {
        return std::nullopt;
    }
    DelayWithMessages(replyWaitMs);
    HidReport reply{};
    auto count = static_cast<std::uint32_t>(reply.size());
    if (HidRead(channel, reply.data(), &count) != ChannelResult::Done) {
        return std::vector<std::uint8_t>{};
    }
    return HidReplyPayload(std::span(reply.data(), count));
}

}  // namespace

void BuildHidFrameReport(const FileFrame& frame, HidReport& report) {
    report[0] = kHidFrameReportId;
    std::copy(frame.bytes.begin(), frame.bytes.end(), report.begin() + 1);
}

int HidReportSizeCode(std::size_t length) {
    std::size_t size = 8;
    for (int code = 1; code <= 7; ++code, size *= 2) {
        if (length <= size) {
            return code;
        }
    }
    return 8;
}

std::optional<HidReport> BuildHidRequestReport(std::span<const std::uint8_t> request) {
    if (request.size() > kHidReport - kHidHeader) {
        return std::nullopt;
    }
    HidReport report{};
    report[0] = static_cast<std::uint8_t>(HidReportSizeCode(request.size() + kHidHeader));
    report[1] = 0;
    report[2] = static_cast<std::uint8_t>(request.size() & 0xFF);
    report[3] = static_cast<std::uint8_t>(request.size() >> 8);
    std::copy(request.begin(), request.end(), report.begin() + kHidHeader);
    return report;
}

std::vector<std::uint8_t> HidReplyPayload(std::span<const std::uint8_t> received) {
    if (received.size() <= kHidHeader) {
        return {};
    }
    // The terminal's length is believed only as far as bytes came.
    const std::size_t declared = received[2] | (static_cast<std::size_t>(received[3]) << 8);
    const std::size_t length = std::min(declared, received.size() - kHidHeader);
    const auto payload = received.subspan(kHidHeader, length);
    return {payload.begin(), payload.end()};
}

bool HidLink::Open(LinkMode) {
    // No console over HID: no events, no settle pauses, and the receive text stays as it is.
    if (slot_.events.Exist()) {
        slot_.events.SetAbort();
        slot_.events.Close();
    }
    Close();
    const bool trace = slot_.trace;
    slot_.OpenUnlessStopped([trace] { return HidOpen(trace); });
    if (slot_.stop.IsRequested()) {
        Close();  // the stop may have swept the slot before the channel was stored
    }
    return slot_.channel != 0;
}

void HidLink::Close() {
    // Whoever takes the handle out of the slot closes it: the thread and a stop never both do.
    if (const ChannelHandle channel = slot_.channel.exchange(0); channel != 0) {
        ComClose(channel);
    }
}

std::optional<FailureCause> HidLink::SendFrame(const FileFrame& frame) {
    if (slot_.stop.IsRequested()) {
        return std::nullopt;
    }
    HidReport report;
    BuildHidFrameReport(frame, report);
    if (HidWrite(slot_.channel, report.data(), kHidReport) != ChannelResult::Done) {
        return FailureCause::Transport;
    }
    return std::nullopt;
}

std::optional<std::string> HidLink::ExchangeVersion(std::span<const std::uint8_t> request) {
    const auto payload = Exchange(slot_.channel, request, slot_.time.versionReplyWaitHidMs);
    if (!payload) {
        return std::nullopt;
    }
    return std::string(payload->begin(), payload->end());
}

std::optional<std::vector<std::uint8_t>> HidExchangeOnce(std::span<const std::uint8_t> request,
                                                         std::uint32_t replyWaitMs, bool traceLog) {
    const ChannelHandle channel = HidOpen(traceLog);
    if (channel == 0) {
        return std::nullopt;
    }
    auto reply = Exchange(channel, request, replyWaitMs);
    ComClose(channel);
    // A request the device did not take leaves the reply empty, as one that was not answered.
    return reply.value_or(std::vector<std::uint8_t>{});
}

}  // namespace termload
