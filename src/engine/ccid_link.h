// The USB-CCID link: a frame goes as 17 escapes to the reader, each answered 0x90; a refused one
// fails the frame with "3" and the file starts again from block 0. This build has no PC/SC
// channel: the link refuses everything, and a download start with this transport is refused before.
#pragma once

#include "engine/link.h"

namespace termload {

class CcidLink final : public SlotLink {
  public:
    static constexpr bool kAvailable = false;

    explicit CcidLink(PortSlot&) {}

    char FailureDigit() const override { return '3'; }
    FrameRecovery Recovery() const override { return FrameRecovery::RestartFromBlock0; }
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
