#include "engine/link.h"

#include "engine/message_pump.h"

namespace termload {

bool SlotLink::OpenChannel(const LinkContext& slot, LinkMode mode,
                           const std::function<ChannelHandle(const ReceiveCallback&)>& openDevice) {
    const Timings& time = slot.time;
    if (slot.events.Exist()) {
        // Wake an exchange that may still wait on the old channel, then let it see the close.
        slot.events.SetAbort();
        slot.events.Close();
        DelayWithMessages(time.channelSettleMs);
        DelayWithMessages(time.channelSettleMs);
    }
    Close();

    DelayWithMessages(time.channelSettleMs);
    ReceiveCallback callback;
    if (mode == LinkMode::Console) {
        callback = slot.consoleReceiver;
    }
    // A stopped slot opens nothing; a stop that comes during the open closes the port below.
    const ChannelHandle channel = slot.OpenUnlessStopped([&] { return openDevice(callback); });
    if (channel != 0) {
        if (slot.stop.IsRequested()) {
            // The stop may have swept the slot before the channel was stored: close it here.
            Close();
        } else if (mode == LinkMode::Console) {
            slot.events.Create();
        }
    }

    slot.received.Clear();
    DelayWithMessages(time.channelSettleMs);
    return slot.channel != 0;
}

}  // namespace termload
