#pragma once
// Two ptys joined by a line that carries bytes at a serial rate in both directions, so that
// independent peers (lrzsz, the tool) meet each other with a real line's timing.
#include <cstdint>
#include <filesystem>
#include <string>

#include "event_loop.hpp"
#include "pacer.hpp"
#include "pty.hpp"

namespace termsim {

class PacedRelay {
  public:
    PacedRelay(EventLoop& loop, std::filesystem::path linkA, std::filesystem::path linkB,
               uint32_t baud);
    ~PacedRelay();
    PacedRelay(const PacedRelay&) = delete;
    PacedRelay& operator=(const PacedRelay&) = delete;

    uint64_t bytesAtoB() const { return toB_.carried; }
    uint64_t bytesBtoA() const { return toA_.carried; }

  private:
    struct Direction {
        Direction(EventLoop& loop, uint32_t baud) : pacer(baud), timer(loop) {}
        Pty* from = nullptr;
        Pty* to = nullptr;
        Pacer pacer;
        std::string queue;
        bool pacedOut = false;         // waiting for the pacer before reading more
        bool waitingWritable = false;  // the far side is full
        uint64_t carried = 0;
        TimerSlot timer;
    };

    void Pump(Direction& direction);
    void UpdateEvents();

    EventLoop& loop_;
    std::filesystem::path linkA_;
    std::filesystem::path linkB_;
    Pty a_;
    Pty b_;
    Direction toB_;
    Direction toA_;
};

}  // namespace termsim
