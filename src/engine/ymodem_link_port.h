// The YMODEM sender's line over the console part of a slot's link open in normal mode; a link
// without one fails every write and read.
#pragma once

#include "engine/ymodem_sender.h"

namespace termload {

class ConsoleLink;

class LinkYmodemPort final : public YmodemPort {
  public:
    explicit LinkYmodemPort(ConsoleLink* link) : link_(link) {}
    ChannelResult Write(const std::uint8_t* data, std::uint32_t count) override;
    // Waits as the link's read does: up to `timeout`, less when the line fails or the slot stops.
    ChannelResult ReadByte(std::uint8_t& byte, std::chrono::milliseconds timeout) override;

  private:
    ConsoleLink* link_;
};

}  // namespace termload
