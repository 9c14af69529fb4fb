#include "engine/download_thread.h"

#include <chrono>
#include <cstdio>
#include <random>
#include <string>

#include "config/address_file.h"
#include "config/file_list.h"
#include "config/paths.h"
#include "config/string_table.h"
#include "engine/address_file_flow.h"
#include "engine/boot_flows.h"
#include "engine/download_texts.h"
#include "engine/file_frame.h"
#include "engine/kernel_image_flow.h"
#include "engine/link.h"
#include "engine/message_pump.h"
#include "engine/model_class.h"
#include "engine/ordinary_file_flow.h"
#include "engine/port_slot_table.h"
#include "engine/show_error.h"
#include "engine/slot_channel.h"
#include "engine/timer_file.h"

namespace termload {

namespace {

constexpr int kOtherFileKind = 2;
constexpr int kUserAreaEraseAttempts = 3;

constexpr int kTextPortOpen = 74;
constexpr int kTextWaitingBios = 75;
constexpr int kTextErasingUserArea = 76;
constexpr int kTextUserAreaEraseFailed = 77;
constexpr int kTextUserAreaErased = 78;

enum class PassEnd {
    Completed,
    Stopped,
    PassOver,  // ended early (a hang-up, a terminal that kept stalling): the next pass follows
    PortLost,  // the channel could not be opened: the port is waited for before the next pass
};

struct PassResult {
    PassEnd end = PassEnd::Completed;
    bool allFilesSent = true;
    bool failure = false;      // a transport failure happened on the way
    std::string lastFileName;  // the file-name part of the last file handled
};

// What a pass keeps from one file to the next. Every pass serves a terminal of its own, so each
// one gets the address file and a frame count that includes the kernel image again.
struct PassState {
    FileFrame frame;
    bool addressFileSent = false;
    bool kernelImageCounted = false;  // the frames' file count no longer counts the image
    // The boot loader has answered in this pass and waits at its prompt: it sends no banner again
    // until it is switched off and on, however often the port is opened.
    bool loaderAtPrompt = false;

    // In kernel mode a pass begins once the boot loader has answered.
    void Begin(const DownloadJob& job) {
        addressFileSent = false;
        kernelImageCounted = false;
        loaderAtPrompt = job.kernelMode;
        const int fileCount = job.fileCount + (job.downTimer ? 1 : 0);
        frame.SetConstantFields(static_cast<std::uint8_t>(fileCount), job.modeCode,
                                job.hardwareVersion);
    }
};

enum class KernelStartOutcome { Files, StartOver, PortLost };

// Kernel mode, before the files of a pass: the boot loader's banner, then (EmptyFlash) the user
// area erased. Start over when no banner came or the slot is stopped.
KernelStartOutcome KernelStart(const ConsoleContext& console) {
    PortSlot& slot = console.slot;
    const int lang = console.job.langBase;
    for (;;) {
        if (!slot.Link().Open(LinkMode::Console)) {
            if (slot.stop.IsRequested()) {
                return KernelStartOutcome::StartOver;
            }
            slot.status.Show(std::string(TextOf(lang, kTextPortOpen)), StatusColour::Red);
            return KernelStartOutcome::PortLost;
        }
        slot.status.SetProgressPosition(0);
        slot.status.Show(std::string(TextOf(lang, kTextWaitingBios)));
        if (!WaitBoard(console)) {
            return KernelStartOutcome::StartOver;
        }
        if (!console.job.emptyFlash) {
            return KernelStartOutcome::Files;
        }
        slot.status.ShowWithPrefix(TextOf(lang, kTextErasingUserArea));
        for (int attempt = 0; attempt < kUserAreaEraseAttempts && !slot.stop.IsRequested();
             ++attempt) {
            if (NandErase(console, kRegionUserArea)) {
                slot.status.ShowWithPrefix(TextOf(lang, kTextUserAreaErased));
                return KernelStartOutcome::Files;
            }
        }
        // The operator sees it; then the boot loader is waited for again.
        if (slot.stop.IsRequested() || !ShowError(slot, TextOf(lang, kTextUserAreaEraseFailed))) {
            return KernelStartOutcome::StartOver;
        }
    }
}

// KernelStart until it lets the files go (or the port is lost): with no terminal on the port it
// waits, a banner wait after another, until stopped.
KernelStartOutcome KernelStartUntilFiles(const ConsoleContext& console) {
    for (;;) {
        const KernelStartOutcome outcome = KernelStart(console);
        if (outcome != KernelStartOutcome::StartOver || console.slot.stop.IsRequested()) {
            return outcome;
        }
    }
}

FileToSend FileOfRow(const DownloadJob& job, std::size_t index) {
    const DownloadRow& row = job.rows[index];
    return FileToSend{row.row, row.source, DestinationOnTerminal(job.rootDir, row.destination),
                      FileNamePart(PathToUtf8(row.source))};
}

enum class PortWait { Opened, Stopped, TooLong };

// A port whose device has gone (a terminal swapped on a line of USB serial adapters) is tried
// again every second until it opens or the slot is stopped; its red failure stays shown. A run
// with an absence limit gives the port up once it has been tried for that long.
PortWait WaitForPort(PortSlot& slot, LinkMode mode, std::uint32_t limitMs) {
    const auto since = std::chrono::steady_clock::now();
    while (!slot.stop.IsRequested()) {
        DelayWithMessages(slot.Table().Time().portRetryMs, slot.stop);
        if (slot.stop.IsRequested()) {
            break;
        }
        if (slot.Link().Open(mode)) {
            SlotCloseChannel(slot);
            return PortWait::Opened;
        }
        if (limitMs > 0 &&
            std::chrono::steady_clock::now() - since >= std::chrono::milliseconds(limitMs)) {
            return PortWait::TooLong;
        }
    }
    return PortWait::Stopped;
}

void ReportFailure(PortSlot& slot, const std::string& file, FailureCause cause,
                   PassRestart restart) {
    slot.Table().Sink().PassFailed({slot.Index(), file, slot.status.Text(), cause, restart});
}

// The passes after `pass` that a port given up can no longer serve: each one failed, as a pass
// whose port could not be opened.
void FailRemainingPasses(PortSlot& slot, int pass, int passLimit) {
    HostSink& host = slot.Table().Sink();
    for (int next = pass + 1; next <= passLimit; ++next) {
        host.PassStarted(slot.Index(), next);
        ReportFailure(slot, {}, FailureCause::PortOpen, PassRestart::NextPass);
        host.PassFinished(slot.Index(), next, false);
    }
}

// The clock file could not be written: shown like a source that cannot be opened, and the pass
// fails, as the terminal waits for the file the frames announced.
void ShowTimerFileFailure(PortSlot& slot, const DownloadJob& job, const std::string& source) {
    const std::string prefix = StatusPrefix(slot.portNumber);
    slot.status.Show(prefix + kTimerFileName + "...", StatusColour::Black);
    slot.status.Show(
        slot.status.Text() + prefix + std::string(TextOf(job.langBase, kTextFileOpenFailed)),
        StatusColour::Red);
    ReportFailure(slot, kTimerFileName, FailureCause::TimerFile, PassRestart::None);
    slot.Table().Sink().FileFinished(
        {slot.Index(), -1, source, kTimerFileName, 0, false, slot.status.Text()});
}

// True (and the failure shown and reported) when the port leads to another device than when the
// pass began.
bool DeviceChanged(PortSlot& slot, const DownloadJob& job, const std::string& file) {
    SlotLink& link = slot.Link();
    if (!link.DeviceReplaced()) {
        return false;
    }
    slot.status.Show(
        FrameFailureText(StatusPrefix(slot.portNumber), job.langBase, link.FailureDigit()),
        StatusColour::Red);
    ReportFailure(slot, file, FailureCause::HangUp, PassRestart::NextPass);
    return true;
}

// The boot loader's console is open on the slot (KernelStart or a kernel-image row left it so).
bool ConsoleOpen(const PortSlot& slot) {
    return slot.channel != 0 && slot.events.Exist();
}

// The console for a BIOS, kernel or root row. A boot loader that answered earlier in the pass
// still waits at its prompt after rows that used the port in normal mode: the console is opened
// again and nothing more (its banner will not come again, and the user area holds the files sent
// since its erase). Otherwise the boot loader is waited for as at the start of a kernel-mode pass.
// False when the port cannot be opened.
bool ReachBootConsole(const ConsoleContext& console, bool& loaderAtPrompt) {
    PortSlot& slot = console.slot;
    if (!loaderAtPrompt) {
        if (KernelStartUntilFiles(console) == KernelStartOutcome::PortLost) {
            return false;
        }
        loaderAtPrompt = !slot.stop.IsRequested();
        return true;
    }
    if (slot.Link().Open(LinkMode::Console) || slot.stop.IsRequested()) {
        return true;
    }
    slot.status.ShowWithPrefix(TextOf(console.job.langBase, kTextPortOpen), StatusColour::Red);
    return false;
}

// The pass ends here, failed: the port could not be opened.
PassResult PortLost(PortSlot& slot, PassResult result, const std::string& file) {
    ReportFailure(slot, file, FailureCause::PortOpen, PassRestart::NextPass);
    result.end = PassEnd::PortLost;
    return result;
}

// How one run through the file list ended.
enum class ListEnd {
    Finished,   // past the last step: the pass's closing checks follow
    StartOver,  // a boot-loader row failed and the boot loader has answered again
    PassEnded,  // the pass ends here, its result filled in
};

ListEnd StopPass(PortSlot& slot, PassResult& result) {
    SlotCloseChannel(slot);
    result.end = PassEnd::Stopped;
    return ListEnd::PassEnded;
}

ListEnd EndPass(PassResult& result, PassEnd end) {
    result.end = end;
    return ListEnd::PassEnded;
}

ListEnd LosePort(PortSlot& slot, PassResult& result, const std::string& file) {
    result = PortLost(slot, result, file);
    return ListEnd::PassEnded;
}

// The checked rows in order, then one step more that sends the clock file.
ListEnd SendFileList(PortSlot& slot, DownloadRun& run, PassState& state, PassResult& result) {
    const DownloadJob& job = run.Job();
    const ConsoleContext console{slot, job};
    const bool takesAddressFile = ModelClass(job.modelName) == kModelClassM868;
    for (std::size_t index = 0; index <= job.rows.size(); ++index) {
        if (slot.stop.IsRequested()) {
            return StopPass(slot, result);
        }
        slot.status.SetProgressPosition(0);

        FileToSend file;
        int kind = kOtherFileKind;
        if (index == job.rows.size()) {
            if (!job.downTimer) {
                break;
            }
            const std::filesystem::path timerFile = run.TimerFile();
            if (timerFile.empty() || !WriteTimerFile(timerFile)) {
                ShowTimerFileFailure(slot, job, PathToUtf8(timerFile));
                result.allFilesSent = false;
                break;
            }
            file = FileToSend{-1, timerFile, kTimerFileName, kTimerFileName};
        } else {
            file = FileOfRow(job, index);
            kind = job.rows[index].kind;
        }

        if (takesAddressFile && !state.addressFileSent) {
            const AddressFileOutcome addressFile =
                SendAddressFile(slot, job, state.frame, kAddressFileName, job.addressFileNames);
            state.addressFileSent = true;
            switch (addressFile) {
                case AddressFileOutcome::Sent:
                    break;
                case AddressFileOutcome::SentAfterRestart:
                    result.failure = true;
                    break;
                case AddressFileOutcome::Failed:
                    // The files follow, but the terminal does not know where they go.
                    result.allFilesSent = false;
                    break;
                case AddressFileOutcome::Stopped:
                    return EndPass(result, PassEnd::Stopped);
                case AddressFileOutcome::OpenFailed:
                    return LosePort(slot, result, {});
                case AddressFileOutcome::PassOver:
                    return EndPass(result, PassEnd::PassOver);
            }
        }

        // After the address file too: a terminal that went away with it must not be followed by
        // a file for its replacement.
        result.lastFileName = file.fileName;
        if (DeviceChanged(slot, job, file.destination)) {
            return EndPass(result, PassEnd::PassOver);
        }

        if (IsBootLoaderKind(kind)) {
            FlowOutcome outcome = FlowOutcome::NextRow;
            if (kind == kKernelImageKind) {
                const KernelImageResult image = SendKernelImageRow(
                    console, state.frame, state.kernelImageCounted, state.loaderAtPrompt, file);
                outcome = image.outcome;
                result.allFilesSent = result.allFilesSent && image.written;
            } else if (!ConsoleOpen(slot) && !ReachBootConsole(console, state.loaderAtPrompt)) {
                // Outside kernel mode, or after rows that used the port otherwise, the flow
                // reaches the boot console itself.
                outcome = FlowOutcome::PortLost;
            } else if (!slot.stop.IsRequested()) {
                outcome = SendThroughUsbPipe(console, kind, file);
            }
            switch (outcome) {
                case FlowOutcome::NextRow:
                    break;
                case FlowOutcome::PortLost:
                    return LosePort(slot, result, file.destination);
                case FlowOutcome::StartOver:
                    // The operator has seen the error: the boot loader is waited for again and
                    // the list starts anew; the pass can no longer vouch for what went before.
                    ReportFailure(slot, file.destination, FailureCause::Console, PassRestart::None);
                    result.failure = true;
                    if (slot.stop.IsRequested()) {
                        return StopPass(slot, result);
                    }
                    if (KernelStartUntilFiles(console) == KernelStartOutcome::PortLost) {
                        return LosePort(slot, result, {});
                    }
                    state.loaderAtPrompt = true;
                    return ListEnd::StartOver;
            }
            continue;
        }
        switch (SendOrdinaryFile(slot, job, state.frame, file)) {
            case FileOutcome::Sent:
                break;
            case FileOutcome::SentAfterRestart:
                result.failure = true;
                break;
            case FileOutcome::PassOver:
                return EndPass(result, PassEnd::PassOver);
            case FileOutcome::Failed:
                result.allFilesSent = false;
                break;
            case FileOutcome::PortLost:
                return LosePort(slot, result, file.destination);
        }
    }
    return ListEnd::Finished;
}

PassResult RunFileLoop(PortSlot& slot, DownloadRun& run, PassState& state) {
    PassResult result;
    slot.Link().BeginPass();
    // A boot-loader row that fails makes the list start over from its first row once the boot
    // loader has answered again.
    ListEnd end = ListEnd::StartOver;
    while (end == ListEnd::StartOver) {
        end = SendFileList(slot, run, state, result);
    }
    if (end == ListEnd::PassEnded) {
        return result;
    }
    if (slot.stop.IsRequested()) {
        result.end = PassEnd::Stopped;
    } else if (DeviceChanged(slot, run.Job(), {})) {
        result.end = PassEnd::PassOver;
    }
    // Every file, the last one included, ended once the port's output had drained: nothing of the
    // pass is left in the PC.
    return result;
}

}  // namespace

DownloadRun::DownloadRun(std::shared_ptr<const DownloadJob> job, int threads)
    : job_(std::move(job)), threadsLeft_(threads) {
    if (!job_->downTimer) {
        return;
    }
    std::error_code ec;
    const std::filesystem::path base = std::filesystem::temp_directory_path(ec);
    if (ec) {
        return;
    }
    // A new directory under a random name: creating it fails when the name is taken, so it is
    // this run's alone; only its owner may use it.
    std::random_device random;
    for (int attempt = 0; attempt < 100; ++attempt) {
        char name[32];
        std::snprintf(name, sizeof name, "termload-%08x", static_cast<unsigned>(random()));
        const std::filesystem::path dir = base / name;
        if (std::filesystem::create_directory(dir, ec)) {
            std::filesystem::permissions(dir, std::filesystem::perms::owner_all, ec);
            timerDir_ = dir;
            return;
        }
        if (ec) {
            return;
        }
    }
}

DownloadRun::~DownloadRun() {
    if (!timerDir_.empty()) {
        std::error_code ignored;
        std::filesystem::remove_all(timerDir_, ignored);
    }
}

std::filesystem::path DownloadRun::TimerFile() const {
    return timerDir_.empty() ? std::filesystem::path{} : timerDir_ / kTimerFileName;
}

void DownloadThread(PortSlot& slot, DownloadRun& run) {
    const DownloadJob& job = run.Job();
    HostSink& host = slot.Table().Sink();
    const LinkMode passMode = job.kernelMode ? LinkMode::Console : LinkMode::Normal;
    PassState state;

    bool limitReached = false;
    for (int pass = 1; !slot.stop.IsRequested(); ++pass) {
        host.ClearConsoleText();
        PassResult result;
        if (job.kernelMode) {
            // A pass is one terminal: it begins once a boot loader has answered.
            if (KernelStartUntilFiles(ConsoleContext{slot, job}) == KernelStartOutcome::PortLost) {
                host.PassStarted(slot.Index(), pass);
                result = PortLost(slot, result, {});
            } else if (slot.stop.IsRequested()) {
                break;
            }
        }
        if (result.end != PassEnd::PortLost) {
            host.PassStarted(slot.Index(), pass);
            state.Begin(job);
            result = RunFileLoop(slot, run, state);
        }
        bool lastPass = false;
        if (result.end == PassEnd::Completed && !slot.stop.IsRequested()) {
            const PassCompletion completion = slot.Link().EndPass(result.lastFileName);
            result.failure = result.failure || !completion.ok;
            lastPass = completion.lastPass;
            if (slot.stop.IsRequested()) {
                result.end = PassEnd::Stopped;
            }
        }
        if (result.end != PassEnd::Stopped) {
            host.PassFinished(
                slot.Index(), pass,
                result.end == PassEnd::Completed && result.allFilesSent && !result.failure);
        }
        if (!slot.stop.IsRequested()) {
            SlotCloseChannel(slot);
            DelayWithMessages(slot.Table().Time().passEndPauseMs);
        }
        if (job.passLimit > 0 && pass >= job.passLimit) {
            limitReached = true;
            break;
        }
        if (lastPass) {
            break;  // the run ends as the operator's stop would end it
        }
        if (result.end == PassEnd::PortLost) {
            const std::uint32_t limit = job.passLimit > 0 ? job.absentLimitMs : 0;
            const PortWait wait = WaitForPort(slot, passMode, limit);
            if (wait == PortWait::Stopped) {
                break;
            }
            if (wait == PortWait::TooLong) {
                FailRemainingPasses(slot, pass, job.passLimit);
                limitReached = true;
                break;
            }
        }
    }
    SlotCloseChannel(slot);

    const bool last = run.ThreadEnded();
    if (run.Stopping()) {
        return;
    }
    if ((job.passLimit > 0 && last) || !limitReached) {
        host.RunEnded(slot.Index());
    }
}

}  // namespace termload
