#include "engine/ymodem_link_port.h"

#include <algorithm>
#include <span>

#include "channels/channel_library.h"
#include "engine/console_link.h"

namespace termload {

int LinkYmodemPort::Write(const std::uint8_t* data, std::uint32_t count) {
    if (link_ == nullptr) {
        return -1;
    }
    const int result = link_->Write(std::span(data, count));
    return result == kChannelDone ? 1 : result == kChannelTimeout ? 0 : -1;
}

int LinkYmodemPort::ReadByte(std::uint8_t& byte, std::chrono::milliseconds timeout) {
    if (link_ == nullptr) {
        return -1;
    }
    std::uint8_t buffer[1] = {};
    std::size_t got = 0;
    const auto ms = static_cast<std::uint32_t>(
        std::clamp<std::chrono::milliseconds::rep>(timeout.count(), 0, UINT32_MAX));
    const int result = link_->Read(buffer, ms, got);
    if (result == kChannelDone && got == 1) {
        byte = buffer[0];
        return 1;
    }
    return result == kChannelFailed ? -1 : 0;
}

}  // namespace termload
