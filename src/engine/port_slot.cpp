#include "engine/port_slot.h"

#include <system_error>

namespace termload {

namespace {

thread_local PortSlot* currentSlot = nullptr;

}  // namespace

void PortSlot::Fill(int port) {
    portNumber = port;
    status.Attach(sink_, index_, port);
}

void PortSlot::RequestStop() {
    stop.Request();
    transferCancel = true;
    const std::lock_guard barrier(openMutex_);
}

ChannelHandle PortSlot::OpenUnlessStopped(const std::function<ChannelHandle()>& open) {
    return termload::OpenUnlessStopped(openMutex_, stop, channel, open);
}

LinkContext PortSlot::ContextForLink(ReceiveCallback consoleReceiver, const Timings& time,
                                     bool trace) {
    return LinkContext{.slotIndex = index_,
                       .portNumber = portNumber,
                       .stop = stop,
                       .channel = channel,
                       .openMutex = openMutex_,
                       .events = events,
                       .received = received,
                       .consoleReceiver = std::move(consoleReceiver),
                       .status = status,
                       .sink = *sink_,
                       .time = time,
                       .trace = trace};
}

bool PortSlot::StartThread(std::function<void()> body) {
    JoinThread();
    stop.Clear();
    transferCancel = false;
    threadEnded = false;
    try {
        thread_ = std::thread([this, body = std::move(body)] {
            currentSlot = this;
            const WorkerStopScope scope(stop);
            try {
                body();
            } catch (...) {
                // Nothing may escape a download thread; the slot simply stops.
                stop.Request();
            }
            threadEnded = true;
        });
    } catch (const std::system_error&) {
        return false;
    }
    return true;
}

void PortSlot::JoinThread() {
    if (currentSlot != this && thread_.joinable()) {
        thread_.join();
    }
}

void PortSlot::Reset() {
    portNumber = 0;
    stop.Clear();
    transferCancel = false;
    threadEnded = false;
    received.Clear();
    status.Attach(sink_, index_, 0);
}

PortSlot* CurrentSlot() {
    return currentSlot;
}

EventWait WaitReceiveOrAbort(PortSlot& slot, std::uint32_t timeoutMs) {
    const StopSubscription onStop(slot.stop, [&slot] { slot.events.SetAbort(); });
    return slot.events.Wait(std::chrono::milliseconds(timeoutMs));
}

}  // namespace termload
