#include "engine/port_slot_table.h"

#include <algorithm>
#include <span>
#include <string_view>

namespace termload {

namespace {

constexpr std::string_view kChecksumErrorReply = "Checksum Error";

}  // namespace

PortSlotTable::PortSlotTable(HostSink& sink)
    : sink_(sink), job_(std::make_shared<const DownloadJob>()) {
    for (int index = 0; index < kSlotCount; ++index) {
        PortSlot& slot = (*this)[index];
        slot.index_ = index;
        slot.table_ = this;
        slot.sink_ = &sink_;
        slot.link_ = MakeLink(LinkContextOf(slot), *job_);
        slot.status.Attach(&sink_, index, 0);
    }
}

LinkContext PortSlotTable::LinkContextOf(PortSlot& slot) {
    return slot.ContextForLink(
        [this](ChannelHandle channel, const char* bytes, std::uint32_t count) {
            return SlotReceive(*this, channel, bytes, count);
        },
        job_->timings, job_->channel.traceLog);
}

PortSlotTable::~PortSlotTable() {
    const std::lock_guard lock(stopMutex_);
    StopThreads(kSlotCount);
}

void PortSlotTable::Reset(std::shared_ptr<const DownloadJob> job, const LinkFactory& makeLink) {
    const std::lock_guard lock(stopMutex_);
    StopThreads(kSlotCount);
    // The old links refer to the old job: they go first.
    for (PortSlot& slot : slots_) {
        slot.link_.reset();
    }
    job_ = job ? std::move(job) : std::make_shared<const DownloadJob>();
    for (PortSlot& slot : slots_) {
        slot.Reset();
        const LinkContext context = LinkContextOf(slot);
        slot.link_ = makeLink ? makeLink(context, *job_) : MakeLink(context, *job_);
    }
}

const Timings& PortSlotTable::Time() const {
    return job_->timings;
}

// Wakes everything a download thread can wait on before joining any thread, so that the threads
// wind down together: a stop costs about as long as the slowest thread needs, not their sum.
void PortSlotTable::StopThreads(int count) {
    const auto used =
        std::span(slots_).first(static_cast<std::size_t>(std::clamp(count, 0, kSlotCount)));
    for (PortSlot& slot : used) {
        slot.RequestStop();
    }
    for (PortSlot& slot : used) {
        slot.events.SetAbort();
        slot.events.Close();
    }
    for (PortSlot& slot : used) {
        slot.Link().Close();  // also ends a write that waits on the port
    }
    for (PortSlot& slot : used) {
        slot.JoinThread();
    }
    // A thread may have opened a channel or created events while it was being stopped.
    for (PortSlot& slot : used) {
        slot.events.Close();
        slot.Link().Close();
        if (CurrentSlot() != &slot) {
            slot.threadEnded = true;
        }
    }
}

int SlotReceive(PortSlotTable& table, ChannelHandle channel, const char* bytes,
                std::uint32_t count) {
    if (count == 0 || channel == 0 || bytes == nullptr) {
        return 0;
    }
    for (int index = 0; index < PortSlotTable::kSlotCount; ++index) {
        PortSlot& slot = table[index];
        if (slot.channel != channel) {
            continue;
        }
        try {
            const std::string text = slot.received.Append(bytes, count);
            if (text.find(kChecksumErrorReply) != std::string::npos) {
                ChecksumWatch watching = ChecksumWatch::Watching;
                table.checksumWatch.compare_exchange_strong(watching, ChecksumWatch::ErrorSeen);
            }
            ShowReceivedText(table, text);
            slot.events.SetReceive();
        } catch (...) {
            // The reader thread must go on whatever happens to one chunk.
        }
        return 0;
    }
    return 0;
}

void ShowReceivedText(PortSlotTable& table, const std::string& text) {
    const std::lock_guard lock(table.displayMutex_);
    table.Sink().ShowConsoleText(text);
}

}  // namespace termload
