#include "engine/hid_link.h"

#include "channels/channel_library.h"

namespace termload {

int HidLink::Write(std::span<const std::uint8_t>) {
    return kChannelFailed;
}

int HidLink::Read(std::span<std::uint8_t>, std::uint32_t, std::size_t& got) {
    got = 0;
    return kChannelFailed;
}

std::optional<FailureCause> HidLink::SendFrame(const FileFrame&) {
    return FailureCause::Transport;
}

}  // namespace termload
