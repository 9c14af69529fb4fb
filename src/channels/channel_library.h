#pragma once

#include "channels/channel_list.h"

namespace termload {

// The channel library as every transport shares it: its start and shutdown, the results of its
// operations, and the one close that serves every kind of channel in the list. A transport's own
// header (serial_channel.h, hid_channel.h) adds its open, write and read.

// Results of the channel operations. The values are the ones the channel has always reported,
// and the trace log picks its write texts by them.
enum class ChannelResult : int {
    Failed = -1,  // a failure, a closed or unknown handle, bad arguments
    Timeout = 0,
    Done = 1,
};

// Fixes the trace log at LOG.txt in TraceLogDir(): the current directory, or the per-user
// directory for an installed program. Called once before any open.
void ChannelLibInit();
// Closes every channel still open, of every kind, newest first.
void ChannelLibShutdown();

// Wakes every caller waiting on the channel, stops its threads, releases the device and forgets
// the handle. Unknown handles, and closing twice, are harmless.
void ComClose(ChannelHandle handle);

}  // namespace termload
