// A port slot: the record of one port of a download, holding what that port's download thread
// needs and what the rest of the program must see of it.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>

#include "channels/serial_channel.h"
#include "engine/link.h"
#include "engine/link_context.h"
#include "engine/receive_text.h"
#include "engine/slot_events.h"
#include "engine/slot_status.h"
#include "engine/stop_signal.h"

namespace termload {

class PortSlotTable;

class PortSlot {
  public:
    PortSlot() = default;
    PortSlot(const PortSlot&) = delete;
    PortSlot& operator=(const PortSlot&) = delete;

    // Written by the controller before the slot's thread starts, fixed afterwards; the rest of
    // the run's data is the table's job.
    int portNumber = 0;  // COMn; 0 for USB-HID and USB-CCID

    // Gives the slot its port and attaches its status to the host.
    void Fill(int port);

    // The slot's link to its terminal, made for the run when the table was reset.
    SlotLink& Link() const { return *link_; }

    // Flags shared with the stop handling.
    StopSignal stop;                          // the stop request
    std::atomic<bool> transferCancel{false};  // asks a running YMODEM transfer to cancel
    std::atomic<bool> threadEnded{false};

    // The slot's channel, 0 when none. The link opens and closes it; never store or close it
    // directly, because SlotStopAll may close it at the same moment.
    std::atomic<ChannelHandle> channel{0};

    // Raises the stop request and TransferCancel; an open of the channel already under way ends
    // (and its handle is in `channel`) before this returns, and no open starts afterwards.
    void RequestStop();
    // Runs `open` and stores its handle in `channel`, unless the stop is requested; 0 then.
    ChannelHandle OpenUnlessStopped(const std::function<ChannelHandle()>& open);
    // What the slot's link may reach of it; `consoleReceiver` feeds its console.
    LinkContext ContextForLink(ReceiveCallback consoleReceiver, const Timings& time, bool trace);

    // Console mode only: the receive and abort events and the text that came in.
    SlotEvents events;
    ReceiveText received;

    // Status text, colour and progress as the host shows them.
    SlotStatus status;

    // On the host's thread: starts the slot's download thread (joining one left on the slot
    // first). The stop request and TransferCancel are cleared and
    // thread-ended is set to 0 before the thread runs, so a stop that comes at once is not lost.
    // `body` runs with the slot's stop as the thread's WorkerStopScope; an exception that escapes
    // it stops the slot. The thread ends when `body` returns, and is joined by SlotStopAll (or by
    // the next Reset of the table). False when the thread could not be started.
    bool StartThread(std::function<void()> body);
    bool HasThread() const { return thread_.joinable(); }  // the host's thread only

    int Index() const { return index_; }
    PortSlotTable& Table() const { return *table_; }

  private:
    friend class PortSlotTable;

    void Reset();       // job data, flags and texts to zero; the thread must have been joined
    void JoinThread();  // no effect when called on the slot's own thread

    int index_ = 0;
    PortSlotTable* table_ = nullptr;
    HostSink* sink_ = nullptr;  // the table's
    std::unique_ptr<SlotLink> link_;
    std::thread thread_;
    std::mutex openMutex_;  // a stop request waits out an open that has begun
};

// The slot whose download thread is calling, or null on any other thread.
PortSlot* CurrentSlot();

// Waits on the slot's (receive, abort) event pair for up to `timeoutMs`. A stop request of the
// slot ends the wait as Aborted, even when it was raised before the events were created.
EventWait WaitReceiveOrAbort(PortSlot& slot, std::uint32_t timeoutMs);

}  // namespace termload
