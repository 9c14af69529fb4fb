// Linux: a wait sleeps on the request word itself (futex).
#include <linux/futex.h>
#include <sys/prctl.h>
#include <sys/syscall.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>

#include "engine/stop_signal.h"

namespace termload {

namespace {

using Clock = std::chrono::steady_clock;
using Nanoseconds = std::chrono::nanoseconds;

// How late this thread's timed waits wake up. A download waits nine or seventeen times per
// frame, and a wake-up here comes 20–100 µs after its time, so a frame would take a millisecond
// or more beyond its pacing. Each wait therefore asks to be woken this much before its deadline
// and, when that was too soon, sleeps again until the deadline: a wait never ends before its
// time, it only stops adding the machine's wake-up delay to it.
//
// The lead follows the median lateness, a step at a time: a wait that woke later than the lead
// raises it, one that woke sooner lowers it. Half the waits then sleep twice; the second sleep
// is a short one.
class WakeUpLead {
  public:
    WakeUpLead() {
        // The kernel may otherwise defer a wake-up by 50 µs to batch timers.
        ::prctl(PR_SET_TIMERSLACK, 1UL, 0UL, 0UL, 0UL);
    }

    // The lead for a wait of `timeout`: never more than a tenth of it.
    Nanoseconds For(Nanoseconds timeout) const { return std::min(lead_, timeout / 10); }

    void Observe(Nanoseconds late) {
        lead_ = std::clamp(late < lead_ ? lead_ - kStep : lead_ + kStep, Nanoseconds::zero(),
                           kMaxLead);
    }

  private:
    static constexpr Nanoseconds kStep = std::chrono::microseconds(2);
    static constexpr Nanoseconds kMaxLead = std::chrono::milliseconds(1);
    Nanoseconds lead_{0};
};

thread_local WakeUpLead wakeUpLead;

timespec AbsoluteTime(Clock::time_point at) {
    const auto since = std::chrono::duration_cast<Nanoseconds>(at.time_since_epoch());
    timespec until{};
    until.tv_sec = static_cast<time_t>(since.count() / 1'000'000'000);
    until.tv_nsec = static_cast<long>(since.count() % 1'000'000'000);
    return until;
}

}  // namespace

void StopSignal::WakeWaiters() {
    ::syscall(SYS_futex, &requested_, FUTEX_WAKE_PRIVATE, INT_MAX, nullptr, nullptr, 0);
}

// The pauses of a download are nearly all waits that run out, nine for every frame: here each is
// one or two system calls on the request word (a condition variable adds a wake-up call to every
// wait that times out). The steady clock is CLOCK_MONOTONIC, which the absolute time-out uses.
bool StopSignal::WaitFor(std::chrono::milliseconds timeout) const {
    const auto deadline = Clock::now() + timeout;
    // The first sleep aims early by the thread's usual lateness; any further one at the deadline.
    Clock::time_point wakeAt = deadline - wakeUpLead.For(timeout);
    for (;;) {
        if (requested_.load() != 0) {
            return true;
        }
        const auto now = Clock::now();
        if (now >= deadline) {
            return false;
        }
        if (now >= wakeAt) {
            wakeAt = deadline;
        }
        const timespec until = AbsoluteTime(wakeAt);
        // Returns at once when the word is no longer 0; a wake-up or a signal goes round again.
        const long result = ::syscall(SYS_futex, &requested_, FUTEX_WAIT_BITSET_PRIVATE, 0,
                                      &until, nullptr, FUTEX_BITSET_MATCH_ANY);
        if (result != 0 && errno == ETIMEDOUT) {
            wakeUpLead.Observe(Clock::now() - wakeAt);
        }
    }
}

}  // namespace termload
