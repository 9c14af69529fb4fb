// The BIOS, kernel and root rows: on the console channel that KernelStart opened, the region is
// erased (kernel, root), the terminal switched to USB download and the file sent through its
// bulk pipe, then the image is made permanent in NAND. Every failure is shown to the operator,
// and the pass starts over from the boot loader.
#pragma once

#include "engine/boot_flows.h"
#include "engine/usb_send_file.h"

namespace termload {

// The console exchanges these rows use: the boot console's in a run, a test's own otherwise.
class UsbFlowConsole {
  public:
    virtual ~UsbFlowConsole() = default;
    virtual bool UsbDown() = 0;
    virtual bool NandErase(char region) = 0;
    virtual bool NandSolidify(char region) = 0;
};

// Up to three attempts of "usbdown" and a look for the device; the label tells the outcome.
bool UsbConnect(PortSlot& slot, const DownloadJob& job, UsbFlowConsole& console,
                const UsbPipeAccess& usb);

// One row of kind 3, 4 or 5 (any other kind: nothing is done, next row).
FlowOutcome RunUsbPipeFlow(PortSlot& slot, const DownloadJob& job, int kind, const FileToSend& file,
                           UsbFlowConsole& console, const UsbPipeAccess& usb);

}  // namespace termload
