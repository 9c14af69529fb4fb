#include "engine/kernel_image_flow.h"
#include "config/paths.h"

#include <functional>
#include <string>

#include "config/string_table.h"
#include "engine/download_job.h"
#include "engine/download_texts.h"
#include "engine/file_frame.h"
#include "engine/message_pump.h"
#include "engine/port_slot_table.h"
#include "engine/source_file.h"
#include "engine/ymodem_link_port.h"
#include "engine/ymodem_progress.h"

namespace termload {

namespace {

constexpr int kConsoleAttempts = 3;

constexpr int kTextPortOpen = 74;
constexpr int kTextWaitingBios = 75;
constexpr int kTextTestRam = 79;
constexpr int kTextTestNand = 80;
constexpr int kTextKernelLoad = 81;
constexpr int kTextWriteFlash = 82;
constexpr int kTextKernelStart = 83;
constexpr int kTextFinished = 84;
constexpr int kTextKernelNotStarted = 177;

bool Attempts(const std::function<bool()>& exchange, const PortSlot& slot) {
    for (int attempt = 0; attempt < kConsoleAttempts && !slot.stop.IsRequested(); ++attempt) {
        if (exchange()) {
            return true;
        }
    }
    return false;
}

class KernelImageRow {
  public:
    KernelImageRow(const ConsoleContext& console, const FileToSend& file)
        : console_(console),
          slot_(console.slot),
          job_(console.job),
          time_(console.job.timings),
          file_(file) {}

    KernelImageResult Run(FileFrame& frame, bool& imageCounted, bool& loaderAtPrompt) {
        // Frames sent after the image must not count it.
        if (!imageCounted) {
            frame.SetFileCount(static_cast<std::uint8_t>(frame.FileCount() - 1));
            imageCounted = true;
        }
        std::int64_t size = -1;
        {
            SourceFile source(file_.source);
            size = source.IsOpen() ? source.Size() : -1;
        }
        if (size < 0) {
            Show(file_.fileName + "...", StatusColour::Black);
            Show(std::string(Text(kTextFileOpenFailed)), StatusColour::Red);
            return Failed(FailureCause::Console, 0);
        }
        imageSize_ = static_cast<std::uint64_t>(size);

        if (!OpenConsole()) {
            return PortLost();
        }
        // A boot loader that answered earlier in the pass sends no banner again.
        if (!loaderAtPrompt) {
            Show(Text(kTextWaitingBios), StatusColour::Black);
            while (!WaitBoard(console_)) {
                if (slot_.stop.IsRequested()) {
                    return Stopped();
                }
                // Nobody there yet, or a terminal that was switched off: the port is opened
                // afresh.
                if (!OpenConsole()) {
                    return PortLost();
                }
            }
            loaderAtPrompt = true;
        }

        if (job_.emptyFlash) {
            Show(Text(kTextTestRam));
            if (!Attempts([&] { return RamTest(console_); }, slot_)) {
                return ConsoleFailed();
            }
            Show(Text(kTextTestNand));
            if (!Attempts([&] { return NandErase(console_, kRegionNandTest); }, slot_)) {
                return ConsoleFailed();
            }
        } else {
            DelayWithMessages(job_.cmdDelayMs, slot_.stop);
        }
        Show(Text(kTextKernelLoad));
        if (!Attempts([&] { return ComLoad(console_); }, slot_)) {
            return ConsoleFailed();
        }

        // YMODEM reads and writes the line itself: normal mode.
        if (!slot_.Link().Open(LinkMode::Normal)) {
            return slot_.stop.IsRequested() ? Stopped() : PortLost();
        }
        slot_.transferCancel = false;
        Pause(time_.ymodemSettleMs);
        Show(file_.fileName + "...", StatusColour::Black);
        Pause(time_.ymodemSettleMs);
        const YmodemResult sent = SendImage();
        if (sent != YmodemResult::Sent) {
            if (const std::string text = YmodemResultText(job_.langBase, sent); !text.empty()) {
                Show(text);
            }
            if (slot_.stop.IsRequested()) {
                return Stopped();
            }
            const KernelImageResult result = Failed(FailureCause::Ymodem, imageSize_);
            Pause(time_.kernelImageRowEndMs);
            return result;
        }

        Show(Text(kTextWriteFlash), StatusColour::Black);
        Pause(time_.ymodemSettleMs);
        if (!OpenConsole()) {
            return PortLost();
        }
        if (!Attempts([&] { return NandWriteImage(console_, imageSize_); }, slot_)) {
            return ConsoleFailed();
        }
        Show(Text(kTextKernelStart), StatusColour::Black);
        // Once the kernel is told to run, the boot loader is gone until the next power-on.
        loaderAtPrompt = false;
        const bool started = StartKernel(console_, imageSize_);
        Show(Text(kTextFinished));
        if (slot_.stop.IsRequested()) {
            return Stopped();
        }
        if (!started) {
            // The image is in NAND, but a terminal whose kernel never mounts is not done.
            slot_.status.Show(slot_.status.Text() + std::string(Text(kTextKernelNotStarted)),
                              StatusColour::Red);
            const KernelImageResult result = Failed(FailureCause::KernelStart, imageSize_);
            Pause(time_.kernelImageRowEndMs);
            return result;
        }
        Report(true, imageSize_);
        Pause(time_.kernelImageRowEndMs);
        return {FlowOutcome::NextRow, true};
    }

  private:
    std::string_view Text(int id) const { return TextOf(job_.langBase, id); }

    void Show(std::string_view text, std::optional<StatusColour> colour = std::nullopt) {
        slot_.status.ShowWithPrefix(text, colour);
    }

    void Pause(std::uint32_t milliseconds) { DelayWithMessages(milliseconds, slot_.stop); }

    bool OpenConsole() { return slot_.Link().Open(LinkMode::Console); }

    YmodemResult SendImage() {
        LinkYmodemPort port(slot_.Link().Console());
        YModem sender(port, slot_.channel, YmodemProgress(slot_));
        return sender.Transfer(PathToUtf8(file_.source), 0);
    }

    void Report(bool ok, std::uint64_t size) {
        slot_.Table().Sink().FileFinished({slot_.Index(), file_.row, PathToUtf8(file_.source),
                                           file_.destination, size, ok, slot_.status.Text()});
    }

    KernelImageResult Failed(FailureCause cause, std::uint64_t size) {
        slot_.Table().Sink().PassFailed(
            {slot_.Index(), file_.destination, slot_.status.Text(), cause, PassRestart::None});
        Report(false, size);
        return {FlowOutcome::NextRow, false};
    }

    // An exchange gave up after its attempts (or was stopped): the row ends at once.
    KernelImageResult ConsoleFailed() {
        if (slot_.stop.IsRequested()) {
            return Stopped();
        }
        return Failed(FailureCause::Console, imageSize_);
    }

    // The thread sees the stop before the next row; nothing to report for a cut-short row.
    static KernelImageResult Stopped() { return {FlowOutcome::NextRow, false}; }

    KernelImageResult PortLost() {
        if (slot_.stop.IsRequested()) {
            return Stopped();
        }
        Show(Text(kTextPortOpen), StatusColour::Red);
        return {FlowOutcome::PortLost, false};
    }

    const ConsoleContext& console_;
    PortSlot& slot_;
    const DownloadJob& job_;
    const Timings& time_;
    const FileToSend& file_;
    std::uint64_t imageSize_ = 0;
};

}  // namespace

KernelImageResult SendKernelImageRow(const ConsoleContext& console, FileFrame& frame,
                                     bool& imageCounted, bool& loaderAtPrompt,
                                     const FileToSend& file) {
    return KernelImageRow(console, file).Run(frame, imageCounted, loaderAtPrompt);
}

FlowOutcome SendKernelImage(const ConsoleContext& console, FileFrame& frame, bool& imageCounted,
                            bool& loaderAtPrompt, const FileToSend& file) {
    return SendKernelImageRow(console, frame, imageCounted, loaderAtPrompt, file).outcome;
}

}  // namespace termload
