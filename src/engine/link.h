// A slot's link: everything one slot's download does with its terminal, whatever carries the
// bytes. The flows talk to the link and never ask which transport they run on; each transport is
// one link file over its channel (serial_link, hid_link, ccid_link), and MakeLink
// (transport_links.h), which picks it when the run starts, is the one place that looks at the
// transport.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <span>
#include <string>

#include "engine/console_link.h"
#include "engine/host_sink.h"
#include "engine/link_context.h"
#include "engine/transport.h"

namespace termload {

struct DownloadJob;
struct FileFrame;

// What follows a frame the link refused (unless the device hung up, which ends the pass).
enum class FrameRecovery {
    GiveUpFile,        // the file's transfer ends there
    RestartFromBlock0  // the link is opened afresh and the file starts again from block 0
};

// What the link made of the end of a pass whose files all went out.
struct PassCompletion {
    bool ok = true;         // the terminal confirmed the pass, or there is nothing to confirm
    bool lastPass = false;  // the run ends with this pass
};

class SlotLink {
  public:
    virtual ~SlotLink() = default;

    // The digit shown after "File read error" when the link refuses a frame.
    virtual char FailureDigit() const = 0;
    virtual FrameRecovery Recovery() const = 0;

    // (Re)opens the slot's channel: whatever was open is closed first. False when it cannot be
    // opened, and when the slot is stopped (a stop during the open closes it again).
    virtual bool Open(LinkMode mode) = 0;
    // Closes the channel if one is open; safe against a stop closing it at the same moment.
    virtual void Close() = 0;

    // The terminal's boot console, when the transport reaches one (else null): writes, reads and
    // typing. Valid as long as the link.
    virtual ConsoleLink* Console() { return nullptr; }

    // Discards what came in and what has not been taken yet of the output (never bytes a write
    // reported as sent).
    virtual void Purge() = 0;

    // Sends one sealed frame, paced as the transport needs. Nothing when it went out, or was cut
    // short by the slot's stop (the caller sees the stop itself); else why it was refused:
    // HangUp (the device went away), TimeOut (the terminal stopped taking bytes) or Transport.
    virtual std::optional<FailureCause> SendFrame(const FileFrame& frame) = 0;

    // Waits, no longer than a write that gets nowhere, until every byte the link took has left
    // the PC. Nothing when it has (or the transport holds nothing back); else why not: TimeOut
    // (the terminal stopped taking bytes) or HangUp (the device went away).
    virtual std::optional<FailureCause> Drain() { return std::nullopt; }

    // Sends the version request and gives what the terminal answered within its wait (may be
    // empty); nothing when the request could not be sent.
    virtual std::optional<std::string> ExchangeVersion(std::span<const std::uint8_t> request) = 0;

    // At the start of a pass: remembers which device the port leads to.
    virtual void BeginPass() {}
    // True when the port leads to another device than at BeginPass: the terminal went away
    // between two files, and the files sent before went to one that is no longer there.
    virtual bool DeviceReplaced() const { return false; }

    // After the file loop of a pass that was not stopped; `lastFileName` is the file-name part
    // of the last file handled. Links whose terminal confirms a pass wait for it here.
    virtual PassCompletion EndPass(const std::string& /*lastFileName*/) { return {}; }

    // The operator stopped the run while the slot's thread was under way; the slot's stop is
    // raised already. A link whose terminal waits for the rest of a pass tells it here.
    virtual void OperatorStopped() {}

  protected:
    // What an open of a channel that has a console does around the device's own open: wakes and
    // closes the events of the old channel, closes it (Close), runs `openDevice` (with the slot's
    // console receiver as the callback in console mode, none in normal mode) unless the slot is
    // stopped, creates fresh events in console mode and clears the receive text, with the
    // channel's settle pauses between. A stop that comes during the open closes the new channel.
    // True when the slot has a channel afterwards.
    bool OpenChannel(const LinkContext& slot, LinkMode mode,
                     const std::function<ChannelHandle(const ReceiveCallback&)>& openDevice);
};

// Makes the link of one slot for a run. The table keeps the job as long as the link.
using LinkFactory =
    std::function<std::unique_ptr<SlotLink>(const LinkContext&, const DownloadJob&)>;

}  // namespace termload
