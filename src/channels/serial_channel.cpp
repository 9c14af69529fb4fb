#include "channels/serial_channel.h"

#include <memory>
#include <optional>
#include <string>
#include <utility>

#include "channels/port_map.h"
#include "channels/serial_identity.h"
#include "channels/serial_record.h"
#include "channels/trace_log.h"

namespace termload {
namespace {

std::shared_ptr<SerialRecord> FindSerialRecord(ChannelHandle handle) {
    return std::dynamic_pointer_cast<SerialRecord>(FindChannel(handle));
}

}  // namespace

ChannelHandle ComOpen(int portNumber, int baudRate, int byteSize, int stopBitsIndex,
                      int parityIndex, int flowControlIndex, ReceiveCallback callback, bool trace) {
    const std::optional<std::string> device = ResolveComPort(portNumber);
    if (!device) {
        return 0;
    }
    return ComOpenDevice(portNumber, *device, baudRate, byteSize, stopBitsIndex, parityIndex,
                         flowControlIndex, std::move(callback), trace);
}

ChannelHandle ComOpenDevice(int portNumber, const std::string& device, int baudRate, int byteSize,
                            int stopBitsIndex, int parityIndex, int flowControlIndex,
                            ReceiveCallback callback, bool trace) {
    // A port that does not exist, or is held by someone else, fails quietly.
    std::error_code error;
    std::unique_ptr<SerialPort> port = SerialPort::Open(device, error);
    if (!port) {
        return 0;
    }
    // Like a missing port, one that cannot take the settings fails the open without a line.
    const char* failedCall = "";
    if (port->Configure({baudRate, byteSize, stopBitsIndex, parityIndex, flowControlIndex},
                        failedCall)) {
        return 0;
    }

    const bool consoleMode = static_cast<bool>(callback);
    auto record = std::make_shared<SerialRecord>(NewChannelHandle(), portNumber, trace,
                                                 std::move(port), std::move(callback));
    if (trace) {
        TraceText(TraceFormat("HeapAlloc %p...", static_cast<const void*>(record.get())));
    }
    if (consoleMode) {
        if (const std::error_code failure = record->StartReader()) {
            if (trace) {
                TraceWarning(portNumber, "thread start", failure);
            }
            record->Close();
            return 0;
        }
    }
    if (trace) {
        TraceText(TraceFormat(
            consoleMode ? "COM%d opened(overlapped)..." : "COM%d opened(normal)...", portNumber));
    }
    const ChannelHandle handle = record->Handle();
    RegisterChannel(std::move(record));
    return handle;
}

ChannelResult ComWrite(ChannelHandle handle, const void* data, std::uint32_t count) {
    if (count == 0) {
        return ChannelResult::Done;
    }
    if (count > kChannelBufferSize || data == nullptr) {
        return ChannelResult::Failed;
    }
    const auto record = FindSerialRecord(handle);
    return record ? record->Write(data, count) : ChannelResult::Failed;
}

ChannelResult ComRead(ChannelHandle handle, void* buffer, std::uint32_t* count) {
    const auto record = FindSerialRecord(handle);
    return record ? record->Read(buffer, count) : ChannelResult::Failed;
}

std::string SerialDeviceIdentity(const std::string& device) {
    return SerialDeviceIdentityOf(device);
}

std::string ComDeviceIdentity(ChannelHandle handle) {
    const auto record = FindSerialRecord(handle);
    return record ? record->DeviceIdentity() : std::string{};
}

bool ComDeviceGone(ChannelHandle handle) {
    const auto record = FindSerialRecord(handle);
    return record && record->DeviceGone();
}

void ComPurge(ChannelHandle handle, PurgeKind kind) {
    if (handle <= 0) {
        return;
    }
    if (const auto record = FindSerialRecord(handle)) {
        record->Purge(kind);
    }
}

ChannelResult ComDrain(ChannelHandle handle) {
    if (handle <= 0) {
        return ChannelResult::Failed;
    }
    const auto record = FindSerialRecord(handle);
    return record ? record->Drain() : ChannelResult::Failed;
}

}  // namespace termload
