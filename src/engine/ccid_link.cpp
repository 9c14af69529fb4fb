#include "engine/ccid_link.h"

#include "channels/channel_library.h"

namespace termload {

int CcidLink::Write(std::span<const std::uint8_t>) {
    return kChannelFailed;
}

int CcidLink::Read(std::span<std::uint8_t>, std::uint32_t, std::size_t& got) {
    got = 0;
    return kChannelFailed;
}

std::optional<FailureCause> CcidLink::SendFrame(const FileFrame&) {
    return FailureCause::Transport;
}

}  // namespace termload
