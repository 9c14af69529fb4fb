#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <system_error>
#include <thread>

#include "channels/channel_list.h"
#include "channels/operation_gate.h"
#include "channels/serial_channel.h"
#include "channels/serial_port.h"

namespace termload {

// One open COM port. In console mode a reader thread of its own waits for input and delivers it
// to the callback; in both modes writes run in the writer's thread, one at a time, and in normal
// mode reads too.
class SerialRecord final : public ChannelRecord, public std::enable_shared_from_this<SerialRecord> {
  public:
    SerialRecord(ChannelHandle handle, int portNumber, bool trace, std::unique_ptr<SerialPort> port,
                 ReceiveCallback callback);
    ~SerialRecord() override;

    bool ConsoleMode() const { return static_cast<bool>(callback_); }

    // Console mode: starts the reader thread.
    std::error_code StartReader();

    // The operations behind ComWrite (1 to 2048 bytes), ComRead and ComPurge.
    ChannelResult Write(const void* data, std::uint32_t count);
    ChannelResult Read(void* buffer, std::uint32_t* count);
    void Purge(PurgeKind kind);
    // The result of ComDrain.
    ChannelResult Drain();
    // The device behind the port: whether it has gone (asked now), and its identity.
    bool DeviceGone();
    std::string DeviceIdentity();

    void Close() override;

  private:
    // The time-out T of the port: bounds a normal-mode read or write and a purge's wait.
    SerialPort::Milliseconds PortTimeout() const;

    // The result of a write that ended with `result`, and its trace line.
    ChannelResult FinishWrite(const PortResult& result, std::uint32_t count);

    static void RunReader(std::shared_ptr<SerialRecord> self);
    void ReaderLoop();
    void ServiceReceive();

    std::unique_ptr<SerialPort> port_;
    const ReceiveCallback callback_;
    OperationGate gate_;

    std::array<char, kChannelBufferSize + 1> receive_{};  // the reader thread's own
    std::thread reader_;
};

}  // namespace termload
