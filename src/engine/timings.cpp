#include "engine/timings.h"

#include <cmath>
#include <initializer_list>

namespace termload {

Timings Timings::Scaled(double factor) {
    Timings scaled;
    const auto scale = [factor](std::uint32_t& ms) {
        ms = static_cast<std::uint32_t>(std::lround(static_cast<double>(ms) * factor));
    };
    for (std::uint32_t* ms : {
             &scaled.threadStartGapMs,
             &scaled.channelSettleMs,
             &scaled.passEndPauseMs,
             &scaled.portRetryMs,
             &scaled.consoleByteGapMs,
             &scaled.replySettleMs,
             &scaled.waitBoardTimeoutMs,
             &scaled.ramTestTimeoutMs,
             &scaled.nandEraseTimeoutMs,
             &scaled.nandEraseConfirmTimeoutMs,
             &scaled.usbDownTimeoutMs,
             &scaled.nandSolidifyTimeoutMs,
             &scaled.nandSolidifyConfirmTimeoutMs,
             &scaled.comLoadTimeoutMs,
             &scaled.nandWriteImageTimeoutMs,
             &scaled.nandWritePromptTimeoutMs,
             &scaled.startKernelTimeoutMs,
             &scaled.kernelRunTimeoutMs,
             &scaled.usbConnectSettleMs,
             &scaled.ymodemSettleMs,
             &scaled.kernelImageRowEndMs,
             &scaled.usbDeviceRetryMs,
             &scaled.usbPipeChunkTimeoutMs,
             &scaled.crcReadRetryMs,
             &scaled.blockReadRetryMs,
             &scaled.frameFailurePauseMs,
             &scaled.ccidPollPauseMs,
             &scaled.ccidFailurePauseMs,
             &scaled.ccidDonePauseMs,
             &scaled.versionReplyWaitSerialMs,
             &scaled.versionReplyWaitHidMs,
         }) {
        scale(*ms);
    }
    return scaled;
}

}  // namespace termload
