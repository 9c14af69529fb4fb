#include "engine/ymodem_link_port.h"

#include <algorithm>
#include <span>

#include "channels/channel_library.h"
#include "engine/console_link.h"

namespace termload {

ChannelResult LinkYmodemPort::Write(const std::uint8_t* data, std::uint32_t count) {
    if (link_ == nullptr) {
        return ChannelResult::Failed;
    }
    return link_->Write(std::span(data, count));
}

ChannelResult LinkYmodemPort::ReadByte(std::uint8_t& byte, std::chrono::milliseconds timeout) {
    if (link_ == nullptr) {
        return ChannelResult::Failed;
    }
    std::uint8_t buffer[1] = {};
    std::size_t got = 0;
    const auto ms = static_cast<std::uint32_t>(
        std::clamp<std::chrono::milliseconds::rep>(timeout.count(), 0, UINT32_MAX));
    const ChannelResult result = link_->Read(buffer, ms, got);
    if (result == ChannelResult::Done && got == 1) {
        byte = buffer[0];
        return ChannelResult::Done;
    }
    return result == ChannelResult::Failed ? ChannelResult::Failed : ChannelResult::Timeout;
}

}  // namespace termload
