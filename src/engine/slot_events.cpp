#include "engine/slot_events.h"

namespace termload {

void SlotEvents::Create() {
    std::lock_guard lock(mutex_);
    exist_ = true;
    receiveSet_ = false;
    abortSet_ = false;
}

// A set that came before the close still reaches a thread that was already waiting, as it
// would have had the waiter woken at once.
void SlotEvents::Close() {
    std::lock_guard lock(mutex_);
    exist_ = false;
    ++generation_;
    changed_.notify_all();
}

int SlotEvents::Waiters() const {
    std::lock_guard lock(mutex_);
    return waiters_;
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
    if (!exist_) {
        return EventWait::Closed;
    }
    // A close followed at once by a re-create still ends this wait: the generation tells.
    const auto generation = generation_;
    const auto settled = [&] { return generation_ != generation || receiveSet_ || abortSet_; };
    ++waiters_;
    const bool woken = changed_.wait_for(lock, timeout, settled);
    --waiters_;
    if (!woken) {
        return EventWait::TimedOut;
    }
    if (receiveSet_) {
        receiveSet_ = false;
        return EventWait::Received;
    }
    if (abortSet_) {
        abortSet_ = false;
        return EventWait::Aborted;
    }
    return EventWait::Closed;
}

}  // namespace termload
