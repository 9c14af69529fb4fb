#include "channels/hid_channel.h"

#include <hidapi.h>

#include <algorithm>
#include <array>
#include <chrono>
#include <condition_variable>
#include <cstring>
#include <memory>
#include <mutex>
#include <thread>

#include "channels/trace_log.h"

namespace termload {

namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

// One read poll: short, so that a close is seen soon.
constexpr int kReadPollMs = 100;

// The device and everything that touches it. hid_write blocks in the kernel for as long as the
// device takes, so writes run on a thread of the channel's own and the caller waits for it with
// a time limit. The state is shared with that thread: a write still stuck when the channel is
// closed keeps the device, and the thread closes it when the write returns.
struct HidDeviceState {
    std::mutex mutex;  // everything below
    std::condition_variable changed;
    hid_device* device = nullptr;  // used and changed only by the holder of the device
    // One hidapi call on the device at a time (hidapi keeps per-device error state): the caller
    // that set this holds the device until it clears it.
    bool deviceHeld = false;
    std::array<unsigned char, kHidReportSize> report{};
    bool pending = false;  // a report waits for the writer
    bool writing = false;  // the writer has taken the report and not finished it
    bool closing = false;
    std::uint64_t submitted = 0;
    std::uint64_t finished = 0;
    int written = -1;  // hid_write's result for the last finished report

    // With `lock` held: waits for the device, and takes it. False at the deadline.
    bool HoldDevice(std::unique_lock<std::mutex>& lock, Clock::time_point deadline) {
        if (!changed.wait_until(lock, deadline, [&] { return !deviceHeld; })) {
            return false;
        }
        deviceHeld = true;
        return true;
    }
    void HoldDevice(std::unique_lock<std::mutex>& lock) {
        changed.wait(lock, [&] { return !deviceHeld; });
        deviceHeld = true;
    }
    void ReleaseDevice() {
        deviceHeld = false;
        changed.notify_all();
    }
};

void WriterLoop(const std::shared_ptr<HidDeviceState>& state) {
    std::unique_lock lock(state->mutex);
    for (;;) {
        state->changed.wait(lock, [&] { return state->pending || state->closing; });
        if (!state->pending) {
            break;
        }
        state->pending = false;
        state->writing = true;
        // A read holds the device for one short poll at most.
        state->HoldDevice(lock);
        lock.unlock();
        int result = -1;
        if (state->device != nullptr) {
            result = hid_write(state->device, state->report.data(), state->report.size());
        }
        lock.lock();
        state->ReleaseDevice();
        state->writing = false;
        state->written = result;
        ++state->finished;
        state->changed.notify_all();
    }
    state->HoldDevice(lock);
    lock.unlock();
    if (state->device != nullptr) {
        hid_close(state->device);
        state->device = nullptr;
    }
    lock.lock();
    state->ReleaseDevice();
}

class HidRecord final : public ChannelRecord {
  public:
    HidRecord(ChannelHandle handle, bool trace, hid_device* device)
        : ChannelRecord(handle, 0, trace), state_(std::make_shared<HidDeviceState>()) {
        state_->device = device;
        writer_ = std::thread(WriterLoop, state_);
    }

    ~HidRecord() override { Close(); }

    ChannelResult Write(const void* report, std::uint32_t count) {
        if (Trace()) {
            TraceHex(report, count);
        }
        std::unique_lock lock(state_->mutex);
        // A report the device has not finished still holds the buffer: nothing waits behind it.
        if (state_->closing || state_->pending || state_->writing) {
            return FinishWrite(-1, count);
        }
        const std::size_t used = std::min<std::size_t>(count, kHidReportSize);
        std::memcpy(state_->report.data(), report, used);
        std::fill(state_->report.begin() + static_cast<std::ptrdiff_t>(used), state_->report.end(),
                  0);
        state_->pending = true;
        const std::uint64_t ticket = ++state_->submitted;
        state_->changed.notify_all();
        const bool done =
            state_->changed.wait_for(lock, std::chrono::milliseconds(kHidWaitMs),
                                     [&] { return state_->finished >= ticket || state_->closing; });
        if (!done || state_->finished < ticket) {
            return ChannelResult::Failed;  // not finished in time (or closed): no trace line
        }
        return FinishWrite(state_->written, count);
    }

    ChannelResult Read(unsigned char* buffer, std::uint32_t* count) {
        if (Trace()) {
            TraceHex(buffer, *count);
        }
        const std::size_t capacity = std::min<std::size_t>(*count, kHidReportSize);
        *count = 0;
        const auto deadline = Clock::now() + std::chrono::milliseconds(kHidWaitMs);
        std::unique_lock lock(state_->mutex);
        while (Clock::now() < deadline) {
            // A stuck write holds the device: the read waits for it no longer than its own time.
            if (state_->closing || !state_->HoldDevice(lock, deadline)) {
                break;
            }
            if (state_->closing || state_->device == nullptr) {
                state_->ReleaseDevice();
                break;
            }
            lock.unlock();
            const int got = hid_read_timeout(state_->device, buffer, capacity, kReadPollMs);
            lock.lock();
            state_->ReleaseDevice();
            if (got < 0) {
                return ChannelResult::Failed;
            }
            if (got > 0) {
                *count = static_cast<std::uint32_t>(std::min<std::size_t>(got, capacity));
                return ChannelResult::Done;
            }
        }
        return state_->closing ? ChannelResult::Failed : ChannelResult::Done;
    }

    void Close() override {
        if (!writer_.joinable()) {
            return;
        }
        bool stuck = false;
        {
            const std::lock_guard lock(state_->mutex);
            state_->closing = true;
            stuck = state_->writing;
            state_->changed.notify_all();
        }
        if (stuck) {
            // The kernel ends the write in its own time (a USB device's output report is bounded
            // by the host controller's time-out, an unplug ends it at once); the writer then
            // closes the device. Waiting for it here would let a dead device hang a stop.
            writer_.detach();
        } else {
            writer_.join();
        }
    }

  private:
    ChannelResult FinishWrite(int written, std::uint32_t count) {
        ChannelResult outcome = ChannelResult::Failed;
        if (written == 0) {
            outcome = ChannelResult::Timeout;
        } else if (written > 0 && static_cast<std::uint32_t>(written) == count) {
            outcome = ChannelResult::Done;
        }
        if (Trace()) {
            static constexpr const char* kTexts[] = {
                "COM%d write failed!\r\n", "COM%d write timeout!\r\n", "COM%d write succeed.\r\n"};
            TraceText(TraceFormat(kTexts[static_cast<int>(outcome) + 1], PortNumber()));
        }
        return outcome;
    }

    std::shared_ptr<HidDeviceState> state_;
    std::thread writer_;
};

std::shared_ptr<HidRecord> FindHidRecord(ChannelHandle handle) {
    return std::dynamic_pointer_cast<HidRecord>(FindChannel(handle));
}

bool HidLibraryReady() {
    static const bool ready = hid_init() == 0;
    return ready;
}

}  // namespace

ChannelHandle HidOpen(bool trace) {
    if (!HidLibraryReady()) {
        return 0;
    }
    hid_device_info* const devices = hid_enumerate(kTerminalHidVendor, 0);
    hid_device* device = nullptr;
    for (const hid_device_info* info = devices; info != nullptr && device == nullptr;
         info = info->next) {
        if (info->vendor_id == kTerminalHidVendor && info->path != nullptr) {
            device = hid_open_path(info->path);
        }
    }
    hid_free_enumeration(devices);
    if (device == nullptr) {
        return 0;
    }
    std::shared_ptr<HidRecord> record;
    try {
        record = std::make_shared<HidRecord>(NewChannelHandle(), trace, device);
    } catch (...) {
        hid_close(device);  // no memory or no thread: the device is not kept
        return 0;
    }
    if (trace) {
        TraceText(TraceFormat("HeapAlloc %p...", static_cast<const void*>(record.get())));
        TraceText("");
    }
    const ChannelHandle handle = record->Handle();
    RegisterChannel(std::move(record));
    return handle;
}

ChannelResult HidWrite(ChannelHandle handle, const void* report, std::uint32_t count) {
    if (count == 0) {
        return ChannelResult::Done;
    }
    const auto record = FindHidRecord(handle);
    if (!record || report == nullptr) {
        return ChannelResult::Failed;
    }
    return record->Write(report, count);
}

ChannelResult HidRead(ChannelHandle handle, void* buffer, std::uint32_t* count) {
    if (count != nullptr && *count == 0) {
        return ChannelResult::Done;
    }
    const auto record = FindHidRecord(handle);
    if (!record || buffer == nullptr || count == nullptr) {
        return ChannelResult::Failed;
    }
    return record->Read(static_cast<unsigned char*>(buffer), count);
}

}  // namespace termload
