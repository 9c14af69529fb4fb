// Windows: a wait on the condition variable, woken by the request (made under the signal's lock).
#include "engine/stop_signal.h"

namespace termload {

void StopSignal::WakeWaiters() {
    wake_.notify_all();
}

bool StopSignal::WaitFor(std::chrono::milliseconds timeout) const {
    std::unique_lock lock(mutex_);
    return wake_.wait_for(lock, timeout, [this] { return requested_.load() != 0; });
}

}  // namespace termload
