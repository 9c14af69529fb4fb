#include "app/window_download.h"

#include "engine/port_slot.h"
#include "engine/slot_channel.h"

namespace termload {

WindowDownload::WindowDownload(HostSink& sink) : slots_(std::make_unique<PortSlotTable>(sink)) {}

WindowDownload::~WindowDownload() = default;

void WindowDownload::StopAll() {
    SlotStopAll(*slots_);
}

}  // namespace termload
