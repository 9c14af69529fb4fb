// The serial port's rules that hold on every platform, over the backend's primitives.
#include "channels/serial_port.h"

#include <algorithm>
#include <utility>

#include "channels/serial_backend.h"

namespace termload {
namespace {

using Clock = SerialBackend::Clock;
using Direction = SerialBackend::Direction;
using WaitResult = SerialBackend::WaitResult;

PortResult Status(std::size_t bytes, PortStatus status) {
    return {bytes, status, {}, ""};
}

}  // namespace

int BitsPerCharacter(const SerialSettings& settings) {
    return 1 + settings.byteSize + (settings.parityIndex != 0 ? 1 : 0) +
           (settings.stopBitsIndex != 0 ? 2 : 1);
}

std::unique_ptr<SerialPort> SerialPort::Open(const std::string& devicePath,
                                             std::error_code& error) {
    std::unique_ptr<SerialBackend> backend = OpenSerialBackend(devicePath, error);
    return backend ? std::make_unique<SerialPort>(std::move(backend)) : nullptr;
}

SerialPort::SerialPort(std::unique_ptr<SerialBackend> backend) : backend_(std::move(backend)) {}
SerialPort::~SerialPort() = default;

std::error_code SerialPort::Configure(const SerialSettings& settings, const char*& call) {
    if (auto error = backend_->Configure(settings, call)) {
        return error;
    }
    baudRate_ = settings.baudRate;
    bitsPerCharacter_ = BitsPerCharacter(settings);
    return {};
}

PortResult SerialPort::ReadAvailable(void* buffer, std::size_t count) {
    return backend_->ReadNow(buffer, count);
}

PortResult SerialPort::ReadWithTimeouts(void* buffer, std::size_t count, Milliseconds interval,
                                        Milliseconds total) {
    const std::lock_guard input(inputMutex_);
    auto* bytes = static_cast<char*>(buffer);
    const auto deadline = Clock::now() + total;
    std::size_t got = 0;
    while (got < count) {
        PortResult part = backend_->ReadNow(bytes + got, count - got);
        got += part.bytes;
        if (part.status != PortStatus::kOk) {
            // Bytes that arrived before the failure are still delivered; the next call fails.
            if (got > 0) {
                break;
            }
            return part;
        }
        if (got == count) {
            break;
        }
        // The interval time-out runs from the last byte, and never past the total one.
        const auto waitUntil = got > 0 ? std::min(deadline, Clock::now() + interval) : deadline;
        const WaitResult ready = backend_->Wait(Direction::kInput, waitUntil);
        if (ready == WaitResult::kShutDown) {
            return Status(got, PortStatus::kShutDown);
        }
        if (ready == WaitResult::kTimedOut) {
            break;
        }
        // kHungUp: the next read reports it, after what was still queued.
    }
    return Status(got, got > 0 ? PortStatus::kOk : PortStatus::kTimedOut);
}

PortResult SerialPort::WriteAll(const void* data, std::size_t count, Milliseconds total) {
    const std::lock_guard output(outputMutex_);
    const auto* bytes = static_cast<const char*>(data);
    const auto deadline = Clock::now() + total;
    const std::size_t queuedBefore = outputDrained_ ? 0 : backend_->OutputQueued();
    outputDrained_ = false;
    std::size_t accepted = 0;

    // Ends an unfinished write. What is still queued of it is dropped, but only when the queue
    // provably holds nothing else (it was empty when the write began): a flush takes everything
    // not yet sent, and earlier writes have reported their bytes as written. Where the queue
    // cannot be seen (a pty reports it empty) nothing is dropped. The result tells how many
    // bytes went out.
    const auto abort = [&](PortResult result) {
        const std::size_t queued = backend_->OutputQueued();
        if (queuedBefore == 0 && queued > 0 && queued <= accepted) {
            backend_->DiscardOutput();
        }
        result.bytes = accepted - std::min(queued, accepted);
        return result;
    };

    while (accepted < count) {
        PortResult part = backend_->WriteNow(bytes + accepted, count - accepted);
        accepted += part.bytes;
        if (part.status != PortStatus::kOk) {
            return abort(part);
        }
        if (accepted == count) {
            break;
        }
        switch (backend_->Wait(Direction::kOutput, deadline)) {
            case WaitResult::kReady:
            case WaitResult::kHungUp:  // the next write reports it
                break;
            case WaitResult::kTimedOut:
                return abort(Status(0, PortStatus::kTimedOut));
            case WaitResult::kShutDown:
                return abort(Status(0, PortStatus::kShutDown));
        }
    }
    const auto remaining = std::chrono::duration_cast<Milliseconds>(deadline - Clock::now());
    const PortStatus drained = DrainOutput(std::max(remaining, Milliseconds(0)));
    if (drained != PortStatus::kOk) {
        return abort(Status(0, drained));
    }
    outputDrained_ = true;
    return Status(count, PortStatus::kOk);
}

PortStatus SerialPort::DrainOutput(Milliseconds limit) {
    const auto deadline = Clock::now() + limit;
    for (;;) {
        const std::size_t queued = backend_->OutputQueued();
        if (queued == 0) {
            return PortStatus::kOk;
        }
        if (backend_->HungUp()) {
            return PortStatus::kHungUp;
        }
        if (Clock::now() >= deadline) {
            return PortStatus::kTimedOut;
        }
        // Sleep for about the time the queued bytes take on the line, but wake for close.
        const auto lineTime =
            Milliseconds(1 + static_cast<long long>(queued) * bitsPerCharacter_ * 1000 / baudRate_);
        if (backend_->WaitForShutdown(std::min(deadline, Clock::now() + lineTime))) {
            return PortStatus::kShutDown;
        }
    }
}

bool SerialPort::WaitForInput() {
    const std::lock_guard input(inputMutex_);
    switch (backend_->Wait(Direction::kInput, SerialBackend::kNoDeadline)) {
        case WaitResult::kReady:
            return true;
        case WaitResult::kHungUp:
            backend_->WaitForShutdown(SerialBackend::kNoDeadline);
            return false;
        case WaitResult::kTimedOut:  // not with this deadline; read, to be safe
            return true;
        case WaitResult::kShutDown:
            break;
    }
    return false;
}

void SerialPort::Shutdown() {
    backend_->Shutdown();
}

bool SerialPort::HungUp() const {
    return backend_->HungUp();
}

std::uint32_t SerialPort::LineEventsWithoutMask() {
    return backend_->LineEventsWithoutMask();
}

bool SerialPort::ProbeHungUp() {
    return backend_->ProbeHungUp();
}

std::string SerialPort::Identity() {
    return backend_->Identity();
}

void SerialPort::DiscardInput() {
    backend_->DiscardInput();
}

}  // namespace termload
