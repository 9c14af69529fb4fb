// The one place that looks at the transport: the link each slot gets for a run.
#pragma once

#include <functional>
#include <memory>

#include "engine/link.h"

namespace termload {

class CcidReader;

// The link of the job's transport; a USB-CCID link goes over `ccidReader`.
std::unique_ptr<SlotLink> MakeLink(const LinkContext& slot, const DownloadJob& job,
                                   std::shared_ptr<CcidReader> ccidReader = nullptr);

// The host's reader connection as it stands when a run starts; null when it has none.
using CcidReaderSource = std::function<std::shared_ptr<CcidReader>()>;

// Makes each slot's link over the job's transport; a USB-CCID link goes over the connection
// `ccidReader` gives (none when it is empty).
LinkFactory TransportLinks(CcidReaderSource ccidReader = {});

}  // namespace termload
