// The version read over USB-HID as the window runs it, in a process of its own so that it can
// run with umockdev's preload: prints "reply" and the payload in hex, or "none".
#include <cstdio>

#include "channels/channel_library.h"
#include "engine/timings.h"
#include "engine/version_exchange.h"

int main() {
    termload::ChannelLibInit();
    const auto reply =
        termload::HidVersionExchange(false, termload::Timings{}.versionReplyWaitHidMs);
    if (!reply.opened || reply.reply.empty()) {
        std::printf("none\n");
        return 1;
    }
    std::printf("reply");
    for (const auto byte : reply.reply) {
        std::printf(" %02X", byte);
    }
    std::printf("\n");
    termload::ChannelLibShutdown();
    return 0;
}
