// The serial link: a COM port (or a USB serial device) through the serial channel. A frame goes
// out in nine pieces of at most 512 bytes, each followed by USBDelay, with a purge after the
// fourth and the eighth; a piece not written whole fails the frame with "4", and the file starts
// again from block 0 on the port opened afresh.
#pragma once

#include <string>

#include "engine/link.h"

namespace termload {

// A write that fails sooner than this failed because the device went away; the channel waits
// 2000 ms for a terminal that does not take bytes before it gives up.
inline constexpr std::uint32_t kHangUpWithinMs = 1000;

class SerialLink final : public SlotLink, public ConsoleLink {
  public:
    SerialLink(const LinkContext& slot, const DownloadJob& job);

    char FailureDigit() const override { return '4'; }
    FrameRecovery Recovery() const override { return FrameRecovery::RestartFromBlock0; }
    bool Open(LinkMode mode) override;
    void Close() override;
    ConsoleLink* Console() override { return this; }
    ChannelResult Write(std::span<const std::uint8_t> bytes) override;
    ChannelResult Read(std::span<std::uint8_t> into, std::uint32_t timeoutMs,
                       std::size_t& got) override;
    void Purge() override;
    std::optional<FailureCause> SendFrame(const FileFrame& frame) override;
    std::optional<FailureCause> Drain() override;
    bool SendConsoleBytes(std::span<const std::uint8_t> bytes) override;
    std::optional<std::string> ExchangeVersion(std::span<const std::uint8_t> request) override;
    void BeginPass() override;
    bool DeviceReplaced() const override;

  private:
    std::optional<FailureCause> SendPieces(std::span<const std::uint8_t> wire);
    // The identity of the device the port's path leads to now; empty when there is none.
    std::string DeviceNow() const;
    // After an open: notes the device opened, and whether it is another than the pass's.
    void NoteOpenedDevice();

    const LinkContext slot_;  // the slot as the link sees it
    const DownloadJob& job_;
    std::string passDevice_;  // the identity of the pass's device
    bool replaced_ = false;   // an open of this pass reached another device
};

}  // namespace termload
