#include "engine/ccid_link.h"

#include <array>

#include "channels/ccid_reader.h"
#include "channels/channel_library.h"
#include "engine/download_job.h"
#include "engine/file_frame.h"
#include "engine/message_pump.h"

namespace termload {

namespace {

// The end-of-pass texts the terminals' operators know; they exist in Chinese only.
std::string PassText(const std::string& prefix, const std::string& file, const char* tail) {
    return "[" + prefix + "]" + file + tail;
}

}  // namespace

CcidLink::CcidLink(const LinkContext& slot, const DownloadJob& job,
                   std::shared_ptr<CcidReader> reader)
    : slot_(slot), job_(job), reader_(std::move(reader)) {}

bool CcidLink::Open(LinkMode mode) {
    return mode == LinkMode::Normal && reader_ && reader_->connected() && !slot_.stop.IsRequested();
}

std::optional<FailureCause> CcidLink::SendFrame(const FileFrame& frame) {
    if (!reader_) {
        return FailureCause::HangUp;
    }
    const int sent = reader_->SendPieces(frame.bytes, [this] {
        DelayWithMessages(job_.pacing.usbDelayMs);
        return !slot_.stop.IsRequested();
    });
    if (sent >= 0) {
        return std::nullopt;  // sent, or cut short by the stop, which the caller sees
    }
    // The operator closed the connection: nothing will reach the terminal until it is opened
    // again, so the pass ends rather than repeat the file against a closed reader.
    return reader_->connected() ? FailureCause::Transport : FailureCause::HangUp;
}

std::optional<std::string> CcidLink::ExchangeVersion(std::span<const std::uint8_t> request) {
    if (!reader_) {
        return std::nullopt;
    }
    std::array<std::uint8_t, kCcidMaxReply> reply{};
    const int n = reader_->Exchange(request, reply);
    if (n < 0) {
        return std::nullopt;
    }
    return std::string(reinterpret_cast<const char*>(reply.data()), static_cast<std::size_t>(n));
}

PassCompletion CcidLink::EndPass(const std::string& lastFileName) {
    PassCompletion completion{true, TraitsOf(Transport::UsbCcid).onePass};
    if (!reader_) {
        completion.ok = false;
        return completion;
    }
    const Timings& time = slot_.time;
    const std::string prefix = StatusPrefix(slot_.portNumber);
    SlotStatus& status = slot_.status;
    // Failures are red and completions blue, so that a failure never shows in the blue of the
    // file completed just before.
    // The terminal writes what it received into its flash; it is asked every 2 s until it has
    // finished. It sets no limit on that time, so only the operator's stop ends an endless
    // "still writing" (the stop wakes the pause).
    const auto stopped = [this] { return slot_.stop.IsRequested(); };
    bool written = false;
    for (;;) {
        // Shown in the colour in force: the blue of the last file's "...OK" stays.
        status.Show(PassText(prefix, lastFileName, " 正在更新，请不要点停止下载.."));
        DelayWithMessages(time.ccidPollPauseMs);
        const int poll = reader_->PollPass(stopped);
        if (poll == kCcidStopped) {
            completion.ok = false;
            return completion;
        }
        if (poll < 0) {
            status.Show(PassText(prefix, lastFileName, " 更新...false"), StatusColour::Red);
            DelayWithMessages(time.ccidFailurePauseMs);
            break;
        }
        if (poll == 1) {
            status.Show(PassText(prefix, lastFileName, " 更新...OK"), StatusColour::Blue);
            DelayWithMessages(time.ccidDonePauseMs);
            written = true;
            break;
        }
    }
    const bool confirmed = reader_->PassResult(stopped);
    if (stopped()) {
        completion.ok = false;  // stopped before or while asking: no result to show
        return completion;
    }
    status.Show("[" + prefix + "] " + (confirmed ? "文件更新成功！" : "文件更新失败！"),
                confirmed ? StatusColour::Blue : StatusColour::Red);
    completion.ok = written && confirmed;
    if (!completion.ok) {
        slot_.sink.PassFailed({slot_.slotIndex, lastFileName, status.Text(),
                               FailureCause::CcidResult, PassRestart::None});
    }
    return completion;
}

void CcidLink::OperatorStopped() {
    if (reader_) {
        reader_->SendStop();
    }
}

}  // namespace termload
