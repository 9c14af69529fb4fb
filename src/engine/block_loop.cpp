#include "engine/block_loop.h"

#include "engine/download_job.h"
#include "engine/file_frame.h"
#include "engine/frame_sender.h"
#include "engine/port_slot.h"

namespace termload {

namespace {

void ReportFailure(PortSlot& slot, const std::string& destination, const FrameOutcome& outcome,
                   FrameRecovery recovery) {
    PassFailureReport report;
    report.slot = slot.Index();
    report.file = destination;
    report.text = slot.status.Text();
    report.cause = outcome.failure != FrameFailure::SerialPiece ? FailureCause::Transport
                   : outcome.hungUp                             ? FailureCause::HangUp
                                                                : FailureCause::TimeOut;
    report.restart = recovery == FrameRecovery::RestartFile ? PassRestart::File
                     : recovery == FrameRecovery::EndPass   ? PassRestart::NextPass
                                                            : PassRestart::None;
    slot.Table().Sink().PassFailed(report);
}

}  // namespace

BlockLoopEnd SendFileBlocks(
    PortSlot& slot, const DownloadJob& job, FileFrame& frame, const std::string& destination,
    std::uint32_t blocks, const std::function<std::size_t(std::uint32_t block)>& fill,
    const std::function<void(std::uint32_t block, std::size_t bytes)>& sent) {
    std::uint32_t block = 0;
    bool restarted = false;
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
        const FrameOutcome outcome = SendFileFrame(slot, job.Link(), frame);
        if (outcome.failure != FrameFailure::Sent) {
            // A stop closes the channel under the write: that is no fault of the terminal.
            if (slot.stop.IsRequested()) {
                return BlockLoopEnd::Stopped;
            }
            const FrameRecovery recovery = RecoverFromFrameFailure(slot, job.langBase, outcome);
            ReportFailure(slot, destination, outcome, recovery);
            if (recovery == FrameRecovery::EndFile) {
                return BlockLoopEnd::Failed;
            }
            if (recovery == FrameRecovery::EndPass) {
                return BlockLoopEnd::HungUp;
            }
            restarted = true;
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
    return restarted ? BlockLoopEnd::AllSentAfterRestart : BlockLoopEnd::AllSent;
}

}  // namespace termload
