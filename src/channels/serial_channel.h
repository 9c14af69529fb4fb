#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>

#include "channels/channel_library.h"

namespace termload {

// The most bytes one write takes and one read or delivery gives.
constexpr std::uint32_t kChannelBufferSize = 2048;

// Called on a console-mode port's reader thread with what arrived: 1 to 2048 bytes, followed by
// a 0 byte so that they can be read as text. The result is ignored; an exception is logged
// and ignored. The next delivery waits until the callback returns.
using ReceiveCallback = std::function<int(ChannelHandle, const char* bytes,
                                          std::uint32_t count)>;  // empty = normal mode

// Opens COM`portNumber` (the device comes from the port table, see port_map.h). With a
// callback the port runs in console mode: a reader thread of its own hands received bytes to
// the callback, and reads are refused. Without one it runs in normal mode: reads block the
// caller, bounded by the port's time-outs. Writes block the caller in both modes. The indexes are
// those of the main window's lists: stop bits "1", "1.5", "2"; parity none, odd, even, mark, space;
// flow control none, Xon/Xoff, hardware (any other index keeps the driver's flow settings).
// Returns 0 when the port does not exist, cannot be opened or cannot take the settings.
ChannelHandle ComOpen(int portNumber, int baudRate, int byteSize, int stopBitsIndex,
                      int parityIndex, int flowControlIndex, ReceiveCallback callback, bool trace);

// The same on the device at `device`, which the caller took from the port table earlier (a
// download keeps the table of its start); `portNumber` names the port in the trace.
ChannelHandle ComOpenDevice(int portNumber, const std::string& device, int baudRate, int byteSize,
                            int stopBitsIndex, int parityIndex, int flowControlIndex,
                            ReceiveCallback callback, bool trace);

// Writes 0 to 2048 bytes. Done once every byte has gone out; Timeout when the write ran out of
// time (normal mode: 2000 ms, with nothing taken; console mode: 4000 ms, taken in part or not);
// Failed for a failure, a normal-mode write taken in part, a closed or unknown handle, or more than
// 2048 bytes.
ChannelResult ComWrite(ChannelHandle handle, const void* data, std::uint32_t count);

// Normal mode only: reads up to *count bytes (at most 2048) into `buffer`, which holds
// *count + 1 bytes, and stores a 0 byte after them. Returns when the count is reached, 250 ms
// after the last byte, or after 2000 ms in all: Done with *count set to the bytes read, Timeout
// with *count set to 0 when nothing came, Failed on failure or for a console-mode or unknown
// handle. A count of 0 is Done at once.
ChannelResult ComRead(ChannelHandle handle, void* buffer, std::uint32_t* count);

// Which side of the port a purge clears.
enum class PurgeKind : int {
    Both = 0,
    Receive = 1,
    Transmit = 2,
};

// Received bytes not yet read are discarded. Bytes already written are never discarded: the
// transmit side waits (up to the port's time-out) until they have gone out.
void ComPurge(ChannelHandle handle, PurgeKind kind);

// Waits until every byte written has left the PC, up to the port's write time-out (normal mode
// 2000 ms, console mode 4000 ms). Done when the output queue is empty (a device that cannot
// tell, such as a pty, always reports it so), Timeout when the time ran out with bytes still
// queued, Failed when the device has gone or the handle is closed or unknown.
ChannelResult ComDrain(ChannelHandle handle);

// What tells a terminal's device from another that later takes its place under the same name (a
// pty number handed out again, a node re-created behind the same link, a replugged adapter under
// the same COM number): for the device at `device` now, or behind an open channel. Empty when
// there is no device or the system tells nothing; compare two for equality only.
std::string SerialDeviceIdentity(const std::string& device);
std::string ComDeviceIdentity(ChannelHandle handle);

// True when the device behind an open channel has gone (the terminal hung up), asked now without
// waiting; false for an unknown handle.
bool ComDeviceGone(ChannelHandle handle);

// For tests and diagnostics: reader threads still running.
std::size_t LiveReaderThreadCount();

}  // namespace termload
