#include "engine/transport_links.h"

#include "engine/ccid_link.h"
#include "engine/download_job.h"
#include "engine/hid_link.h"
#include "engine/serial_link.h"

namespace termload {

std::unique_ptr<SlotLink> MakeLink(const LinkContext& slot, const DownloadJob& job) {
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

}  // namespace termload
