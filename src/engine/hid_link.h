// The USB-HID link: one 4174-byte output report (id 0x0B, then the frame) per frame; a report not
// accepted fails the frame with "2" and the file is given up. This build has no USB-HID channel:
// the link refuses everything, and a download start with this transport is refused before.
#pragma once

#include "engine/link.h"

namespace termload {

class HidLink final : public SlotLink {
  public:
    static constexpr bool kAvailable = false;

    explicit HidLink(PortSlot&) {}

    char FailureDigit() const override { return '2'; }
    FrameRecovery Recovery() const override { return FrameRecovery::GiveUpFile; }
    bool Open(LinkMode) override { return false; }
    void Close() override {}
    int Write(std::span<const std::uint8_t>) override;
    int Read(std::span<std::uint8_t>, std::uint32_t, std::size_t& got) override;
    void Purge() override {}
    std::optional<FailureCause> SendFrame(const FileFrame&) override;
    bool SendConsoleBytes(std::span<const std::uint8_t>) override { return false; }
    std::optional<std::string> ExchangeVersion(std::span<const std::uint8_t>) override {
        return std::nullopt;
    }
};

}  // namespace termload
