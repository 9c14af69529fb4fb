// The USB-CCID link: a frame goes as 17 escapes to the reader, each answered 0x90; a refused one
// fails the frame with "3" and the file starts again from block 0. This build has no CCID link yet.
#pragma once

#include "engine/link.h"

namespace termload {

class CcidLink final : public UnavailableLink {
  public:
    explicit CcidLink(PortSlot&) : UnavailableLink('3', FrameRecovery::RestartFromBlock0) {}
};

}  // namespace termload
