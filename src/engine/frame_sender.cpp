#include "engine/frame_sender.h"

#include <algorithm>
#include <chrono>
#include <span>

#include "channels/serial_channel.h"
#include "engine/download_texts.h"
#include "engine/port_slot.h"

namespace termload {

namespace {

constexpr std::size_t kSerialPieceSize = 512;
constexpr int kSerialPieces = 9;

FrameOutcome SendSerialFrame(PortSlot& slot, const FrameLink& link,
                             std::span<const std::uint8_t> wire) {
    for (int piece = 0; piece < kSerialPieces; ++piece) {
        if (slot.stop.IsRequested()) {
            return {};
        }
        const std::size_t offset = static_cast<std::size_t>(piece) * kSerialPieceSize;
        const std::size_t length = std::min(kSerialPieceSize, wire.size() - offset);
        const ChannelHandle channel = slot.channel;
        const auto began = std::chrono::steady_clock::now();
        if (ComWrite(channel, wire.data() + offset, static_cast<std::uint32_t>(length)) !=
            kChannelDone) {
            const auto took = std::chrono::steady_clock::now() - began;
            return {FrameFailure::SerialPiece, took < std::chrono::milliseconds(kHangUpWithinMs)};
        }
        DelayWithMessages(link.usbDelayMs);
        if (piece == 3 || piece == 7) {
            ComPurge(channel, 0);
        }
    }
    return {};
}

}  // namespace

FrameOutcome SendFileFrame(PortSlot& slot, const FrameLink& link, const FileFrame& frame) {
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
            return {FrameFailure::HidReport, false};
        case Transport::UsbCcid:
            return {FrameFailure::CcidPiece, false};
    }
    return {FrameFailure::SerialPiece, false};
}

FrameRecovery RecoverFromFrameFailure(PortSlot& slot, int langBase, const FrameOutcome& outcome) {
    slot.status.Show(FrameFailureText(StatusPrefix(slot.portNumber), langBase,
                                      static_cast<char>(outcome.failure)),
                     StatusColour::Red);
    slot.status.SetProgressPosition(0);
    DelayWithMessages(slot.Table().Time().frameFailurePauseMs);
    switch (outcome.failure) {
        case FrameFailure::HidReport:
            return FrameRecovery::EndFile;
        case FrameFailure::SerialPiece:
            if (outcome.hungUp) {
                return FrameRecovery::EndPass;
            }
            // A port that timed out may hold a half-written piece; a fresh open starts clean.
            if (!slot.stop.IsRequested()) {
                ComPurge(slot.channel, 0);
                SlotOpenChannel(slot.Table(), slot.portNumber, kChannelNormal);
            }
            return FrameRecovery::RestartFile;
        case FrameFailure::CcidPiece:
        case FrameFailure::Sent:
            break;
    }
    return FrameRecovery::RestartFile;
}

}  // namespace termload
