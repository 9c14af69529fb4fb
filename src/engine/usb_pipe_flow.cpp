#include "config/paths.h"
#include "engine/boot_flows.h"
#include "engine/download_job.h"
#include "engine/download_texts.h"
#include "engine/port_slot.h"

namespace termload {

// Not in this build yet: the start refuses these rows; one that gets here is shown, not sent.
FlowOutcome SendThroughUsbPipe(const ConsoleContext& console, int /*kind*/,
                               const FileToSend& file) {
    console.slot.status.ShowWithPrefix(
        StartRefusalText(console.job.langBase, StartRefusal::BootLoaderRow, file.fileName),
        StatusColour::Red);
    return FlowOutcome::NextRow;
}

}  // namespace termload
