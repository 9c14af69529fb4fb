#include "engine/serial_link.h"

#include <algorithm>
#include <chrono>

#include "channels/port_map.h"
#include "channels/serial_channel.h"
#include "engine/download_job.h"
#include "engine/file_frame.h"
#include "engine/message_pump.h"

namespace termload {

namespace {

using Clock = std::chrono::steady_clock;

constexpr std::size_t kPieceSize = 512;
constexpr int kPieces = 9;

}  // namespace

SerialLink::SerialLink(const LinkContext& slot, const DownloadJob& job) : slot_(slot), job_(job) {}

bool SerialLink::Open(LinkMode mode) {
    const SlotChannelSettings& settings = job_.channel;
    const int port = slot_.portNumber;
    const bool opened =
        OpenChannel(slot_, mode, [&](const ReceiveCallback& callback) -> ChannelHandle {
            if (!settings.devices) {
                return ComOpen(port, settings.baudRate, settings.dataBits, settings.stopBitsIndex,
                               settings.parityIndex, settings.flowControlIndex, callback,
                               settings.traceLog);
            }
            const auto device = settings.devices->find(port);
            if (device == settings.devices->end()) {
                return 0;
            }
            // The device the run started with: one that has gone fails the open rather than let the
            // COM number reach whatever the table names now.
            return ComOpenDevice(port, device->second, settings.baudRate, settings.dataBits,
                                 settings.stopBitsIndex, settings.parityIndex,
                                 settings.flowControlIndex, callback, settings.traceLog);
        });
    if (opened) {
        NoteOpenedDevice();
    }
    return opened;
}

void SerialLink::NoteOpenedDevice() {
    // The port may have been closed while its terminal went and another came back under the same
    // name: the device just opened must be the one the pass began with.
    const std::string opened = ComDeviceIdentity(slot_.channel);
    if (passDevice_.empty()) {
        passDevice_ = opened;
    } else if (!opened.empty() && opened != passDevice_) {
        replaced_ = true;
    }
}

void SerialLink::Close() {
    // Whoever takes the handle out of the slot closes it: the thread and a stop never both do.
    if (const ChannelHandle channel = slot_.channel.exchange(0); channel != 0) {
        ComClose(channel);
    }
}

ChannelResult SerialLink::Write(std::span<const std::uint8_t> bytes) {
    if (bytes.size() > kChannelBufferSize) {
        return ChannelResult::Failed;
    }
    return ComWrite(slot_.channel, bytes.data(), static_cast<std::uint32_t>(bytes.size()));
}

ChannelResult SerialLink::Read(std::span<std::uint8_t> into, std::uint32_t timeoutMs,
                               std::size_t& got) {
    got = 0;
    // The port ends a read 2000 ms after it began, or 250 ms after the last byte: read again
    // while nothing has come and the caller's time-out runs.
    const auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
    std::uint8_t buffer[kChannelBufferSize + 1];
    for (;;) {
        auto count =
            static_cast<std::uint32_t>(std::min<std::size_t>(into.size(), kChannelBufferSize));
        const ChannelResult result = ComRead(slot_.channel, buffer, &count);
        if (result != ChannelResult::Timeout || Clock::now() >= deadline ||
            slot_.stop.IsRequested()) {
            if (result == ChannelResult::Done) {
                std::copy_n(buffer, count, into.begin());
                got = count;
            }
            return result;
        }
    }
}

void SerialLink::Purge() {
    ComPurge(slot_.channel, PurgeKind::Both);
}

std::optional<FailureCause> SerialLink::SendPieces(std::span<const std::uint8_t> wire) {
    for (int piece = 0; piece < kPieces; ++piece) {
        if (slot_.stop.IsRequested()) {
            return std::nullopt;
        }
        const std::size_t offset = static_cast<std::size_t>(piece) * kPieceSize;
        const std::size_t length = std::min(kPieceSize, wire.size() - offset);
        const ChannelHandle channel = slot_.channel;
        const auto began = Clock::now();
        if (ComWrite(channel, wire.data() + offset, static_cast<std::uint32_t>(length)) !=
            ChannelResult::Done) {
            // A terminal that merely stops taking bytes makes the write wait for its whole
            // time-out; one that fails at once went away.
            const bool hungUp = Clock::now() - began < std::chrono::milliseconds(kHangUpWithinMs);
            return hungUp ? FailureCause::HangUp : FailureCause::TimeOut;
        }
        DelayWithMessages(job_.pacing.usbDelayMs);
        if (piece == 3 || piece == 7) {
            ComPurge(channel, PurgeKind::Both);
        }
    }
    return std::nullopt;
}

std::optional<FailureCause> SerialLink::SendFrame(const FileFrame& frame) {
    if (replaced_) {
        // Not the pass's terminal: none of its frames goes to the one that took its place.
        return FailureCause::HangUp;
    }
    if (job_.newMachine) {
        return SendPieces(frame.bytes);
    }
    CompactFrame compact;
    BuildCompactFrame(frame, compact);
    return SendPieces(compact);
}

std::optional<FailureCause> SerialLink::Drain() {
    switch (ComDrain(slot_.channel)) {
        case ChannelResult::Done:
            return std::nullopt;
        case ChannelResult::Timeout:
            return FailureCause::TimeOut;
        default:
            return FailureCause::HangUp;
    }
}

bool SerialLink::SendConsoleBytes(std::span<const std::uint8_t> bytes) {
    for (const std::uint8_t byte : bytes) {
        if (ComWrite(slot_.channel, &byte, 1) != ChannelResult::Done) {
            return false;
        }
        DelayWithMessages(slot_.time.consoleByteGapMs);
    }
    return true;
}

std::optional<std::string> SerialLink::ExchangeVersion(std::span<const std::uint8_t> request) {
    if (Write(request) != ChannelResult::Done) {
        return std::nullopt;
    }
    DelayWithMessages(slot_.time.versionReplyWaitSerialMs);
    std::uint8_t reply[kChannelBufferSize + 1];
    auto count = static_cast<std::uint32_t>(kChannelBufferSize);
    if (ComRead(slot_.channel, reply, &count) != ChannelResult::Done) {
        return std::string{};
    }
    return std::string(reinterpret_cast<const char*>(reply), count);
}

std::string SerialLink::DeviceNow() const {
    std::optional<std::string> path;
    if (job_.channel.devices) {
        // The run's own table: the path stays, the device behind it may change.
        if (const auto entry = job_.channel.devices->find(slot_.portNumber);
            entry != job_.channel.devices->end()) {
            path = entry->second;
        }
    } else {
        path = ResolveComPort(slot_.portNumber);
    }
    // Not the path but the device: a node re-created under the same name is another device.
    return path ? SerialDeviceIdentity(*path) : std::string{};
}

void SerialLink::BeginPass() {
    replaced_ = false;
    passDevice_ = DeviceNow();
    if (passDevice_.empty() && slot_.channel != 0) {
        passDevice_ = ComDeviceIdentity(slot_.channel);
    }
}

bool SerialLink::DeviceReplaced() const {
    if (replaced_) {
        return true;
    }
    // The port still open from the last file: a terminal that hung up after its last frame is
    // seen there, also where the system gives the device no identity (a COM port on Windows).
    if (const ChannelHandle channel = slot_.channel; channel != 0 && ComDeviceGone(channel)) {
        return true;
    }
    if (passDevice_.empty()) {
        return false;
    }
    // A device that has gone fails the open, with its own text.
    const std::string now = DeviceNow();
    return !now.empty() && now != passDevice_;
}

}  // namespace termload
