// The rows that go through the terminal's boot loader instead of as frames: the kernel image
// (console and YMODEM into RAM, then NAND) and the BIOS, kernel and root files (console and the
// USB bulk pipe, then solidified in NAND).
#pragma once

#include "engine/boot_console.h"
#include "engine/ordinary_file_flow.h"

namespace termload {

struct FileFrame;

enum class FlowOutcome {
    NextRow,    // go on with the next row (also after a failure that costs only this row)
    StartOver,  // the operator saw the error: wait for the boot loader again, then the list anew
    PortLost,   // the channel cannot be opened: the pass ends failed
};

// Kernel-image row (kind 0). The first one of a pass lowers the frame's file count by
// one, so that frames sent later do not count it; `imageCounted` remembers that.
// `loaderAtPrompt`: the boot loader answered earlier in the pass, so its banner is not waited
// for; false once the row has started the kernel.
FlowOutcome SendKernelImage(const ConsoleContext& console, FileFrame& frame, bool& imageCounted,
                            bool& loaderAtPrompt, const FileToSend& file);

// BIOS (3), kernel (4) and root (5) rows, on the console channel that KernelStart opened or that
// was opened again for them.
FlowOutcome SendThroughUsbPipe(const ConsoleContext& console, int kind, const FileToSend& file);

}  // namespace termload
