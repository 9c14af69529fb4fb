// The 27 port slots of the process, with the job of the current run, and what reaches a slot
// through the table: the console's received bytes and the console text shown.
#pragma once

#include <array>
#include <atomic>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>

#include "engine/download_job.h"
#include "engine/port_slot.h"
#include "engine/transport_links.h"

namespace termload {

// What the console is watched for while a USB-pipe image goes.
enum class ChecksumWatch {
    Idle,       // nothing watched
    Watching,   // a USB-pipe image transfer is watched
    ErrorSeen,  // the terminal has printed "Checksum Error" since
};

// The 27 slots of the process, with the job of the current run.
class PortSlotTable {
  public:
    static constexpr int kSlotCount = 27;

    explicit PortSlotTable(HostSink& sink);
    ~PortSlotTable();  // stops every slot and joins every thread
    PortSlotTable(const PortSlotTable&) = delete;
    PortSlotTable& operator=(const PortSlotTable&) = delete;

    // Before a start, on the host's thread: stops and joins whatever is left of the last run
    // (a thread that ended the run itself is joined here), then sets every slot to zero, takes
    // the run's job (null: no run, the defaults) and gives every slot the link `makeLink` makes
    // for it.
    void Reset(std::shared_ptr<const DownloadJob> job,
               const LinkFactory& makeLink = TransportLinks());

    PortSlot& operator[](int index) { return slots_.at(static_cast<std::size_t>(index)); }
    const PortSlot& operator[](int index) const {
        return slots_.at(static_cast<std::size_t>(index));
    }

    // The run's job, the one copy of its settings: every slot's thread reads it.
    const DownloadJob& Job() const { return *job_; }
    const Timings& Time() const;
    HostSink& Sink() const { return sink_; }

    std::atomic<ChecksumWatch> checksumWatch{ChecksumWatch::Idle};

  private:
    friend void SlotStopAll(PortSlotTable& table);
    friend void ShowReceivedText(PortSlotTable& table, const std::string& text);

    // What `slot`'s link may reach of it, its console fed through SlotReceive.
    LinkContext LinkContextOf(PortSlot& slot);
    // Stops the first `count` slots and joins their threads (except the caller's own); the caller
    // holds stopMutex_.
    void StopThreads(int count);

    HostSink& sink_;
    std::shared_ptr<const DownloadJob> job_;  // outlives the slots' links, which refer to it
    std::array<PortSlot, kSlotCount> slots_;
    std::mutex stopMutex_;     // one SlotStopAll at a time
    std::mutex displayMutex_;  // one console-text update at a time
};

// The receive callback of console mode: appends the bytes to the text of the slot that owns
// `channel`, watches for "Checksum Error", shows the text and sets the receive event. Returns 0.
int SlotReceive(PortSlotTable& table, ChannelHandle channel, const char* bytes,
                std::uint32_t count);

// Shows a slot's receive text as the console text of the host, one update at a time.
void ShowReceivedText(PortSlotTable& table, const std::string& text);

}  // namespace termload
