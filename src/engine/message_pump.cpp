#include "engine/message_pump.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <thread>

namespace termload {

namespace {

std::atomic<MessagePump> messagePump{nullptr};

constexpr std::uint32_t kStepMs = 10;

}  // namespace

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
    if (const StopSignal* stop = CurrentWorkerStop()) {
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
    if (steps == 0 || CurrentWorkerStop() != nullptr || messagePump.load() == nullptr) {
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
