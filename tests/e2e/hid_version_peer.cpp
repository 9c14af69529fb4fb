// The version read over USB-HID as the window runs it, in a process of its own so that it can
// run with umockdev's preload: prints "reply" and the payload in hex, or "none".
#include <cstdio>

#include "channels/channel_library.h"
#include "engine/hid_version.h"

int main() {
    termload::ChannelLibInit();
    const auto reply = termload::HidVersionExchange(false);
    if (!reply) {
        std::printf("none\n");
        return 1;
    }
    std::printf("reply");
    for (const auto byte : *reply) {
        std::printf(" %02X", byte);
    }
    std::printf("\n");
    termload::ChannelLibShutdown();
    return 0;
}
