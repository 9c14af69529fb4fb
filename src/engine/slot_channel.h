// Opening and closing a port slot's channel through its link, and stopping every slot.
#pragma once

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

// Closes the slot's channel through its link, if it has one (safe against a concurrent
// SlotStopAll).
void SlotCloseChannel(PortSlot& slot);

// Stops every slot in use: stop requests, TransferCancel, abort events, closing the channels,
// then joining every download thread; finally each slot shows "[COMn]" + "Ready" in black with
// its progress at 0. Called from the host's thread; on a download thread it never joins that
// thread itself, and returns at once when another stop is already running.
void SlotStopAll(PortSlotTable& table);

}  // namespace termload
