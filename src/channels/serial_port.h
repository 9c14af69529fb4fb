#pragma once

#include <atomic>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <system_error>

namespace termload {

// Line settings as the main window's serial lists give them: the baud rate and byte size as
// numbers, the stop bits ("1", "1.5", "2"), parity (none, odd, even, mark, space) and flow
// control (none, Xon/Xoff, hardware; any other index keeps the driver's flow settings) as
// indexes.
struct SerialSettings {
    int baudRate = 115200;
    int byteSize = 8;
    int stopBitsIndex = 0;
    int parityIndex = 0;
    int flowControlIndex = 0;
};

enum class PortStatus {
    kOk,        // the operation did what was asked
    kTimedOut,  // its time ran out
    kShutDown,  // the port is being closed
    kHungUp,    // the device went away (peer closed, adapter pulled)
    kFailed,    // a system call failed
};

struct PortResult {
    std::size_t bytes = 0;  // bytes moved, even when the status reports a problem
    PortStatus status = PortStatus::kOk;
    std::error_code error;  // for kFailed and kHungUp
    const char* call = "";  // the system call that failed
};

class SerialBackend;

// One open serial device: the rules every platform shares (how read time-outs compose, that
// bytes a write reported as sent are never dropped, the drain wait), over the platform's
// primitives in serial_backend.h. Every operation is safe to call from any thread while another
// thread waits on the port, and every wait ends promptly when Shutdown() is called.
class SerialPort {
  public:
    using Milliseconds = std::chrono::milliseconds;

    // Opens an existing character device for exclusive reading and writing. Null with `error`
    // set when the device is missing, busy or not a terminal.
    static std::unique_ptr<SerialPort> Open(const std::string& devicePath, std::error_code& error);
    explicit SerialPort(std::unique_ptr<SerialBackend> backend);
    ~SerialPort();
    SerialPort(const SerialPort&) = delete;
    SerialPort& operator=(const SerialPort&) = delete;

    // Raw binary line with the given settings, stale input cleared; DTR and RTS raised unless
    // flow control is left to the driver. `call` names what failed.
    std::error_code Configure(const SerialSettings& settings, const char*& call);

    // Reads up to `count` bytes: returns when `count` bytes are in, when `interval` passes
    // after a byte without another, or when `total` has passed.
    PortResult ReadWithTimeouts(void* buffer, std::size_t count, Milliseconds interval,
                                Milliseconds total);
    // Writes every byte and returns once they have left the output queue. When that does not
    // happen within `total`, or the write fails, the rest of the write is abandoned and `bytes`
    // tells how many went out. Bytes of earlier writes are never dropped.
    PortResult WriteAll(const void* data, std::size_t count, Milliseconds total);

    // For the reader thread: waits without a time-out until input is queued or the device has
    // gone (true: read it), or until Shutdown() (false). A device that has gone is reported
    // once; after that the wait lasts until Shutdown(), so a dead port cannot spin the thread.
    bool WaitForInput();
    // Reads what is queued now, up to `count` bytes, without waiting.
    PortResult ReadAvailable(void* buffer, std::size_t count);

    // Ends every wait now and later; the port only waits to be destroyed.
    void Shutdown();
    bool HungUp() const;
    // The line events to trace before a delivery (see SerialBackend::LineEventsWithoutMask).
    std::uint32_t LineEventsWithoutMask();
    // Asks the device now whether it has gone (the terminal hung up), without waiting.
    bool ProbeHungUp();
    // What tells the device behind the port from one that later takes its place under the same
    // name; empty when the system tells nothing.
    std::string Identity();

    void DiscardInput();
    // Waits, at most `limit`, until queued output has gone out, dropping nothing.
    PortStatus DrainOutput(Milliseconds limit);

  private:
    std::unique_ptr<SerialBackend> backend_;
    std::mutex inputMutex_;   // one input wait at a time, as the backends require
    std::mutex outputMutex_;  // one writer at a time: an abort judges the queue as its own
    // Under outputMutex_: the last write drained the queue, and only writes add to it, so the
    // next one begins on an empty queue without asking the driver.
    bool outputDrained_ = false;
    std::atomic<int> baudRate_{9600};
    std::atomic<int> bitsPerCharacter_{10};
};

// Bits on the line per character: start, data, parity, stop.
int BitsPerCharacter(const SerialSettings& settings);

}  // namespace termload
