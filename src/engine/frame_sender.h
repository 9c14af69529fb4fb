#pragma once

#include <cstdint>

#include "engine/file_frame.h"
#include "engine/slot_channel.h"

namespace termload {

class PortSlot;

// Why a frame did not go out: the code shown after "File read error". Sent also covers a frame
// cut short by the slot's stop, which the caller sees through the stop request itself.
enum class FrameFailure : char {
    Sent = 0,
    HidReport = '2',
    CcidPiece = '3',
    SerialPiece = '4',
};

// How frames travel during a run.
struct FrameLink {
    Transport transport = Transport::Serial;
    bool fullFrame = true;          // NewMachine: the full frame on serial, else the compact one
    std::uint32_t usbDelayMs = 10;  // after every piece
};

// Sends a complete (sealed) frame on the slot's open channel. On serial it goes out in nine
// pieces of at most 512 bytes, each followed by the USB delay, with a purge after the fourth and
// the eighth.
FrameFailure SendFileFrame(PortSlot& slot, const FrameLink& link, const FileFrame& frame);

// After a frame the transport refused: shows prefix + "File read error" + the code in red, sets
// the progress to 0 and pauses. Returns true when the file is to start again from its first block
// (serial and USB-CCID), false when its transfer ends (USB-HID). Before a serial restart the
// port is opened afresh, so a terminal that hung up and came back is served again.
bool RecoverFromFrameFailure(PortSlot& slot, int langBase, FrameFailure failure);

}  // namespace termload
