// The primitives a platform gives the serial port (serial_port.cpp holds the policy built on
// them). Private to the channel library: nothing outside src/channels includes this header.
//
// One backend per platform, in one file: serial_backend_posix.cpp (termios, poll() over the
// port and a shutdown pipe) and serial_backend_win32.cpp (overlapped I/O, which meets the same
// contract as the notes marked "Win32" below say).
//
// Common rules
// - Threads: every primitive may be called from any thread while other threads wait in
//   Wait() or WaitForShutdown(). At most one thread waits for input and at most one for output
//   at a time (serial_port.cpp holds a lock per direction), so a backend may keep one
//   overlapped record per direction; any number of threads may sit in WaitForShutdown(). Win32:
//   open the port with FILE_FLAG_OVERLAPPED in both modes; the blocking behaviour of normal mode is
//   built by the policy from these waits.
// - No primitive blocks for longer than a system call that has data to move takes, except
//   Wait() and WaitForShutdown(), which block until their deadline at most.
// - Shutdown() ends every wait, now and later, within milliseconds. It does not release the
//   device (destruction does) and no primitive fails or crashes after it.
// - Errors: a result carries the system's error code and the name of the call that failed.
//   kHungUp means the device has gone (peer of a pty closed, USB adapter pulled; Win32:
//   ERROR_DEVICE_REMOVED, ERROR_BAD_COMMAND, ERROR_ACCESS_DENIED, ERROR_OPERATION_ABORTED
//   from a port that is not shut down) and is sticky: HungUp() stays true from then on.
//   kFailed is any other failing call. Neither ends the port; close does.
#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <system_error>

#include "channels/serial_port.h"

namespace termload {

class SerialBackend {
  public:
    using Clock = std::chrono::steady_clock;
    // A wait with no deadline.
    static constexpr Clock::time_point kNoDeadline = Clock::time_point::max();

    enum class Direction { kInput, kOutput };
    enum class WaitResult {
        kReady,     // input is queued / the output queue has room / the device just hung up
        kTimedOut,  // the deadline passed first
        kShutDown,  // Shutdown() was called
        kHungUp,    // the device had already hung up: the port is no longer watched
    };

    virtual ~SerialBackend() = default;

    // Raw binary line with `settings`, input queue cleared, output queue kept (it may still hold
    // a previous handle's last frames). DTR and RTS raised unless flow control is left to the
    // driver. Settings the device does not take fail, with `call` naming what.
    // Win32: GetCommState/SetCommState with the DCB of these settings, SetupComm(2048, 2048),
    // PurgeComm(PURGE_RXCLEAR), comm time-outs that never hold a read of queued bytes back.
    virtual std::error_code Configure(const SerialSettings& settings, const char*& call) = 0;

    // Reads what is queued now, up to `count` bytes, without waiting. `bytes` is what was read
    // even when the status reports a problem; kHungUp only when nothing could be read.
    // Win32: ClearCommError for cbInQue, then ReadFile of min(count, cbInQue) bytes with the
    // input overlapped record; with that many queued it completes at once (GetOverlappedResult
    // with wait is allowed, it returns at once).
    virtual PortResult ReadNow(void* buffer, std::size_t count) = 0;

    // Hands the output queue as many bytes as it takes now, without waiting; `bytes` is the
    // number taken. Bytes taken are the port's: they go out unless DiscardOutput() drops them.
    // Win32: there is no partial write, so issue one overlapped WriteFile of at most the room
    // left (2048 − cbOutQue) and count those bytes as taken while it is pending; take nothing
    // while an earlier one is pending and the queue is full. Keep the transmit buffer until the
    // write completes.
    virtual PortResult WriteNow(const void* data, std::size_t count) = 0;

    // Waits until input is queued (kInput) or the output queue has room (kOutput), the device
    // hangs up (kReady once, so that the caller reads what is left or learns of it from its
    // write), `deadline`, or Shutdown(). Returns kReady at once when the condition already
    // holds; a spurious kReady is allowed, a busy loop is not.
    // Win32: kInput is WaitCommEvent(EV_RXCHAR) with the input overlapped record, preceded by a
    // ClearCommError check of cbInQue (EV_RXCHAR fires only for new bytes on Windows), then
    // WaitForMultipleObjects on its event and the shutdown event; kOutput waits on the pending
    // write's event. Both with the time left to `deadline` (INFINITE for kNoDeadline).
    virtual WaitResult Wait(Direction direction, Clock::time_point deadline) = 0;

    // Sleeps until `deadline`; true at once when Shutdown() is or gets called.
    // Win32: WaitForSingleObject on the shutdown event.
    virtual bool WaitForShutdown(Clock::time_point deadline) = 0;

    // Bytes taken by WriteNow() that have not gone out on the line yet; 0 where the device
    // cannot tell (a pty always reports 0). Win32: cbOutQue of ClearCommError, and never less
    // than a write still pending (Wine counts only the kernel's queue, without it); a drain waits
    // on it and times out on a stalled line.
    virtual std::size_t OutputQueued() = 0;

    // Drops received bytes not read yet. Win32: PurgeComm(PURGE_RXCLEAR).
    virtual void DiscardInput() = 0;
    // Drops every byte not sent yet, of whatever write. Only the policy calls it, and only when
    // it knows that the queue holds nothing but the write it is giving up.
    // Win32: PurgeComm(PURGE_TXABORT | PURGE_TXCLEAR), which also ends a pending write.
    virtual void DiscardOutput() = 0;

    // Ends every wait now and later. Win32: SetEvent on a manual-reset shutdown event, then
    // CancelIoEx on the handle for the overlapped operations in flight.
    virtual void Shutdown() = 0;
    virtual bool HungUp() const = 0;
    // Asks the device now, without waiting, whether it has gone, and makes that sticky as any
    // hang-up. POSIX: poll() with no time-out sees POLLHUP or POLLERR. Win32: ClearCommError
    // fails (a port whose device went away no longer answers; Wine: ERROR_NOT_READY).
    virtual bool ProbeHungUp() = 0;

    // For the reader's trace: the line events of the last wait for input (Windows' EV_* bits),
    // given only when the port's event mask cannot be read back now; else 0. POSIX: always 0,
    // termios has no event mask. Win32: the WaitCommEvent word when GetCommMask fails.
    virtual std::uint32_t LineEventsWithoutMask() { return 0; }

    // The identity of the device behind the open port (serial_identity.h). POSIX: fstat() of the
    // descriptor. Win32: that of the device name, which the handle cannot tell.
    virtual std::string Identity() = 0;
};

// Opens an existing character device for exclusive reading and writing. Null with `error` set
// when the device is missing, busy or not a terminal. Win32: CreateFileA("\\\\.\\COMn") with
// no sharing and FILE_FLAG_OVERLAPPED, GetFileType == FILE_TYPE_CHAR, and the shutdown event.
std::unique_ptr<SerialBackend> OpenSerialBackend(const std::string& devicePath,
                                                 std::error_code& error);

}  // namespace termload
