#include "engine/transport_links.h"

#include "channels/ccid_reader.h"
#include "engine/ccid_link.h"
#include "engine/download_job.h"
#include "engine/hid_link.h"
#include "engine/serial_link.h"

namespace termload {

std::unique_ptr<SlotLink> MakeLink(const LinkContext& slot, const DownloadJob& job,
                                   std::shared_ptr<CcidReader> ccidReader) {
    switch (job.channel.transport) {
        case Transport::UsbHid:
            return std::make_unique<HidLink>(slot);
        case Transport::UsbCcid:
            return std::make_unique<CcidLink>(slot, job, std::move(ccidReader));
        case Transport::Serial:
            break;
    }
    return std::make_unique<SerialLink>(slot, job);
}

LinkFactory TransportLinks(CcidReaderSource ccidReader) {
    return [ccidReader = std::move(ccidReader)](const LinkContext& slot, const DownloadJob& job) {
        const bool overReader = TraitsOf(job.channel.transport).needsOpenReader && ccidReader;
        return MakeLink(slot, job, overReader ? ccidReader() : nullptr);
    };
}

}  // namespace termload
