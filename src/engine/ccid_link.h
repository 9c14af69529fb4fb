// The USB-CCID link: the terminal is a smart-card reader reached through PC/SC, over the one
// connection the operator opened (the host's CcidReader); nothing is opened or closed per file.
// A frame goes as 17 data requests (16 of 255 bytes, one of 93), each answered 0x90 and followed
// by USBDelay; a refused one fails the frame with "3" and the file starts again from block 0.
// After the files of a pass the terminal is asked until it has written them, then for its result;
// a USB-CCID run is one pass.
#pragma once

#include <memory>

#include "engine/link.h"

namespace termload {

class CcidReader;

class CcidLink final : public SlotLink {
  public:
    // `reader` is the host's connection (null when it has none: every open fails).
    CcidLink(const LinkContext& slot, const DownloadJob& job, std::shared_ptr<CcidReader> reader);

    char FailureDigit() const override { return '3'; }
    FrameRecovery Recovery() const override { return FrameRecovery::RestartFromBlock0; }
    // Normal mode succeeds while the reader connection is open; there is no console.
    bool Open(LinkMode mode) override;
    void Close() override {}
    void Purge() override {}
    std::optional<FailureCause> SendFrame(const FileFrame& frame) override;
    std::optional<std::string> ExchangeVersion(std::span<const std::uint8_t> request) override;
    PassCompletion EndPass(const std::string& lastFileName) override;
    // Tells the terminal, so that it does not wait for the rest of the files; the request goes
    // between two pieces of a frame, and no end-of-pass question follows it.
    void OperatorStopped() override;

  private:
    const LinkContext slot_;  // the slot as the link sees it
    const DownloadJob& job_;
    std::shared_ptr<CcidReader> reader_;
};

}  // namespace termload
