// Turns Ctrl-C and the system's other stop requests into calls on a thread of our own: SIGINT,
// SIGTERM and SIGHUP on POSIX; Ctrl-C, Ctrl-Break and closing the console window on Windows.
#pragma once

#include <atomic>
#include <functional>
#include <thread>

namespace termload::cli {

// Calls `onInterrupt` with the number of interrupts so far, one call at a time.
// POSIX: blocks SIGINT, SIGTERM and SIGHUP in the calling thread (and so in every thread started
// after it) and waits for them on one dedicated thread. No other thread is ever interrupted, so no
// system call in the engine sees EINTR. Construct it first thing in main, before any other
// thread exists.
// Windows: a console control handler, which the system runs on a thread of its own. A close of
// the console window (or a log-off or shutdown) ends the process as soon as the handler
// returns, so the handler waits for this object to go, after the stop, for as long as the
// system allows.
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
