#include "engine/slot_events.h"

namespace termload {

void SlotEvents::Create() {
    std::lock_guard lock(mutex_);
    exist_ = true;
    receiveSet_ = false;
    abortSet_ = false;
}

void SlotEvents::Close() {
    std::lock_guard lock(mutex_);
    exist_ = false;
    receiveSet_ = false;
    abortSet_ = false;
    ++generation_;
    changed_.notify_all();
}

bool SlotEvents::Exist() const {
    std::lock_guard lock(mutex_);
    return exist_;
}

void SlotEvents::SetReceive() {
    std::lock_guard lock(mutex_);
    if (exist_) {
        receiveSet_ = true;
        changed_.notify_all();
    }
}

void SlotEvents::SetAbort() {
    std::lock_guard lock(mutex_);
    if (exist_) {
        abortSet_ = true;
        changed_.notify_all();
    }
}

EventWait SlotEvents::Wait(std::chrono::milliseconds timeout) {
    std::unique_lock lock(mutex_);
    // A close followed at once by a re-create still ends this wait: the generation tells.
    const auto generation = generation_;
    const auto settled = [&] {
        return !exist_ || generation_ != generation || receiveSet_ || abortSet_;
    };
    if (!changed_.wait_for(lock, timeout, settled)) {
        return EventWait::TimedOut;
    }
    if (!exist_ || generation_ != generation) {
        return EventWait::Closed;
    }
    if (receiveSet_) {
        receiveSet_ = false;
        return EventWait::Received;
    }
    abortSet_ = false;
    return EventWait::Aborted;
}

}  // namespace termload
