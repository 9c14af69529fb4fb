// What a link reaches of its slot: the slot's stop, its channel, the console's events and
// received text, its status for the texts a link shows itself, and the run's timings. The slot
// table makes one for each slot's link; a link never sees the slot or the table behind it.
#pragma once

#include <atomic>
#include <functional>
#include <mutex>

#include "channels/serial_channel.h"
#include "engine/host_sink.h"
#include "engine/receive_text.h"
#include "engine/slot_events.h"
#include "engine/slot_status.h"
#include "engine/stop_signal.h"
#include "engine/timings.h"

namespace termload {

// Runs `open` and stores its handle in `channel`, unless `stop` is requested (0 then). A stop
// request takes `openMutex` after it is raised, so it waits out an open that has begun.
ChannelHandle OpenUnlessStopped(std::mutex& openMutex, const StopSignal& stop,
                                std::atomic<ChannelHandle>& channel,
                                const std::function<ChannelHandle()>& open);

struct LinkContext {
    int slotIndex = 0;
    const int& portNumber;  // COMn, 0 on the USB transports; given before the slot's thread starts
    StopSignal& stop;       // the slot's stop request
    // The slot's channel, 0 when none. Only the link opens and closes it: a stop may close it at
    // any moment, so whoever takes the handle out of it closes it.
    std::atomic<ChannelHandle>& channel;
    std::mutex& openMutex;  // see OpenUnlessStopped
    // Console mode only: the receive and abort events, the text that came in, and the callback
    // that feeds both from the port's reader thread.
    SlotEvents& events;
    ReceiveText& received;
    ReceiveCallback consoleReceiver;
    SlotStatus& status;
    HostSink& sink;
    const Timings& time;
    bool trace = false;  // the channel writes the trace log

    ChannelHandle OpenUnlessStopped(const std::function<ChannelHandle()>& open) const {
        return termload::OpenUnlessStopped(openMutex, stop, channel, open);
    }
};

}  // namespace termload
