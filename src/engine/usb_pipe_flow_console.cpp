// The BIOS, kernel and root rows of a run, on the boot console's exchanges and the system's USB
// device. Kept apart from the flow so that the flow builds and is tested on its own.
#include "engine/boot_flows.h"
#include "engine/download_job.h"
#include "engine/usb_pipe_flow.h"

namespace termload {

namespace {

class BootConsole final : public UsbFlowConsole {
  public:
    explicit BootConsole(const ConsoleContext& console) : console_(console) {}
    bool UsbDown() override { return termload::UsbDown(console_); }
    bool NandErase(char region) override { return termload::NandErase(console_, region); }
    bool NandSolidify(char region) override { return termload::NandSolidify(console_, region); }

  private:
    const ConsoleContext& console_;
};

}  // namespace

FlowOutcome SendThroughUsbPipe(const ConsoleContext& console, int kind, const FileToSend& file) {
    BootConsole boot(console);
    return RunUsbPipeFlow(console.slot, console.job, kind, file, boot,
                          SystemUsbPipe(console.job.usbPipe));
}

}  // namespace termload
