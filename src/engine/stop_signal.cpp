#include "engine/stop_signal.h"

#include <algorithm>

namespace termload {

namespace {

thread_local const StopSignal* currentWorkerStop = nullptr;

}  // namespace

void StopSignal::Request() {
    std::lock_guard lock(mutex_);
    if (requested_.exchange(1) != 0) {
        return;
    }
    for (StopSubscription* subscriber : subscribers_) {
        subscriber->onStop_();
    }
    WakeWaiters();
}

void StopSignal::Clear() {
    std::lock_guard lock(mutex_);
    requested_ = 0;
}

StopSubscription::StopSubscription(StopSignal& signal, std::function<void()> onStop)
    : signal_(signal), onStop_(std::move(onStop)) {
    std::lock_guard lock(signal_.mutex_);
    signal_.subscribers_.push_back(this);
    if (signal_.requested_) {
        onStop_();
    }
}

StopSubscription::~StopSubscription() {
    std::lock_guard lock(signal_.mutex_);
    std::erase(signal_.subscribers_, this);
}

WorkerStopScope::WorkerStopScope(const StopSignal& signal) : previous_(currentWorkerStop) {
    currentWorkerStop = &signal;
}

WorkerStopScope::~WorkerStopScope() {
    currentWorkerStop = previous_;
}

const StopSignal* CurrentWorkerStop() {
    return currentWorkerStop;
}

}  // namespace termload
