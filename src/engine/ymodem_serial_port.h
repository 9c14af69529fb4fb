#pragma once

#include "channels/channel_list.h"
#include "engine/ymodem_sender.h"

namespace termload {

// The sender's line over a serial channel open in normal mode. A read waits at most the
// channel's own bound (2000 ms, 250 ms after the last byte), whatever time-out is asked for;
// closing the channel (a stop) ends a waiting read at once.
class SerialYmodemPort final : public YmodemPort {
  public:
    explicit SerialYmodemPort(ChannelHandle channel) : channel_(channel) {}
    ChannelResult Write(const std::uint8_t* data, std::uint32_t count) override;
    ChannelResult ReadByte(std::uint8_t& byte, std::chrono::milliseconds timeout) override;

  private:
    ChannelHandle channel_;
};

}  // namespace termload
