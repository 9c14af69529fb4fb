#include "engine/download_thread.h"

#include "config/address_file.h"
#include "config/file_list.h"
#include "config/paths.h"
#include "engine/address_file_flow.h"
#include "engine/download_texts.h"
#include "engine/file_frame.h"
#include "engine/ordinary_file_flow.h"
#include "engine/port_slot.h"
#include "engine/timer_file.h"

namespace termload {

namespace {

constexpr int kOtherFileKind = 2;

enum class PassEnd { Completed, Stopped, Fatal };

struct PassResult {
    PassEnd end = PassEnd::Completed;
    bool allFilesSent = true;
};

// What a thread keeps for its whole run.
struct ThreadState {
    FileFrame frame;
    bool addressFileSent = false;
};

std::string WithRootDir(const std::string& rootDir, const std::string& destination) {
    if (rootDir.empty() || destination.starts_with(rootDir)) {
        return destination;
    }
    return rootDir + destination;
}

// The row's file, or nothing when the row is to be skipped.
std::optional<FileToSend> FileOfRow(const DownloadRun& run, std::size_t index) {
    const DownloadJob& job = run.Job();
    if (run.RowDropped(index)) {
        return std::nullopt;
    }
    const DownloadRow& row = job.rows[index];
    return FileToSend{row.row, row.source, WithRootDir(job.rootDir, row.destination),
                      FileNamePart(row.source.string())};
}

PassResult RunFileLoop(PortSlot& slot, DownloadRun& run, ThreadState& state) {
    const DownloadJob& job = run.Job();
    const bool m868 = ModelClass(slot.modelName) == kModelClassM868;
    PassResult result;
    // One step past the last row sends the clock file.
    for (std::size_t index = 0; index <= job.rows.size(); ++index) {
        if (slot.stop.IsRequested()) {
            SlotCloseChannel(slot);
            result.end = PassEnd::Stopped;
            return result;
        }
        slot.status.SetProgressPosition(0);

        std::optional<FileToSend> file;
        int kind = kOtherFileKind;
        if (index == job.rows.size()) {
            if (!job.downTimer || !WriteTimerFile(job.timerFile)) {
                break;
            }
            file = FileToSend{-1, job.timerFile, kTimerFileName, kTimerFileName};
        } else {
            file = FileOfRow(run, index);
            if (!file) {
                continue;
            }
            kind = job.rows[index].kind;
        }

        if (m868 && !state.addressFileSent) {
            const int sent =
                SendAddressFile(slot, job, state.frame, kAddressFileName, job.addressFileNames);
            if (sent == kAddressFileStopped) {
                result.end = PassEnd::Stopped;
                return result;
            }
            if (sent == kAddressFileOpenFailed) {
                result.end = PassEnd::Fatal;
                return result;
            }
            state.addressFileSent = true;
        }

        if (IsBootLoaderKind(kind)) {
            // The start refuses these rows; should one get here it is shown, never sent as frames.
            slot.status.ShowWithPrefix(
                StartRefusalText(job.langBase, StartRefusal::BootLoaderRow, file->fileName),
                StatusColour::Red);
            result.allFilesSent = false;
            continue;
        }
        switch (SendOrdinaryFile(slot, job, state.frame, *file)) {
            case FileOutcome::Sent:
                break;
            case FileOutcome::TooLarge:
                run.DropRow(index);
                slot.Table().Sink().UncheckRow(file->row);
                result.allFilesSent = false;
                break;
            case FileOutcome::Failed:
                result.allFilesSent = false;
                break;
            case FileOutcome::Fatal:
                result.end = PassEnd::Fatal;
                return result;
        }
    }
    if (slot.stop.IsRequested()) {
        result.end = PassEnd::Stopped;
    }
    return result;
}

}  // namespace

DownloadRun::DownloadRun(std::shared_ptr<const DownloadJob> job, int threads)
    : job_(std::move(job)), dropped_(job_->rows.size()), threadsLeft_(threads) {}

void DownloadThread(PortSlot& slot, DownloadRun& run) {
    const DownloadJob& job = run.Job();
    HostSink& host = slot.Table().Sink();
    ThreadState state;
    const int fileCount = slot.fileCount + (job.downTimer ? 1 : 0);
    state.frame.SetConstantFields(static_cast<std::uint8_t>(fileCount), job.modeCode,
                                  job.hardwareVersion);

    bool fatal = false;
    bool limitReached = false;
    for (int pass = 1; !slot.stop.IsRequested(); ++pass) {
        host.PassStarted(slot.Index(), pass);
        host.ClearConsoleText();
        const PassResult result = RunFileLoop(slot, run, state);
        if (result.end == PassEnd::Fatal) {
            fatal = true;
            break;
        }
        if (result.end == PassEnd::Completed) {
            host.PassFinished(slot.Index(), pass, result.allFilesSent);
        }
        if (!slot.stop.IsRequested()) {
            SlotCloseChannel(slot);
            DelayWithMessages(slot.Table().Time().passEndPauseMs);
        }
        if (job.passLimit > 0 && pass >= job.passLimit) {
            limitReached = true;
            break;
        }
    }
    SlotCloseChannel(slot);

    const bool last = run.ThreadEnded();
    if (run.Stopping()) {
        return;
    }
    if ((job.passLimit > 0 && last) || (!fatal && !limitReached)) {
        host.RunEnded(slot.Index());
    }
}

}  // namespace termload
