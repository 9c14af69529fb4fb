// What the main thread of a run waits for: the operator's stop or the engine ending the run.
// Raised from the interrupt thread and from download threads.
#pragma once

#include <condition_variable>
#include <mutex>

#include "engine/stop_signal.h"

namespace termload::cli {

class RunEvents {
  public:
    void Interrupt() {
        interrupt_.Request();  // the engine's stop first, then the main thread wakes
        Raise(interrupted_);
    }
    void RunEnded() { Raise(runEnded_); }

    bool Interrupted() const {
        std::lock_guard lock(mutex_);
        return interrupted_;
    }

    // Blocks until either has been raised.
    void Wait() {
        std::unique_lock lock(mutex_);
        raised_.wait(lock, [this] { return interrupted_ || runEnded_; });
    }

    // Raised on the first interrupt: a StopSubscription on it reaches the engine at once, also
    // while the main thread is busy starting (and at once when the interrupt came earlier).
    StopSignal& InterruptSignal() { return interrupt_; }

  private:
    void Raise(bool& flag) {
        std::lock_guard lock(mutex_);
        flag = true;
        raised_.notify_all();
    }

    mutable std::mutex mutex_;
    std::condition_variable raised_;
    bool interrupted_ = false;
    bool runEnded_ = false;
    StopSignal interrupt_;
};

}  // namespace termload::cli
