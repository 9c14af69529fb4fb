// Cooperative stopping: a slot's stop request, and the waits that end when it is raised.
#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <mutex>
#include <vector>

namespace termload {

class StopSubscription;

// A stop request that can be polled without a lock and that wakes every wait made on it.
class StopSignal {
  public:
    StopSignal() = default;
    StopSignal(const StopSignal&) = delete;
    StopSignal& operator=(const StopSignal&) = delete;

    // Raises the request: wakes waiters and runs the subscribed functions (once per raise).
    void Request();
    // Lowers the request; only while no thread relies on it (before a download thread starts).
    void Clear();
    bool IsRequested() const noexcept { return requested_.load() != 0; }

    // Waits up to `timeout`; returns true as soon as (or if already) a stop is requested.
    bool WaitFor(std::chrono::milliseconds timeout) const;

  private:
    friend class StopSubscription;

    // The platform's half (stop_signal_linux.cpp, stop_signal_win32.cpp): wakes every WaitFor;
    // called with the lock held, after the request word was raised.
    void WakeWaiters();

    mutable std::mutex mutex_;
    mutable std::condition_variable wake_;  // where the system has no wait on a word (Windows)
    // 1 while requested; 32 bits, so that a wait can sleep on the word itself where the system
    // allows it.
    std::atomic<std::uint32_t> requested_{0};
    std::vector<StopSubscription*> subscribers_;
};

// While it lives, a request on the signal calls `onStop` (at once when the request is already
// raised). Lets a wait on something else (a console reply, an operator's answer) end on a stop.
// `onStop` runs on the requesting thread with the signal's lock held: keep it short, and do not
// touch the signal from it.
class StopSubscription {
  public:
    StopSubscription(StopSignal& signal, std::function<void()> onStop);
    ~StopSubscription();
    StopSubscription(const StopSubscription&) = delete;
    StopSubscription& operator=(const StopSubscription&) = delete;

  private:
    friend class StopSignal;

    StopSignal& signal_;
    std::function<void()> onStop_;
};

// Marks the calling thread as a download thread whose waits end on `signal`, for as long as the
// scope lives.
class WorkerStopScope {
  public:
    explicit WorkerStopScope(const StopSignal& signal);
    ~WorkerStopScope();
    WorkerStopScope(const WorkerStopScope&) = delete;
    WorkerStopScope& operator=(const WorkerStopScope&) = delete;

  private:
    const StopSignal* previous_;
};

// The stop signal of the calling download thread, or null on any other thread.
const StopSignal* CurrentWorkerStop();

}  // namespace termload
