#include "engine/slot_channel.h"

#include <algorithm>
#include <string_view>

#include "config/string_table.h"
#include "engine/download_job.h"
#include "engine/link.h"
#include "engine/port_slot.h"

namespace termload {

namespace {

constexpr int kTextReady = 60;
constexpr std::string_view kChecksumErrorReply = "Checksum Error";

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

bool OpenSlotChannel(PortSlot& slot, LinkMode mode,
                     const std::function<ChannelHandle(const ReceiveCallback&)>& openDevice) {
    PortSlotTable& table = slot.Table();
    const Timings& time = table.Time();
    if (slot.events.Exist()) {
        // Wake an exchange that may still wait on the old channel, then let it see the close.
        slot.events.SetAbort();
        slot.events.Close();
        DelayWithMessages(time.channelSettleMs);
        DelayWithMessages(time.channelSettleMs);
    }
    SlotCloseChannel(slot);

    DelayWithMessages(time.channelSettleMs);
    ReceiveCallback callback;
    if (mode == LinkMode::Console) {
        callback = [&table](ChannelHandle channel, const char* bytes, std::uint32_t count) {
            return SlotReceive(table, channel, bytes, count);
        };
    }
    // A stopped slot opens nothing; a stop that comes during the open closes the port below.
    const ChannelHandle channel = slot.OpenUnlessStopped([&] { return openDevice(callback); });
    if (channel != 0) {
        if (slot.stop.IsRequested()) {
            // The stop may have swept the slot before the channel was stored: close it here.
            SlotCloseChannel(slot);
        } else if (mode == LinkMode::Console) {
            slot.events.Create();
        }
    }

    slot.received.Clear();
    DelayWithMessages(time.channelSettleMs);
    return slot.channel != 0;
}

void SlotCloseChannel(PortSlot& slot) {
    slot.Link().Close();
}

int SlotReceive(PortSlotTable& table, ChannelHandle channel, const char* bytes,
                std::uint32_t count) {
    if (count == 0 || channel == 0 || bytes == nullptr) {
        return 0;
    }
    for (int index = 0; index < PortSlotTable::kSlotCount; ++index) {
        PortSlot& slot = table[index];
        if (slot.channel != channel) {
            continue;
        }
        try {
            const std::string text = slot.received.Append(bytes, count);
            if (text.find(kChecksumErrorReply) != std::string::npos) {
                ChecksumWatch watching = ChecksumWatch::Watching;
                table.checksumWatch.compare_exchange_strong(watching, ChecksumWatch::ErrorSeen);
            }
            ShowReceivedText(table, text);
            slot.events.SetReceive();
        } catch (...) {
            // The reader thread must go on whatever happens to one chunk.
        }
        return 0;
    }
    return 0;
}

void ShowReceivedText(PortSlotTable& table, const std::string& text) {
    const std::lock_guard lock(table.displayMutex_);
    table.Sink().ShowConsoleText(text);
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
