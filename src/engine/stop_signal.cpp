#include "engine/stop_signal.h"

#include <algorithm>
#include <thread>

namespace termload {

namespace {

thread_local const StopSignal* currentWorkerStop = nullptr;
std::atomic<MessagePump> messagePump{nullptr};

constexpr std::uint32_t kStepMs = 10;

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

void SetMessagePump(MessagePump pump) {
    messagePump = pump;
}

namespace {

// One wait for the whole time: the stop request is what must end it early.
std::uint32_t WaitSteps(std::uint32_t steps, const StopSignal& stop) {
    const auto start = std::chrono::steady_clock::now();
    if (!stop.WaitFor(std::chrono::milliseconds(steps * kStepMs))) {
        return steps;
    }
    const auto waited = std::chrono::duration_cast<std::chrono::milliseconds>(
        std::chrono::steady_clock::now() - start);
    return std::min(steps, static_cast<std::uint32_t>(waited.count() / kStepMs));
}

}  // namespace

std::uint32_t DelayWithMessages(std::uint32_t milliseconds) {
    const std::uint32_t steps = milliseconds / kStepMs;
    if (steps == 0) {
        return 0;
    }
    if (const StopSignal* stop = currentWorkerStop) {
        return WaitSteps(steps, *stop);
    }
    for (std::uint32_t step = 0; step < steps; ++step) {
        if (const MessagePump pump = messagePump.load()) {
            pump();
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(kStepMs));
    }
    return steps;
}

std::uint32_t DelayWithMessages(std::uint32_t milliseconds, const StopSignal& stop) {
    const std::uint32_t steps = milliseconds / kStepMs;
    if (steps == 0 || currentWorkerStop != nullptr || messagePump.load() == nullptr) {
        return WaitSteps(steps, stop);
    }
    for (std::uint32_t step = 0; step < steps; ++step) {
        if (const MessagePump pump = messagePump.load()) {
            pump();
        }
        if (stop.WaitFor(std::chrono::milliseconds(kStepMs))) {
            return step;
        }
    }
    return steps;
}

}  // namespace termload
