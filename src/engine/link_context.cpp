#include "engine/link_context.h"

namespace termload {

ChannelHandle OpenUnlessStopped(std::mutex& openMutex, const StopSignal& stop,
                                std::atomic<ChannelHandle>& channel,
                                const std::function<ChannelHandle()>& open) {
    const std::lock_guard lock(openMutex);
    if (stop.IsRequested()) {
        return 0;
    }
    const ChannelHandle handle = open();
    channel = handle;
    return handle;
}

}  // namespace termload
