// The one place that looks at the transport: the link each slot gets for a run.
#pragma once

#include <memory>

#include "engine/link.h"

namespace termload {

// The link of the job's transport.
std::unique_ptr<SlotLink> MakeLink(const LinkContext& slot, const DownloadJob& job);

}  // namespace termload
