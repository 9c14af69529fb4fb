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

struct FrameOutcome {
    FrameFailure failure = FrameFailure::Sent;
    // Serial: the write failed well before its time-out could run out, so the device went away
    // (a terminal that merely stops taking bytes makes the write wait for its whole time-out).
    bool hungUp = false;
};

// A serial write that fails sooner than this failed because the device went away; the channel
// waits 2000 ms for a terminal that does not take bytes before it gives up.
inline constexpr std::uint32_t kHangUpWithinMs = 1000;

// Sends a complete (sealed) frame on the slot's open channel. On serial it goes out in nine
// pieces of at most 512 bytes, each followed by the USB delay, with a purge after the fourth and
// the eighth.
FrameOutcome SendFileFrame(PortSlot& slot, const FrameLink& link, const FileFrame& frame);

// What follows a frame the transport refused.
enum class FrameRecovery {
    RestartFile,  // the file starts again from its first block on the same terminal
    EndFile,      // the file's transfer ends (USB-HID)
    EndPass,      // the device hung up: a different terminal may be there when it comes back
};

// After a frame the transport refused: shows prefix + "File read error" + the code in red, sets
// the progress to 0 and pauses. A serial port that timed out is opened afresh before the file
// starts again from its first block (USB-CCID restarts as it is); a serial port whose device
// hung up ends the pass, so that the next pass serves whatever terminal is there from the first
// file on.
FrameRecovery RecoverFromFrameFailure(PortSlot& slot, int langBase, const FrameOutcome& outcome);

}  // namespace termload
