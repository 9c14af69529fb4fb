#include "engine/link.h"

#include "channels/channel_library.h"

#include "engine/ccid_link.h"
#include "engine/download_job.h"
#include "engine/hid_link.h"
#include "engine/serial_link.h"
#include "engine/version_exchange.h"

namespace termload {

std::unique_ptr<SlotLink> MakeLink(PortSlot& slot, const DownloadJob& job) {
    switch (job.channel.transport) {
        case Transport::UsbHid:
            return std::make_unique<HidLink>(slot);
        case Transport::UsbCcid:
            return std::make_unique<CcidLink>(slot, job);
        case Transport::Serial:
            break;
    }
    return std::make_unique<SerialLink>(slot, job);
}

VersionExchange MakeVersionExchange(const VersionExchangeSetup& setup) {
    switch (setup.transport) {
        case Transport::UsbHid:
            return [trace = setup.trace, waitMs = setup.timings.versionReplyWaitHidMs] {
                return HidVersionExchange(trace, waitMs);
            };
        case Transport::UsbCcid:
            return [reader = setup.ccidReader] { return CcidVersionExchange(reader); };
        case Transport::Serial:
            break;
    }
    return [port = setup.port, line = setup.line, trace = setup.trace,
            waitMs = setup.timings.versionReplyWaitSerialMs] {
        return SerialVersionExchange(port, line, trace, waitMs);
    };
}

}  // namespace termload
