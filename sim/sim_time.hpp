#pragma once
// The one clock of the simulator. Core components take "now" as an argument so that tests can
// drive them with made-up times.
#include <chrono>
#include <optional>

namespace termsim {

using Clock = std::chrono::steady_clock;
using TimePoint = Clock::time_point;
using Duration = Clock::duration;
using std::chrono::milliseconds;

// The earlier of two optional deadlines.
inline std::optional<TimePoint> Earliest(std::optional<TimePoint> a, std::optional<TimePoint> b) {
    if (!a) {
        return b;
    }
    if (!b) {
        return a;
    }
    return *a < *b ? a : b;
}

}  // namespace termsim
