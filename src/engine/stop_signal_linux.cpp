// Linux: a wait sleeps on the request word itself (futex).
#include <linux/futex.h>
#include <sys/syscall.h>
#include <time.h>
#include <unistd.h>

#include <climits>

#include "engine/stop_signal.h"

namespace termload {

void StopSignal::WakeWaiters() {
    ::syscall(SYS_futex, &requested_, FUTEX_WAKE_PRIVATE, INT_MAX, nullptr, nullptr, 0);
}

// The pauses of a download are nearly all waits that run out, nine for every frame: here each is
// one system call on the request word (a condition variable adds a wake-up call to every wait
// that times out). The steady clock is CLOCK_MONOTONIC, which the absolute time-out uses.
bool StopSignal::WaitFor(std::chrono::milliseconds timeout) const {
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    const auto since =
        std::chrono::duration_cast<std::chrono::nanoseconds>(deadline.time_since_epoch());
    timespec until{};
    until.tv_sec = static_cast<time_t>(since.count() / 1'000'000'000);
    until.tv_nsec = static_cast<long>(since.count() % 1'000'000'000);
    for (;;) {
        if (requested_.load() != 0) {
            return true;
        }
        if (std::chrono::steady_clock::now() >= deadline) {
            return false;
        }
        // Returns at once when the word is no longer 0; a wake-up or a signal goes round again.
        ::syscall(SYS_futex, &requested_, FUTEX_WAIT_BITSET_PRIVATE, 0, &until, nullptr,
                  FUTEX_BITSET_MATCH_ANY);
    }
}

}  // namespace termload
