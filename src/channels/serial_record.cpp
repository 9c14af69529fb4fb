#include "channels/serial_record.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstring>

#include "channels/trace_log.h"

namespace termload {
namespace {

using Milliseconds = SerialPort::Milliseconds;

constexpr Milliseconds kConsoleTimeout{1000};
constexpr Milliseconds kNormalTimeout{2000};
constexpr Milliseconds kReadInterval{250};
// How long a console-mode writer waits for the reader thread to finish its write.
constexpr Milliseconds kConsoleWriteWait{4000};

std::atomic<std::size_t> liveReaders{0};

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
    {
        std::lock_guard lock(exchangeMutex_);
        readerRunning_ = true;
    }
    ++liveReaders;
    try {
        // The thread holds the record, so that a callback may even close its own channel.
        reader_ = std::thread(&SerialRecord::RunReader, shared_from_this());
    } catch (const std::system_error& failure) {
        --liveReaders;
        std::lock_guard lock(exchangeMutex_);
        readerRunning_ = false;
        return failure.code();
    }
    return {};
}

int SerialRecord::Write(const void* data, std::uint32_t count) {
    const OperationGate::Pass pass(gate_);
    if (!pass) {
        return kChannelFailed;
    }
    if (Trace()) {
        TraceTextWithHex(
            TraceFormat("COM%d write request bytes(%u)...", PortNumber(), unsigned{count}), data,
            count);
    }
    if (!ConsoleMode()) {
        return WriteNormal(data, count);
    }
    if (currentReaderOf == this) {
        // The callback writes to its own port: the reader thread is busy running it.
        return FinishWrite(port_->WriteAll(data, count, kConsoleTimeout), count);
    }
    return WriteThroughReader(data, count);
}

int SerialRecord::WriteNormal(const void* data, std::uint32_t count) {
    const std::lock_guard writer(writerMutex_);
    return FinishWrite(port_->WriteAll(data, count, kNormalTimeout), count);
}

int SerialRecord::FinishWrite(const PortResult& result, std::uint32_t count) {
    int outcome = kChannelFailed;
    if (result.status == PortStatus::kOk && result.bytes == count) {
        outcome = kChannelDone;
    } else if (result.status == PortStatus::kTimedOut && result.bytes == 0) {
        outcome = kChannelTimeout;
    }
    if (Trace()) {
        static constexpr const char* kTexts[] = {
            "COM%d write failed!\r\n", "COM%d write timeout!\r\n", "COM%d write succeed.\r\n"};
        TraceText(TraceFormat(kTexts[outcome + 1], PortNumber()));
    }
    return outcome;
}

int SerialRecord::WriteThroughReader(const void* data, std::uint32_t count) {
    const std::lock_guard writer(writerMutex_);
    const auto deadline = std::chrono::steady_clock::now() + kConsoleWriteWait;
    std::unique_lock lock(exchangeMutex_);
    const auto unavailable = [this] { return closing_ || !readerRunning_; };

    // A write abandoned before may still be winding up in the reader thread.
    if (!exchangeChanged_.wait_until(
            lock, deadline, [&] { return unavailable() || writeState_ == WriteState::kIdle; })) {
        lock.unlock();
        return FinishWrite({0, PortStatus::kTimedOut, {}, ""}, count);
    }
    if (unavailable()) {
        lock.unlock();
        return FinishWrite({0, PortStatus::kShutDown, {}, ""}, count);
    }
    std::memcpy(transmit_.data(), data, count);
    transmit_[count] = 0;
    transmitLength_ = count;
    transmitSent_ = 0;
    writeState_ = WriteState::kRequested;
    port_->Wake();

    const bool finished = exchangeChanged_.wait_until(lock, deadline, [&] {
        return unavailable() || writeState_ == WriteState::kDone ||
               writeState_ == WriteState::kFailed;
    });
    PortResult result{0, PortStatus::kShutDown, {}, ""};
    if (!finished) {
        // The reader thread drops what it could not send yet.
        writeState_ = WriteState::kAbandoned;
        port_->Wake();
        result.status = PortStatus::kTimedOut;
    } else if (writeState_ == WriteState::kDone) {
        writeState_ = WriteState::kIdle;
        result = {count, PortStatus::kOk, {}, ""};
    } else if (writeState_ == WriteState::kFailed) {
        writeState_ = WriteState::kIdle;
        result.status = PortStatus::kFailed;
    }
    lock.unlock();
    return FinishWrite(result, count);
}

int SerialRecord::Read(void* buffer, std::uint32_t* count) {
    const OperationGate::Pass pass(gate_);
    if (!pass || ConsoleMode() || buffer == nullptr || count == nullptr) {
        return kChannelFailed;
    }
    if (*count == 0) {
        return kChannelDone;
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
        return kChannelDone;
    }
    if (result.status == PortStatus::kTimedOut) {
        *count = 0;
        if (Trace()) {
            TraceText(TraceFormat("COM%d read timeout.", PortNumber()));
        }
        return kChannelTimeout;
    }
    if (Trace() && result.error) {
        TraceWarning(PortNumber(), result.call, result.error);
    }
    return kChannelFailed;
}

void SerialRecord::Purge(int kind) {
    const OperationGate::Pass pass(gate_);
    if (!pass || port_->HungUp()) {
        return;
    }
    if (kind == 0 || kind == 1) {
        port_->DiscardInput();
    }
    if (kind == 0 || kind == 2) {
        // Bytes a write has reported as written must reach the peer: wait for them to go out
        // rather than dropping them.
        port_->DrainOutput(PortTimeout());
    }
}

void SerialRecord::Close() {
    gate_.Shut();
    port_->Shutdown();
    {
        std::lock_guard lock(exchangeMutex_);
        closing_ = true;
    }
    exchangeChanged_.notify_all();
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
    {
        std::lock_guard lock(self->exchangeMutex_);
        self->readerRunning_ = false;
    }
    self->exchangeChanged_.notify_all();
    --liveReaders;
    // This may destroy the record, when its callback closed it; nothing of it is used after.
    self.reset();
}

void SerialRecord::ReaderLoop() {
    bool wantWritable = false;
    for (;;) {
        const PortWakeReasons reasons = port_->WaitForEvent(wantWritable);
        if (reasons.shutDown) {
            return;
        }
        if (reasons.readable) {
            ServiceReceive();
        }
        wantWritable = ServiceWrite();
    }
}

void SerialRecord::ServiceReceive() {
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

bool SerialRecord::ServiceWrite() {
    std::unique_lock lock(exchangeMutex_);
    if (writeState_ == WriteState::kAbandoned) {
        // The writer gave up: the rest of its bytes are not sent. What the port has taken stays,
        // as it cannot be told apart from earlier writes' bytes.
        writeState_ = WriteState::kIdle;
        lock.unlock();
        exchangeChanged_.notify_all();
        return false;
    }
    if (writeState_ != WriteState::kRequested) {
        return false;
    }
    lock.unlock();

    const PortResult result =
        port_->WriteAvailable(transmit_.data() + transmitSent_, transmitLength_ - transmitSent_);
    transmitSent_ += static_cast<std::uint32_t>(result.bytes);
    WriteState outcome = WriteState::kDone;
    if (result.status != PortStatus::kOk) {
        if (Trace()) {
            TraceWarning(PortNumber(), result.call, result.error);
        }
        outcome = WriteState::kFailed;
    } else if (transmitSent_ < transmitLength_) {
        return true;
    } else if (Trace()) {
        TraceTextWithHex(
            TraceFormat("COM%d write bytes(%u) succeed.", PortNumber(), unsigned{transmitLength_}),
            transmit_.data(), transmitLength_);
    }

    lock.lock();
    if (writeState_ == WriteState::kAbandoned) {
        outcome = WriteState::kIdle;
    }
    writeState_ = outcome;
    lock.unlock();
    exchangeChanged_.notify_all();
    return false;
}

}  // namespace termload
