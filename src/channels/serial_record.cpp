#include "channels/serial_record.h"

#include <algorithm>
#include <atomic>
#include <chrono>

#include "channels/trace_log.h"

namespace termload {
namespace {

using Milliseconds = SerialPort::Milliseconds;

constexpr Milliseconds kConsoleTimeout{1000};
constexpr Milliseconds kNormalTimeout{2000};
constexpr Milliseconds kReadInterval{250};
// How long a console-mode write may take in all.
constexpr Milliseconds kConsoleWriteWait{4000};

std::atomic<std::size_t> liveReaders{0};

// The line events a console port's trace names, in this order, with Windows' EV_* values.
struct LineEventText {
    std::uint32_t bit;
    const char* text;
};
constexpr LineEventText kLineEventTexts[] = {
    {0x0008, "CTS(clear-to-send) signal."},
    {0x0002, "EVENT character was received and placed in the input buffer."},
    {0x0040, "A break was detected on input."},
    {0x0080, "A line-status error occurred."},
    {0x0100, "A ring indicator was detected."},
    {0x0010, "DSR(data-set-ready) signal."},
    {0x0020, "RLSD(receive-line-signal-detect) signal."},
    {0x0004, "The last character in the output buffer was sent."},
};

// The record whose reader thread is the calling thread, if any.
thread_local const SerialRecord* currentReaderOf = nullptr;

}  // namespace

std::size_t LiveReaderThreadCount() {
    return liveReaders;
}

SerialRecord::SerialRecord(ChannelHandle handle, int portNumber, bool trace,
                           std::unique_ptr<SerialPort> port, ReceiveCallback callback)
    : ChannelRecord(handle, portNumber, trace),
      port_(std::move(port)),
      callback_(std::move(callback)) {}

SerialRecord::~SerialRecord() {
    if (reader_.joinable()) {
        // Only the reader thread itself can drop the last reference while it is joinable: when
        // the callback closed its own channel. It ends right after this.
        if (reader_.get_id() == std::this_thread::get_id()) {
            reader_.detach();
        } else {
            reader_.join();
        }
    }
}

SerialPort::Milliseconds SerialRecord::PortTimeout() const {
    return ConsoleMode() ? kConsoleTimeout : kNormalTimeout;
}

std::error_code SerialRecord::StartReader() {
    ++liveReaders;
    try {
        // The thread holds the record, so that a callback may even close its own channel.
        reader_ = std::thread(&SerialRecord::RunReader, shared_from_this());
    } catch (const std::system_error& failure) {
        --liveReaders;
        return failure.code();
    }
    return {};
}

ChannelResult SerialRecord::Write(const void* data, std::uint32_t count) {
    const OperationGate::Pass pass(gate_);
    if (!pass) {
        return ChannelResult::Failed;
    }
    if (Trace()) {
        TraceTextWithHex(
            TraceFormat("COM%d write request bytes(%u)...", PortNumber(), unsigned{count}), data,
            count);
    }
    if (!ConsoleMode()) {
        return FinishWrite(port_->WriteAll(data, count, kNormalTimeout), count);
    }
    // Console mode writes in the writer's thread as well, beside the reader thread's wait for
    // input (and from the callback on the reader thread itself); the port serialises writers.
    PortResult result = port_->WriteAll(data, count, kConsoleWriteWait);
    if (result.status == PortStatus::kOk) {
        if (Trace()) {
            TraceTextWithHex(
                TraceFormat("COM%d write bytes(%u) succeed.", PortNumber(), unsigned{count}), data,
                count);
        }
    } else if (result.status == PortStatus::kTimedOut) {
        // A console write that runs out of time is a time-out, whether or not the port took a
        // part of it.
        result.bytes = 0;
    } else if (Trace() && result.error) {
        TraceWarning(PortNumber(), result.call, result.error);
    }
    return FinishWrite(result, count);
}

ChannelResult SerialRecord::FinishWrite(const PortResult& result, std::uint32_t count) {
    ChannelResult outcome = ChannelResult::Failed;
    if (result.status == PortStatus::kOk && result.bytes == count) {
        outcome = ChannelResult::Done;
    } else if (result.status == PortStatus::kTimedOut && result.bytes == 0) {
        outcome = ChannelResult::Timeout;
    }
    if (Trace()) {
        static constexpr const char* kTexts[] = {
            "COM%d write failed!\r\n", "COM%d write timeout!\r\n", "COM%d write succeed.\r\n"};
        TraceText(TraceFormat(kTexts[static_cast<int>(outcome) + 1], PortNumber()));
    }
    return outcome;
}

ChannelResult SerialRecord::Read(void* buffer, std::uint32_t* count) {
    const OperationGate::Pass pass(gate_);
    if (!pass || ConsoleMode() || buffer == nullptr || count == nullptr) {
        return ChannelResult::Failed;
    }
    if (*count == 0) {
        return ChannelResult::Done;
    }
    const std::uint32_t wanted = std::min(*count, kChannelBufferSize);
    const PortResult result =
        port_->ReadWithTimeouts(buffer, wanted, kReadInterval, kNormalTimeout);
    auto* bytes = static_cast<char*>(buffer);
    if (result.status == PortStatus::kOk) {
        bytes[result.bytes] = 0;
        *count = static_cast<std::uint32_t>(result.bytes);
        if (Trace()) {
            TraceTextWithHex(
                TraceFormat("COM%d read bytes(%u) succeed.", PortNumber(), unsigned{*count}), bytes,
                result.bytes);
        }
        return ChannelResult::Done;
    }
    if (result.status == PortStatus::kTimedOut) {
        *count = 0;
        if (Trace()) {
            TraceText(TraceFormat("COM%d read timeout.", PortNumber()));
        }
        return ChannelResult::Timeout;
    }
    if (Trace() && result.error) {
        TraceWarning(PortNumber(), result.call, result.error);
    }
    return ChannelResult::Failed;
}

void SerialRecord::Purge(PurgeKind kind) {
    const OperationGate::Pass pass(gate_);
    if (!pass || port_->HungUp()) {
        return;
    }
    if (kind == PurgeKind::Both || kind == PurgeKind::Receive) {
        port_->DiscardInput();
    }
    if (kind == PurgeKind::Both || kind == PurgeKind::Transmit) {
        // Bytes a write has reported as written must reach the peer: wait for them to go out
        // rather than dropping them.
        port_->DrainOutput(PortTimeout());
    }
}

ChannelResult SerialRecord::Drain() {
    const OperationGate::Pass pass(gate_);
    if (!pass || port_->HungUp()) {
        return ChannelResult::Failed;
    }
    switch (port_->DrainOutput(PortTimeout())) {
        case PortStatus::kOk:
            return ChannelResult::Done;
        case PortStatus::kTimedOut:
            return ChannelResult::Timeout;
        default:
            return ChannelResult::Failed;
    }
}

bool SerialRecord::DeviceGone() {
    const OperationGate::Pass pass(gate_);
    return pass && port_->ProbeHungUp();
}

std::string SerialRecord::DeviceIdentity() {
    const OperationGate::Pass pass(gate_);
    return pass ? port_->Identity() : std::string{};
}

void SerialRecord::Close() {
    gate_.Shut();
    port_->Shutdown();
    if (currentReaderOf == this) {
        // Closed from its own callback: the thread ends once the callback returns, and the
        // port is released with the record.
        return;
    }
    if (reader_.joinable()) {
        reader_.join();
    }
    gate_.WaitUntilIdle();
    port_.reset();
}

void SerialRecord::RunReader(std::shared_ptr<SerialRecord> self) {
    currentReaderOf = self.get();
    self->ReaderLoop();
    currentReaderOf = nullptr;
    --liveReaders;
    // This may destroy the record, when its callback closed it; nothing of it is used after.
    self.reset();
}

void SerialRecord::ReaderLoop() {
    while (port_->WaitForInput()) {
        ServiceReceive();
    }
}

void SerialRecord::ServiceReceive() {
    if (Trace()) {
        // Named only when the port's event mask could not be read back, as the terminals' tool
        // does; a line error is cleared by the read below.
        const std::uint32_t events = port_->LineEventsWithoutMask();
        for (const LineEventText& event : kLineEventTexts) {
            if ((events & event.bit) != 0) {
                TraceText(event.text);
            }
        }
    }
    const PortResult result = port_->ReadAvailable(receive_.data(), kChannelBufferSize);
    if (result.status != PortStatus::kOk && Trace()) {
        TraceWarning(PortNumber(), result.call, result.error);
    }
    const auto total = static_cast<std::uint32_t>(result.bytes);
    if (total == 0) {
        return;
    }
    receive_[total] = 0;
    if (Trace()) {
        TraceTextWithHex(
            TraceFormat("COM%d read bytes(%u) succeed.", PortNumber(), unsigned{total}),
            receive_.data(), total);
    }
    try {
        callback_(Handle(), receive_.data(), total);
    } catch (...) {
        TraceText("lpfnCallBack() failed!");
    }
}

}  // namespace termload
