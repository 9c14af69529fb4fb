#include "engine/frame_sender.h"

#include <algorithm>
#include <span>

#include "channels/serial_channel.h"
#include "engine/download_texts.h"
#include "engine/port_slot.h"

namespace termload {

namespace {

constexpr std::size_t kSerialPieceSize = 512;
constexpr int kSerialPieces = 9;

FrameFailure SendSerialFrame(PortSlot& slot, const FrameLink& link,
                             std::span<const std::uint8_t> wire) {
    for (int piece = 0; piece < kSerialPieces; ++piece) {
        if (slot.stop.IsRequested()) {
            return FrameFailure::Sent;
        }
        const std::size_t offset = static_cast<std::size_t>(piece) * kSerialPieceSize;
        const std::size_t length = std::min(kSerialPieceSize, wire.size() - offset);
        const ChannelHandle channel = slot.channel;
        if (ComWrite(channel, wire.data() + offset, static_cast<std::uint32_t>(length)) !=
            kChannelDone) {
            return FrameFailure::SerialPiece;
        }
        DelayWithMessages(link.usbDelayMs);
        if (piece == 3 || piece == 7) {
            ComPurge(channel, 0);
        }
    }
    return FrameFailure::Sent;
}

}  // namespace

FrameFailure SendFileFrame(PortSlot& slot, const FrameLink& link, const FileFrame& frame) {
    switch (link.transport) {
        case Transport::Serial:
            if (link.fullFrame) {
                return SendSerialFrame(slot, link, frame.bytes);
            } else {
                CompactFrame compact;
                BuildCompactFrame(frame, compact);
                return SendSerialFrame(slot, link, compact);
            }
        // This build has no USB-HID or USB-CCID channel and a download start refuses both, so
        // a frame that reaches them can only be refused.
        case Transport::UsbHid:
            return FrameFailure::HidReport;
        case Transport::UsbCcid:
            return FrameFailure::CcidPiece;
    }
    return FrameFailure::SerialPiece;
}

bool RecoverFromFrameFailure(PortSlot& slot, int langBase, FrameFailure failure) {
    slot.status.Show(
        FrameFailureText(StatusPrefix(slot.portNumber), langBase, static_cast<char>(failure)),
        StatusColour::Red);
    slot.status.SetProgressPosition(0);
    DelayWithMessages(slot.Table().Time().frameFailurePauseMs);
    switch (failure) {
        case FrameFailure::HidReport:
            return false;
        case FrameFailure::SerialPiece:
            // A port whose peer hung up keeps failing every write; purging it is not enough.
            if (!slot.stop.IsRequested()) {
                ComPurge(slot.channel, 0);
                SlotOpenChannel(slot.Table(), slot.portNumber, kChannelNormal);
            }
            return true;
        case FrameFailure::CcidPiece:
        case FrameFailure::Sent:
            break;
    }
    return true;
}

}  // namespace termload
