#include "engine/ymodem_serial_port.h"

#include "channels/serial_channel.h"

namespace termload {

int SerialYmodemPort::Write(const std::uint8_t* data, std::uint32_t count) {
    return ComWrite(channel_, data, count);
}

int SerialYmodemPort::ReadByte(std::uint8_t& byte, std::chrono::milliseconds /*timeout*/) {
    std::uint8_t buffer[2] = {};
    std::uint32_t count = 1;
    const int result = ComRead(channel_, buffer, &count);
    if (result == kChannelDone && count == 1) {
        byte = buffer[0];
        return 1;
    }
    return result == kChannelFailed ? -1 : 0;
}

}  // namespace termload
