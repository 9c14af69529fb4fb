// Opening and closing a port slot's channel, the receive callback of console mode, and stopping
// every slot.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

#include "channels/serial_channel.h"
#include "engine/transport.h"

namespace termload {

class PortSlot;
class PortSlotTable;

// The modes of SlotOpenChannel.
inline constexpr int kChannelNormal = 0;
inline constexpr int kChannelConsole = 1;

// Index (0-26) of the first slot whose port number is `portNumber`, or -1.
int SlotIndexOfPort(const PortSlotTable& table, int portNumber);

// (Re)opens the channel of the slot of `portNumber` through the slot's link. False when no slot
// has the port or the open failed.
bool SlotOpenChannel(PortSlotTable& table, int portNumber, int mode);

// What every link's open does around the device's own open: wakes and closes the events of the
// old channel, closes it, runs `openDevice` (with SlotReceive as the callback in console mode,
// none in normal mode) unless the slot is stopped, creates fresh events in console mode and
// clears the receive text, with the channel's settle pauses between. A stop that comes during
// the open closes the new channel. True when the slot has a channel afterwards.
bool OpenSlotChannel(PortSlot& slot, LinkMode mode,
                     const std::function<ChannelHandle(const ReceiveCallback&)>& openDevice);

// Closes the slot's channel through its link, if it has one (safe against a concurrent
// SlotStopAll).
void SlotCloseChannel(PortSlot& slot);

// The receive callback of console mode: appends the bytes to the text of the slot that owns
// `channel`, watches for "Checksum Error", shows the text and sets the receive event. Returns 0.
int SlotReceive(PortSlotTable& table, ChannelHandle channel, const char* bytes,
                std::uint32_t count);

// Shows a slot's receive text as the console text of the host, one update at a time.
void ShowReceivedText(PortSlotTable& table, const std::string& text);

// Stops every slot in use: stop requests, TransferCancel, abort events, closing the channels,
// then joining every download thread; finally each slot shows "[COMn]" + "Ready" in black with
// its progress at 0. Called from the host's thread; on a download thread it never joins that
// thread itself, and returns at once when another stop is already running.
void SlotStopAll(PortSlotTable& table);

}  // namespace termload
