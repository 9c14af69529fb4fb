#include "engine/block_loop.h"

#include "engine/download_job.h"
#include "engine/file_frame.h"
#include "engine/frame_sender.h"
#include "engine/port_slot.h"

namespace termload {

BlockLoopEnd SendFileBlocks(
    PortSlot& slot, const DownloadJob& job, FileFrame& frame, std::uint32_t blocks,
    const std::function<std::size_t(std::uint32_t block)>& fill,
    const std::function<void(std::uint32_t block, std::size_t bytes)>& sent) {
    std::uint32_t block = 0;
    while (block < blocks) {
        if (slot.stop.IsRequested()) {
            return BlockLoopEnd::Stopped;
        }
        frame.SetBlockNumber(block);
        frame.SetBlockOffset(static_cast<std::uint32_t>(block * FileFrame::kBlockSize));
        const std::size_t bytes = fill(block);
        if (bytes == 0) {
            return BlockLoopEnd::Failed;
        }
        frame.Seal();
        const FrameFailure failure = SendFileFrame(slot, job.Link(), frame);
        if (failure != FrameFailure::Sent) {
            if (!RecoverFromFrameFailure(slot, job.langBase, failure)) {
                return BlockLoopEnd::Failed;
            }
            block = 0;
            continue;
        }
        if (slot.stop.IsRequested()) {
            return BlockLoopEnd::Stopped;
        }
        ++block;
        slot.status.StepProgress();
        sent(block - 1, bytes);
        DelayWithMessages(job.pacing.s4kDelayMs);
    }
    return BlockLoopEnd::AllSent;
}

}  // namespace termload
