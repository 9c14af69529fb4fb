#include "engine/block_loop.h"

#include "engine/download_job.h"
#include "engine/download_texts.h"
#include "engine/file_frame.h"
#include "engine/link.h"
#include "engine/message_pump.h"
#include "engine/port_slot_table.h"

namespace termload {

namespace {

void ReportFailure(PortSlot& slot, const std::string& destination, FailureCause cause,
                   PassRestart restart) {
    slot.Table().Sink().PassFailed({slot.Index(), destination, slot.status.Text(), cause, restart});
}

}  // namespace

BlockLoopEnd SendFileBlocks(
    PortSlot& slot, const DownloadJob& job, FileFrame& frame, const std::string& destination,
    std::uint32_t blocks, const std::function<std::size_t(std::uint32_t block)>& fill,
    const std::function<void(std::uint32_t block, std::size_t bytes)>& sent) {
    SlotLink& link = slot.Link();
    std::uint32_t block = 0;
    bool restarted = false;
    int timeOuts = 0;
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
        std::optional<FailureCause> failure = link.SendFrame(frame);
        if (!failure && block + 1 == blocks && !slot.stop.IsRequested()) {
            // The file is sent once its bytes have left the PC, not when the port took them.
            failure = link.Drain();
        }
        if (failure) {
            // A stop closes the channel under the write: that is no fault of the terminal.
            if (slot.stop.IsRequested()) {
                return BlockLoopEnd::Stopped;
            }
            slot.status.Show(
                FrameFailureText(StatusPrefix(slot.portNumber), job.langBase, link.FailureDigit()),
                StatusColour::Red);
            slot.status.SetProgressPosition(0);
            DelayWithMessages(slot.Table().Time().frameFailurePauseMs);
            timeOuts += *failure == FailureCause::TimeOut ? 1 : 0;
            if (*failure == FailureCause::HangUp || timeOuts == kTimeOutsPerFile) {
                // A different terminal may be there when the device comes back, and one that
                // keeps stalling is given up: the next pass serves whoever is there from the
                // first file on.
                ReportFailure(slot, destination, *failure, PassRestart::NextPass);
                return BlockLoopEnd::PassOver;
            }
            if (link.Recovery() == FrameRecovery::GiveUpFile) {
                ReportFailure(slot, destination, *failure, PassRestart::None);
                return BlockLoopEnd::Failed;
            }
            ReportFailure(slot, destination, *failure, PassRestart::File);
            // The port may hold a half-written frame; a fresh open starts clean.
            if (!slot.stop.IsRequested()) {
                link.Purge();
                link.Open(LinkMode::Normal);
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
