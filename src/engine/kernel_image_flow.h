// The kernel-image row: the boot loader is woken on the console, the image goes into the
// terminal's RAM by YMODEM, is written to NAND and started.
#pragma once

#include "engine/boot_flows.h"

namespace termload {

struct KernelImageResult {
    FlowOutcome outcome = FlowOutcome::NextRow;
    bool written = false;  // the image arrived whole and the NAND write was confirmed
};

// SendKernelImage, with what the pass report needs: whether the image was written. A row that
// was not is reported to the host as a failed file and a failure of the pass.
KernelImageResult SendKernelImageRow(const ConsoleContext& console, FileFrame& frame,
                                     bool& imageCounted, bool& loaderAtPrompt,
                                     const FileToSend& file);

}  // namespace termload
