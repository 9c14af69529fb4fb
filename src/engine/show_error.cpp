#include "engine/show_error.h"

#include <memory>
#include <string>

#include "engine/port_slot_table.h"

namespace termload {

bool ShowError(PortSlot& slot, std::string_view text) {
    auto answer = std::make_shared<ErrorAnswer>();
    slot.Table().Sink().ShowError(slot.Index(), std::string(text) + "    ", answer);
    return answer->WaitForAcknowledgement(slot.stop);
}

}  // namespace termload
