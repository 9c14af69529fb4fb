#pragma once
// The terminal's USB-HID function: every transfer is one whole report. The device registers in
// the channel list with port number 0 (its trace lines say COM0), so ComClose closes it like a
// port.
//
// On Linux the device is reached through hidapi's hidraw backend: the first hidraw device of
// vendor 0x8888 that opens is the terminal, whatever its product id and version (terminals of
// several models share the vendor id and nothing else). hidraw gives no way to ask the output
// report length without parsing the descriptor, and the terminal's reports are 4174 bytes (the
// report id and a 4173-byte body), so that is the length every transfer has.
#include <cstddef>
#include <cstdint>

#include "channels/channel_library.h"

namespace termload {

inline constexpr std::uint16_t kTerminalHidVendor = 0x8888;
// One report, the report id included.
inline constexpr std::size_t kHidReportSize = 4174;
// A write not done within this time fails; a read polls this long for a report.
inline constexpr std::uint32_t kHidWaitMs = 5000;

// Opens the terminal's HID device; 0 when none is attached (nothing is registered then).
ChannelHandle HidOpen(bool trace);

// Writes one report: the caller's `count` bytes, padded with zeros to the report length (bytes
// beyond `count` are never read). Done when the device took the whole report and `count` is the
// report length; Timeout when it took nothing; Failed for a failure, a report not done within
// 5000 ms, a count other than the report length (after the device took the report), or an
// unknown handle. A count of 0 is Done at once. A write the device has not finished when the wait
// ends keeps the channel: later writes fail at once until it is done, and nothing queues up behind
// it.
ChannelResult HidWrite(ChannelHandle handle, const void* report, std::uint32_t count);

// Waits up to 5000 ms for one input report and puts at most *count bytes of it into `buffer`.
// Done with *count set to the bytes received, Timeout when nothing came; Failed when the device
// failed or the handle is unknown. A count of 0 is Done at once. No read is left outstanding on
// return.
ChannelResult HidRead(ChannelHandle handle, void* buffer, std::uint32_t* count);

}  // namespace termload
