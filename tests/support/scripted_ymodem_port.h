// A line for the YMODEM sender that plays back a receiver's replies and keeps what was written.
#pragma once

#include <chrono>
#include <cstdint>
#include <deque>
#include <vector>

#include "engine/ymodem_sender.h"

namespace termload {

class ScriptedYmodemPort final : public YmodemPort {
  public:
    static constexpr int kSilence = 0x100;  // a read that times out
    static constexpr int kFailure = 0x101;  // a read that fails

    std::deque<int> replies;  // bytes, kSilence or kFailure; when empty every read fails
    std::vector<std::vector<std::uint8_t>> written;
    int reads = 0;

    ChannelResult Write(const std::uint8_t* data, std::uint32_t count) override {
        written.emplace_back(data, data + count);
        return ChannelResult::Done;
    }
    ChannelResult ReadByte(std::uint8_t& byte, std::chrono::milliseconds) override {
        ++reads;
        if (replies.empty()) {
            return ChannelResult::Failed;
        }
        const int next = replies.front();
        replies.pop_front();
        if (next == kSilence) {
            return ChannelResult::Timeout;
        }
        if (next == kFailure) {
            return ChannelResult::Failed;
        }
        byte = static_cast<std::uint8_t>(next);
        return ChannelResult::Done;
    }
};

}  // namespace termload
