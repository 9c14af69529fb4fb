#include "engine/boot_console.h"

#include <cinttypes>
#include <cstdio>
#include <optional>
#include <span>

#include "engine/download_job.h"
#include "engine/message_pump.h"
#include "engine/port_slot_table.h"
#include "engine/slot_channel.h"

namespace termload {

namespace {

constexpr char kEsc[] = "\x1b";
// Wake-ups of the console that StartKernel answers with another "y\r" while the kernel boots.
constexpr int kKernelStartRetries = 3;

// NandErase looks at no shorter text.
constexpr std::size_t kEraseMenuLength = 10;

// One exchange on one slot: typing, pauses and waits, each ending at once on a stop.
class Exchange {
  public:
    explicit Exchange(const ConsoleContext& console)
        : slot_(console.slot), job_(console.job), time_(console.job.timings) {}

    // The slot must be the one its port number names in its table.
    bool SlotInUse() const {
        return SlotIndexOfPort(slot_.Table(), slot_.portNumber) == slot_.Index();
    }

    bool Type(std::string_view bytes) {
        if (slot_.stop.IsRequested()) {
            return false;
        }
        ConsoleLink* console = slot_.Link().Console();
        const auto* data = reinterpret_cast<const std::uint8_t*>(bytes.data());
        return console != nullptr && console->SendConsoleBytes(std::span(data, bytes.size()));
    }
    // ESC opens the boot loader's menus; only the kernel-mode loader wants it before these.
    bool TypeEscInKernelMode() { return !job_.kernelMode || Type(kEsc); }

    void Pause(std::uint32_t milliseconds) { DelayWithMessages(milliseconds, slot_.stop); }
    void PauseCmdDelay() { Pause(job_.cmdDelayMs); }

    void Clear() { slot_.received.Clear(); }

    // The usual end of a matched reply: let the rest of it come in, then forget it.
    bool Settled() {
        Pause(time_.replySettleMs);
        Clear();
        return true;
    }

    // One wait for the next received chunk; the text as it stands then, or nothing when the wait
    // ended otherwise (time-out, abort, events closed).
    std::optional<std::string> NextChunk(std::uint32_t timeoutMs) {
        if (WaitReceiveOrAbort(slot_, timeoutMs) != EventWait::Received) {
            return std::nullopt;
        }
        return slot_.received.Text();
    }

    // Waits until the reply is complete; `timeoutMs` is the longest silence allowed.
    bool Await(std::uint32_t timeoutMs, const ConsoleReply& reply) {
        for (;;) {
            const auto text = NextChunk(timeoutMs);
            if (!text) {
                return false;
            }
            if (ReplyComplete(*text, reply)) {
                return true;
            }
        }
    }

    const Timings& Time() const { return time_; }
    const DownloadJob& Job() const { return job_; }

  private:
    PortSlot& slot_;
    const DownloadJob& job_;
    const Timings& time_;
};

std::string SizeCommand(const char* format, std::uint64_t imageSize) {
    char text[48];
    std::snprintf(text, sizeof text, format, imageSize + 1024);
    return text;
}

}  // namespace

bool ConsoleContains(std::string_view text, std::string_view keyword) {
    return text.find(keyword) != std::string_view::npos;
}

bool ReplyComplete(std::string_view text, std::size_t minLength, std::string_view keyword) {
    return text.size() > minLength && ConsoleContains(text, keyword);
}

NandEraseStep NandEraseNext(std::string_view text, bool kernelMode) {
    if (text.size() <= kEraseMenuLength) {
        return NandEraseStep::Wait;
    }
    if (kernelMode && ConsoleContains(text, "region")) {
        return NandEraseStep::ChooseRegion;
    }
    if (ConsoleContains(text, "1f0:")) {
        return NandEraseStep::QuitScan;
    }
    return NandEraseStep::Wait;
}

std::string NandWriteCommand(std::uint64_t imageSize) {
    return SizeCommand("DownNand c008000 %" PRIx64 "\r", imageSize);
}

std::string UpNandCommand(std::uint64_t imageSize) {
    return SizeCommand("UpNand c000000 %" PRIx64 "\r", imageSize);
}

bool WaitBoard(const ConsoleContext& console) {
    Exchange x(console);
    if (!x.SlotInUse()) {
        return false;
    }
    x.Clear();
    return x.Await(x.Time().waitBoardTimeoutMs, kBannerReply) && x.Settled();
}

bool RamTest(const ConsoleContext& console) {
    Exchange x(console);
    if (!x.SlotInUse() || !x.Type("\r") || !x.Type("\r")) {
        return false;
    }
    x.PauseCmdDelay();
    return x.Type("ramtest\r") && x.Await(x.Time().ramTestTimeoutMs, kRamTestReply) && x.Settled();
}

bool NandErase(const ConsoleContext& console, char region) {
    Exchange x(console);
    if (!x.SlotInUse() || !x.TypeEscInKernelMode() || !x.Type("\r")) {
        return false;
    }
    x.PauseCmdDelay();
    if (!x.Type("nandtest\r")) {
        return false;
    }
    for (;;) {
        const auto text = x.NextChunk(x.Time().nandEraseTimeoutMs);
        if (!text) {
            return false;
        }
        switch (NandEraseNext(*text, x.Job().kernelMode)) {
            case NandEraseStep::Wait:
                continue;
            case NandEraseStep::ChooseRegion:
                x.Pause(x.Time().replySettleMs);
                return x.Type(std::string(1, region)) && x.Type("y") &&
                       x.Await(x.Time().nandEraseConfirmTimeoutMs, kEraseDoneReply) && x.Settled();
            case NandEraseStep::QuitScan:
                x.Pause(x.Time().replySettleMs);
                if (!x.Type("q\r")) {
                    x.Clear();
                    return false;
                }
                // The scan's text stays: the caller may still want to read it.
                x.Pause(x.Time().replySettleMs);
                return true;
        }
    }
}

bool UsbDown(const ConsoleContext& console) {
    Exchange x(console);
    if (!x.SlotInUse() || !x.Type(kEsc) || !x.Type("\r") || !x.Type("usbdown\r") ||
        !x.Await(x.Time().usbDownTimeoutMs, kUsbDownReply)) {
        return false;
    }
    // The host needs CMDDelay, not the usual settle, before the USB device is looked for.
    x.PauseCmdDelay();
    x.Clear();
    return true;
}

bool NandSolidify(const ConsoleContext& console, char region) {
    Exchange x(console);
    if (!x.SlotInUse() || !x.Type("n") || !x.Type(kEsc) || !x.Type("\r")) {
        return false;
    }
    x.Clear();
    if (!x.Type("DownNand\r") || !x.Await(x.Time().nandSolidifyTimeoutMs, kSolidifyMenuReply)) {
        return false;
    }
    x.Pause(x.Time().replySettleMs);
    return x.Type(std::string(1, region)) && x.Type("y") &&
           x.Await(x.Time().nandSolidifyConfirmTimeoutMs, kSolidifyDoneReply) && x.Settled();
}

bool ComLoad(const ConsoleContext& console) {
    Exchange x(console);
    if (!x.SlotInUse() || !x.Type("\r")) {
        return false;
    }
    x.PauseCmdDelay();
    return x.Type("comload\r") && x.Await(x.Time().comLoadTimeoutMs, kComLoadReply) && x.Settled();
}

bool NandWriteImage(const ConsoleContext& console, std::uint64_t imageSize) {
    Exchange x(console);
    if (!x.SlotInUse() || !x.TypeEscInKernelMode() || !x.Type("\r")) {
        return false;
    }
    x.PauseCmdDelay();
    if (!x.Type(NandWriteCommand(imageSize)) ||
        !x.Await(x.Time().nandWriteImageTimeoutMs, kNandWriteReply)) {
        return false;
    }
    x.Settled();
    // Confirmed; the boot loader's prompt comes back once the image is in NAND.
    return x.Type("y\r") && x.Await(x.Time().nandWritePromptTimeoutMs, kPromptReply) && x.Settled();
}

bool StartKernel(const ConsoleContext& console, std::uint64_t imageSize) {
    Exchange x(console);
    if (!x.SlotInUse() || !x.TypeEscInKernelMode() || !x.Type("\r") || !x.Type("\r") ||
        !x.Type("\r")) {
        return false;
    }
    x.PauseCmdDelay();
    if (!x.Type(UpNandCommand(imageSize)) ||
        !x.Await(x.Time().startKernelTimeoutMs, kUpNandReply)) {
        return false;
    }
    x.Settled();
    if (!x.Type("y") || !x.Type("\r")) {
        return false;
    }
    x.PauseCmdDelay();
    if (!x.Type("\r") || !x.Type("\r")) {
        return false;
    }
    x.PauseCmdDelay();
    if (!x.Type("run c000000\r") || !x.Await(x.Time().kernelRunTimeoutMs, kRunReply)) {
        return false;
    }
    x.Settled();
    x.PauseCmdDelay();
    if (!x.Type("y\r") || !x.Type("\r") || !x.Type("\r")) {
        return false;
    }
    // The kernel may ask again while it boots: up to three more "y\r", then give up.
    for (int retries = 0;; ++retries) {
        const auto text = x.NextChunk(x.Time().kernelRunTimeoutMs);
        if (!text) {
            return false;
        }
        if (ReplyComplete(*text, kMountedReply)) {
            x.Settled();
            return true;
        }
        if (retries == kKernelStartRetries || !x.Type("y\r")) {
            return false;
        }
    }
}

}  // namespace termload
