// The protocol's times: one table with the defaults the terminals expect. Production code uses
// the defaults; tests may pass a scaled copy to run fast. Pauses that the operator sets (USBDelay,
// S4KDelay, FILE_INTERVAL, CMDDelay, ...) are settings, not part of this table, and the channel
// library keeps its own port time-outs.
#pragma once

#include <cstdint>

namespace termload {

struct Timings {
    // Starting and stopping.
    std::uint32_t threadStartGapMs = 100;  // between the starts of two download threads
    std::uint32_t channelSettleMs = 100;   // each pause while a slot's channel is closed or opened
    std::uint32_t passEndPauseMs = 100;    // after the channel is closed at the end of a pass
    std::uint32_t portRetryMs = 1000;      // between the tries of a port whose device went away

    // Boot console.
    std::uint32_t consoleByteGapMs = 100;  // after each typed byte: the console reads typed input
    std::uint32_t replySettleMs = 100;     // after a reply matched, before its text is cleared
    std::uint32_t waitBoardTimeoutMs = 10000;
    std::uint32_t ramTestTimeoutMs = 5000;
    std::uint32_t nandEraseTimeoutMs = 10000;
    std::uint32_t nandEraseConfirmTimeoutMs = 5000;  // "Erase" after the region was chosen
    std::uint32_t usbDownTimeoutMs = 5000;
    std::uint32_t nandSolidifyTimeoutMs = 5000;
    std::uint32_t nandSolidifyConfirmTimeoutMs = 10000;  // "success" after the region was chosen
    std::uint32_t comLoadTimeoutMs = 20000;
    std::uint32_t nandWriteImageTimeoutMs = 20000;
    std::uint32_t nandWritePromptTimeoutMs = 40000;  // the prompt after the image was written
    std::uint32_t startKernelTimeoutMs = 40000;
    std::uint32_t kernelRunTimeoutMs =
        300000;  // "0xc000000" and "MTD mount" while the kernel boots

    // Boot-loader flows.
    std::uint32_t usbConnectSettleMs = 100;    // the pauses around the USB device check
    std::uint32_t ymodemSettleMs = 200;        // around the YMODEM transfer of the kernel image
    std::uint32_t kernelImageRowEndMs = 3000;  // after the kernel-image row, whatever its result
    // The USB pipe: between the looks for its device, and for one 8192-byte chunk of an image.
    std::uint32_t usbDeviceRetryMs = 1000;
    std::uint32_t usbPipeChunkTimeoutMs = 4000;

    // Files as frames.
    std::uint32_t crcReadRetryMs = 50;        // after a short read while computing a file's CRC-32
    std::uint32_t blockReadRetryMs = 100;     // after a short read of a block
    std::uint32_t frameFailurePauseMs = 100;  // after a frame the transport refused

    // End of a USB-CCID pass.
    std::uint32_t ccidPollPauseMs = 2000;  // before each "still writing?" question
    std::uint32_t ccidFailurePauseMs = 3000;
    std::uint32_t ccidDonePauseMs = 2000;

    // File-version read: how long the terminal is given to answer the request.
    std::uint32_t versionReplyWaitSerialMs = 500;
    std::uint32_t versionReplyWaitHidMs = 300;

    // Every time multiplied by `factor` (rounded to the nearest millisecond).
    static Timings Scaled(double factor);
};

}  // namespace termload
