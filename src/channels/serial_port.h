#pragma once

#include <chrono>
#include <cstddef>
#include <memory>
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

// What woke the reader thread of a console-mode port.
struct PortWakeReasons {
    bool readable = false;
    bool writable = false;
    bool woken = false;     // Wake() was called
    bool shutDown = false;  // Shutdown() was called
    bool hungUp = false;    // the device is gone; further waits no longer watch it
};

// One open serial device. The platform's backend implements it; nothing else touches the
// operating system's port calls. Every operation is safe to call from any thread while another
// thread waits on the port, and every wait ends promptly when Shutdown() is called.
class SerialPort {
  public:
    using Milliseconds = std::chrono::milliseconds;

    // Opens an existing character device for exclusive reading and writing. Null with `error`
    // set when the device is missing, busy or not a terminal.
    static std::unique_ptr<SerialPort> Open(const std::string& devicePath, std::error_code& error);
    ~SerialPort();
    SerialPort(const SerialPort&) = delete;
    SerialPort& operator=(const SerialPort&) = delete;

    // Raw binary line with the given settings, both queues cleared; DTR and RTS raised unless
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

    // For the reader thread: waits without a time-out for input, for room in the output queue
    // (when `wantWritable`), for Wake() or for Shutdown().
    PortWakeReasons WaitForEvent(bool wantWritable);
    // Reads what is queued now, up to `count` bytes, without waiting.
    PortResult ReadAvailable(void* buffer, std::size_t count);
    // Writes as many bytes as the output queue takes now, without waiting.
    PortResult WriteAvailable(const void* data, std::size_t count);

    // Ends the current or next WaitForEvent.
    void Wake();
    // Ends every wait now and later; the port only waits to be destroyed.
    void Shutdown();
    bool HungUp() const;

    void DiscardInput();
    // Waits, at most `limit`, until queued output has gone out, dropping nothing.
    PortStatus DrainOutput(Milliseconds limit);

  private:
    struct Impl;
    explicit SerialPort(std::unique_ptr<Impl> impl);
    std::unique_ptr<Impl> impl_;
};

}  // namespace termload
