// Turns Ctrl-C (SIGINT) and SIGTERM into calls on a thread of our own.
#pragma once

#include <pthread.h>
#include <atomic>
#include <functional>
#include <thread>

namespace termload::cli {

// Blocks SIGINT and SIGTERM in the calling thread (and so in every thread started after it) and
// waits for them on one dedicated thread, which calls `onInterrupt` with the number of interrupts
// so far. No other thread is ever interrupted, so no system call in the engine sees EINTR.
// Construct it first thing in main, before any other thread exists.
class InterruptWatch {
  public:
    explicit InterruptWatch(std::function<void(int count)> onInterrupt);
    ~InterruptWatch();
    InterruptWatch(const InterruptWatch&) = delete;
    InterruptWatch& operator=(const InterruptWatch&) = delete;

  private:
    void Run();

    std::function<void(int)> onInterrupt_;
    std::atomic<bool> closing_{false};
    std::thread waiter_;
};

}  // namespace termload::cli
