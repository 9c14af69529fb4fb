#include "engine/ymodem_serial_port.h"

#include "channels/serial_channel.h"

namespace termload {

ChannelResult SerialYmodemPort::Write(const std::uint8_t* data, std::uint32_t count) {
    return ComWrite(channel_, data, count);
}

ChannelResult SerialYmodemPort::ReadByte(std::uint8_t& byte,
                                         std::chrono::milliseconds /*timeout*/) {
    std::uint8_t buffer[2] = {};
    std::uint32_t count = 1;
    const ChannelResult result = ComRead(channel_, buffer, &count);
    if (result == ChannelResult::Done && count == 1) {
        byte = buffer[0];
        return ChannelResult::Done;
    }
    return result == ChannelResult::Failed ? ChannelResult::Failed : ChannelResult::Timeout;
}

}  // namespace termload
