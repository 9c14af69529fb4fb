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

    int Write(const std::uint8_t* data, std::uint32_t count) override {
        written.emplace_back(data, data + count);
        return 1;
    }
    int ReadByte(std::uint8_t& byte, std::chrono::milliseconds) override {
        ++reads;
        if (replies.empty()) {
            return -1;
        }
        const int next = replies.front();
        replies.pop_front();
        if (next == kSilence) {
            return 0;
        }
        if (next == kFailure) {
            return -1;
        }
        byte = static_cast<std::uint8_t>(next);
        return 1;
    }
};

}  // namespace termload
