// The USB-HID link: one 4174-byte output report (id 0x0B, then the frame) per frame; a report not
// accepted fails the frame with "2" and the file is given up. This build has no USB-HID channel.
#pragma once

#include "engine/link.h"

namespace termload {

class HidLink final : public UnavailableLink {
  public:
    explicit HidLink(PortSlot&) : UnavailableLink('2', FrameRecovery::GiveUpFile) {}
};

}  // namespace termload
