#pragma once

#include <array>
#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>
#include <system_error>
#include <thread>

#include "channels/channel_list.h"
#include "channels/operation_gate.h"
#include "channels/serial_channel.h"
#include "channels/serial_port.h"

namespace termload {

// One open COM port. In console mode its reader thread owns the port: it delivers received
// bytes to the callback and carries out the writes that writers hand to it. In normal mode the
// caller's thread does the I/O.
class SerialRecord final : public ChannelRecord, public std::enable_shared_from_this<SerialRecord> {
  public:
    SerialRecord(ChannelHandle handle, int portNumber, bool trace, std::unique_ptr<SerialPort> port,
                 ReceiveCallback callback);
    ~SerialRecord() override;

    bool ConsoleMode() const { return static_cast<bool>(callback_); }

    // Console mode: starts the reader thread.
    std::error_code StartReader();

    // The operations behind ComWrite (1 to 2048 bytes), ComRead and ComPurge.
    int Write(const void* data, std::uint32_t count);
    int Read(void* buffer, std::uint32_t* count);
    void Purge(int kind);

    void Close() override;

  private:
    enum class WriteState { kIdle, kRequested, kDone, kFailed, kAbandoned };

    // The time-out T of the port: bounds a normal-mode read or write and a purge's wait.
    SerialPort::Milliseconds PortTimeout() const;

    int WriteNormal(const void* data, std::uint32_t count);
    int WriteThroughReader(const void* data, std::uint32_t count);
    // 1, 0 or -1 for a write that ended with `result`, and its trace line.
    int FinishWrite(const PortResult& result, std::uint32_t count);

    static void RunReader(std::shared_ptr<SerialRecord> self);
    void ReaderLoop();
    void ServiceReceive();
    // Moves the pending write on; true while it waits for room in the output queue.
    bool ServiceWrite();

    std::unique_ptr<SerialPort> port_;
    const ReceiveCallback callback_;
    OperationGate gate_;
    std::mutex writerMutex_;  // one write at a time per port

    // Console mode: the hand-over between writers and the reader thread. The transmit buffer
    // and its length belong to the writer while the state is kIdle and to the reader thread
    // from kRequested until it reports kDone or kFailed, or winds up a kAbandoned write.
    std::mutex exchangeMutex_;
    std::condition_variable exchangeChanged_;
    WriteState writeState_ = WriteState::kIdle;
    bool readerRunning_ = false;
    bool closing_ = false;
    std::array<char, kChannelBufferSize + 1> transmit_{};
    std::uint32_t transmitLength_ = 0;
    std::uint32_t transmitSent_ = 0;

    std::array<char, kChannelBufferSize + 1> receive_{};  // the reader thread's own
    std::thread reader_;
};

}  // namespace termload
