// The two console events of a port slot: "text received" and "abort". They exist only while the
// slot's channel is open in console mode; a wait on them ends on either, on a time-out, or at
// once when they are closed (or were never created).
#pragma once

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <mutex>

namespace termload {

enum class EventWait {
    Received,  // the receive event was set
    Aborted,   // the abort event was set
    TimedOut,
    Closed,  // the events do not exist (closed by a stop or a re-open, or never created)
};

// Both events are auto-reset: a wait that returns one of them consumes it. When both are set, the
// receive event is reported first.
class SlotEvents {
  public:
    void Create();  // both exist, neither set
    void Close();   // both gone; waiters wake with Closed
    bool Exist() const;

    void SetReceive();  // no effect while the events do not exist
    void SetAbort();

    EventWait Wait(std::chrono::milliseconds timeout);
    // Threads blocked in Wait at this moment.
    int Waiters() const;

  private:
    mutable std::mutex mutex_;
    std::condition_variable changed_;
    bool exist_ = false;
    std::uint64_t generation_ = 0;
    int waiters_ = 0;
    bool receiveSet_ = false;
    bool abortSet_ = false;
};

}  // namespace termload
