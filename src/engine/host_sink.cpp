#include "engine/host_sink.h"

#include "engine/stop_signal.h"

namespace termload {

void ErrorAnswer::Acknowledge() {
    std::lock_guard lock(mutex_);
    acknowledged_ = true;
    changed_.notify_all();
}

bool ErrorAnswer::WaitForAcknowledgement(StopSignal& stop) {
    const StopSubscription onStop(stop, [this] {
        std::lock_guard lock(mutex_);
        withdrawn_ = true;
        changed_.notify_all();
    });
    std::unique_lock lock(mutex_);
    changed_.wait(lock, [this] { return acknowledged_ || withdrawn_; });
    return acknowledged_;
}

}  // namespace termload
