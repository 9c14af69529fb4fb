#include "engine/usb_pipe_flow.h"
#include "config/paths.h"

#include <filesystem>
#include <system_error>

#include "config/string_table.h"
#include "engine/download_job.h"
#include "engine/download_texts.h"
#include "engine/message_pump.h"
#include "engine/port_slot_table.h"
#include "engine/show_error.h"

namespace termload {

namespace {

constexpr int kEraseAttempts = 3;
constexpr int kConnectAttempts = 3;
constexpr int kDownloadAttempts = 2;

struct RowTexts {
    char region;
    int erasing;  // 0: the row erases nothing first
    bool erasingWithPrefix;
    int eraseFailed;
    int downloading;
    int downloadFailed;
    int solidifyFailed;
    int done;
};

std::optional<RowTexts> TextsOfKind(int kind) {
    switch (kind) {
        case 3:
            return RowTexts{kRegionBios, 0, false, 0, kTextDownloadBios, 90, 91, 92};
        case 4:
            return RowTexts{kRegionKernel, kTextErasingKernel, false, 94, 95, 96, 97, 98};
        case 5:
            return RowTexts{kRegionRoot, kTextErasingRoot, true, 100, 101, 102, 103, 104};
        default:
            return std::nullopt;
    }
}

std::uint64_t SizeOf(const std::filesystem::path& path) {
    std::error_code ec;
    const std::uintmax_t size = std::filesystem::file_size(path, ec);
    return ec ? 0 : size;
}

class Row {
  public:
    Row(PortSlot& slot, const DownloadJob& job, const FileToSend& file)
        : slot_(slot), job_(job), file_(file) {}

    void Show(int id) { slot_.status.Show(std::string(TextOf(job_.langBase, id))); }
    void Pause(std::uint32_t ms) { DelayWithMessages(ms, slot_.stop); }

    // The operator is shown the failure and the pass starts over (the thread reports the pass
    // as failed); a stop is no failure to show.
    FlowOutcome Fail(int id) {
        if (slot_.stop.IsRequested()) {
            return FlowOutcome::NextRow;
        }
        const std::string text(TextOf(job_.langBase, id));
        Finished(false, text);
        ShowError(slot_, text);
        return FlowOutcome::StartOver;
    }

    void Finished(bool ok, const std::string& text) {
        slot_.Table().Sink().FileFinished({slot_.Index(), file_.row, PathToUtf8(file_.source),
                                           file_.destination, SizeOf(file_.source), ok, text});
    }

  private:
    PortSlot& slot_;
    const DownloadJob& job_;
    const FileToSend& file_;
};

}  // namespace

bool UsbConnect(PortSlot& slot, const DownloadJob& job, UsbFlowConsole& console,
                const UsbPipeAccess& usb) {
    const std::uint32_t settle = job.timings.usbConnectSettleMs;
    for (int attempt = 0; attempt < kConnectAttempts && !slot.stop.IsRequested(); ++attempt) {
        if (!console.UsbDown()) {
            continue;
        }
        DelayWithMessages(settle, slot.stop);
        if (UsbDevicePresent(slot, job, usb)) {
            DelayWithMessages(settle, slot.stop);
            slot.status.Show(std::string(TextOf(job.langBase, kTextUsbConnected)));
            return true;
        }
        slot.status.Show(std::string(TextOf(job.langBase, kTextUsbConnectFailed)));
        DelayWithMessages(settle, slot.stop);
    }
    return false;
}

FlowOutcome RunUsbPipeFlow(PortSlot& slot, const DownloadJob& job, int kind, const FileToSend& file,
                           UsbFlowConsole& console, const UsbPipeAccess& usb) {
    const std::optional<RowTexts> texts = TextsOfKind(kind);
    if (!texts) {
        return FlowOutcome::NextRow;
    }
    Row row(slot, job, file);

    if (texts->erasing != 0) {
        const std::string erasing(TextOf(job.langBase, texts->erasing));
        slot.status.Show(texts->erasingWithPrefix ? StatusPrefix(slot.portNumber) + erasing
                                                  : erasing);
        bool erased = false;
        for (int attempt = 0; attempt < kEraseAttempts && !erased; ++attempt) {
            erased = console.NandErase(texts->region);
        }
        if (!erased) {
            return row.Fail(texts->eraseFailed);
        }
    }

    row.Show(texts->downloading);
    bool sent = false;
    for (int attempt = 0; attempt < kDownloadAttempts && !sent; ++attempt) {
        sent = UsbConnect(slot, job, console, usb) && UsbSendFile(slot, job, file, usb);
    }
    row.Pause(job.cmdDelayMs);
    // The terminal checks the image's sum and says so on the console, whatever the pipe took.
    if (!sent || slot.Table().checksumWatch == ChecksumWatch::ErrorSeen) {
        return row.Fail(texts->downloadFailed);
    }
    // Nothing is watched any more; a later "Checksum Error" must not count against this row or
    // the next one before its own transfer arms the watch again.
    slot.Table().checksumWatch = ChecksumWatch::Idle;

    if (!console.NandSolidify(texts->region)) {
        return row.Fail(texts->solidifyFailed);
    }
    row.Show(texts->done);
    row.Finished(true, slot.status.Text());
    row.Pause(job.cmdDelayMs);
    return FlowOutcome::NextRow;
}

}  // namespace termload
