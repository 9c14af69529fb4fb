#pragma once
// Paces bytes at the rate of a serial line (8N1: ten bits a byte). The line is modelled with a
// transmit window of about 10 ms, so bytes move in small bursts rather than one wake-up a byte.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <limits>

#include "sim_time.hpp"

namespace termsim {

class Pacer {
  public:
    explicit Pacer(uint32_t baud)
        : byteTime_(baud == 0 ? Duration::zero()
                              : std::chrono::duration_cast<Duration>(
                                    std::chrono::duration<double>(10.0 / baud))),
          window_(std::max<Duration>(milliseconds(10), byteTime_)) {}

    bool paced() const { return byteTime_ > Duration::zero(); }

    // Bytes that may pass now.
    size_t Allowance(TimePoint now) const {
        if (!paced()) {
            return std::numeric_limits<size_t>::max();
        }
        const TimePoint busy = std::max(busyUntil_, now);
        const Duration room = now + window_ - busy;
        return room <= Duration::zero() ? 0 : static_cast<size_t>(room / byteTime_);
    }

    void Consume(size_t bytes, TimePoint now) {
        if (paced()) {
            busyUntil_ = std::max(busyUntil_, now) + byteTime_ * static_cast<int64_t>(bytes);
        }
    }

    // When half a window of bytes (at least one) may pass: wake-ups stay ~200 a second.
    TimePoint NextSlot() const { return busyUntil_ - window_ + std::max(byteTime_, window_ / 2); }

  private:
    Duration byteTime_;
    Duration window_;
    TimePoint busyUntil_{};
};

}  // namespace termsim
