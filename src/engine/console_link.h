// The part of a link that reaches the terminal's boot console: bytes written and read as they
// are, and typing. Only the serial link has one; the flows that need it ask the link for it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>

#include "channels/channel_library.h"

namespace termload {

class ConsoleLink {
  public:
    virtual ~ConsoleLink() = default;

    // The channel's results.
    virtual ChannelResult Write(std::span<const std::uint8_t> bytes) = 0;
    // Normal mode: waits up to `timeoutMs` for bytes; `got` is how many came.
    virtual ChannelResult Read(std::span<std::uint8_t> into, std::uint32_t timeoutMs,
                               std::size_t& got) = 0;

    // Types bytes on the boot console one at a time, each followed by the console's pause; false
    // as soon as one is not taken.
    virtual bool SendConsoleBytes(std::span<const std::uint8_t> bytes) = 0;
};

}  // namespace termload
