#include "engine/slot_channel.h"

#include <algorithm>
#include <string_view>

#include "config/string_table.h"
#include "engine/port_slot_table.h"

namespace termload {

namespace {

constexpr int kTextReady = 60;

}  // namespace

int SlotIndexOfPort(const PortSlotTable& table, int portNumber) {
    for (int index = 0; index < PortSlotTable::kSlotCount; ++index) {
        if (table[index].portNumber == portNumber) {
            return index;
        }
    }
    return -1;
}

bool SlotOpenChannel(PortSlotTable& table, int portNumber, int mode) {
    const int index = SlotIndexOfPort(table, portNumber);
    if (index < 0) {
        return false;
    }
    return table[index].Link().Open(mode == kChannelConsole ? LinkMode::Console : LinkMode::Normal);
}

void SlotCloseChannel(PortSlot& slot) {
    slot.Link().Close();
}

void SlotStopAll(PortSlotTable& table) {
    std::unique_lock lock(table.stopMutex_, std::defer_lock);
    const PortSlot* caller = CurrentSlot();
    if (caller != nullptr && &caller->Table() == &table) {
        // A download thread ending the run: when a stop is already under way it would wait for
        // that stop, which waits for this thread.
        if (!lock.try_lock()) {
            return;
        }
    } else {
        lock.lock();
    }
    const int used = std::clamp(table.Job().portCount, 1, PortSlotTable::kSlotCount);
    table.StopThreads(used);
    const std::string_view ready = TextOf(table.Job().langBase, kTextReady);
    for (int index = 0; index < used; ++index) {
        PortSlot& slot = table[index];
        slot.status.Show(StatusPrefix(slot.portNumber).append(ready), StatusColour::Black);
        slot.status.SetProgressPosition(0);
    }
}

}  // namespace termload
