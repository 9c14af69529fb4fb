#include "engine/port_slot.h"

#include <algorithm>
#include <cstring>
#include <memory>
#include <span>
#include <system_error>

#include "config/text_encoding.h"
#include "engine/download_job.h"

namespace termload {

namespace {

thread_local PortSlot* currentSlot = nullptr;

}  // namespace

std::string StatusPrefix(int portNumber) {
    return "[COM" + std::to_string(portNumber) + "]";
}

int ModelClass(std::string_view modelName) {
    if (modelName == "M862PA" || modelName == "M862PB" || modelName == "M862PC" ||
        modelName == "M862PCX") {
        return kModelClassM862;
    }
    return modelName == "M868" ? kModelClassM868 : kModelClassOther;
}

bool ModelNameFits(std::string_view modelName) {
    // The field holds the name as the terminals' tool stores it, in GBK.
    return Utf8ToGbk(modelName).size() < kModelNameFieldSize;
}

std::string ReceiveText::Append(const char* bytes, std::size_t count) {
    std::lock_guard lock(mutex_);
    constexpr std::size_t kLimit = kCapacity - 1;  // room for the terminating zero
    if (count > kLimit) {
        // A chunk larger than the whole text: only its end can be kept.
        bytes += count - kLimit;
        count = kLimit;
        length_ = 0;
    }
    if (length_ + count > kHalvingThreshold) {
        const std::size_t keep = length_ / 2;
        std::memmove(text_.data(), text_.data() + length_ - keep, keep);
        length_ = keep;
    }
    if (length_ + count > kLimit) {
        // Only chunks above the halving threshold get here: drop what does not fit, oldest first.
        const std::size_t drop = length_ + count - kLimit;
        std::memmove(text_.data(), text_.data() + drop, length_ - drop);
        length_ -= drop;
    }
    std::memcpy(text_.data() + length_, bytes, count);
    length_ += count;
    text_[length_] = '\0';
    return std::string(text_.data(), length_);
}

void ReceiveText::Clear() {
    std::lock_guard lock(mutex_);
    text_.fill('\0');
    length_ = 0;
}

std::string ReceiveText::Text() const {
    std::lock_guard lock(mutex_);
    return std::string(text_.data(), length_);
}

std::size_t ReceiveText::Length() const {
    std::lock_guard lock(mutex_);
    return length_;
}

void PortSlot::Fill(int port) {
    portNumber = port;
    status.Attach(&table_->Sink(), index_, port);
}

void PortSlot::RequestStop() {
    stop.Request();
    transferCancel = true;
    const std::lock_guard barrier(openMutex_);
}

ChannelHandle PortSlot::OpenUnlessStopped(const std::function<ChannelHandle()>& open) {
    const std::lock_guard lock(openMutex_);
    if (stop.IsRequested()) {
        return 0;
    }
    const ChannelHandle handle = open();
    channel = handle;
    return handle;
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
    status.Attach(&table_->Sink(), index_, 0);
}

PortSlot* CurrentSlot() {
    return currentSlot;
}

EventWait WaitReceiveOrAbort(PortSlot& slot, std::uint32_t timeoutMs) {
    const StopSubscription onStop(slot.stop, [&slot] { slot.events.SetAbort(); });
    return slot.events.Wait(std::chrono::milliseconds(timeoutMs));
}

bool ShowError(PortSlot& slot, std::string_view text) {
    auto answer = std::make_shared<ErrorAnswer>();
    slot.Table().Sink().ShowError(slot.Index(), std::string(text) + "    ", answer);
    return answer->WaitForAcknowledgement(slot.stop);
}

PortSlotTable::PortSlotTable(HostSink& sink)
    : sink_(sink), job_(std::make_shared<const DownloadJob>()) {
    for (int index = 0; index < kSlotCount; ++index) {
        PortSlot& slot = (*this)[index];
        slot.index_ = index;
        slot.table_ = this;
        slot.link_ = MakeLink(slot, *job_);
        slot.status.Attach(&sink_, index, 0);
    }
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
        slot.link_ = makeLink ? makeLink(slot, *job_) : MakeLink(slot, *job_);
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
        SlotCloseChannel(slot);  // also ends a write that waits on the port
    }
    for (PortSlot& slot : used) {
        slot.JoinThread();
    }
    // A thread may have opened a channel or created events while it was being stopped.
    for (PortSlot& slot : used) {
        slot.events.Close();
        SlotCloseChannel(slot);
        if (currentSlot != &slot) {
            slot.threadEnded = true;
        }
    }
}

}  // namespace termload
