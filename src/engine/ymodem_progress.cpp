#include "engine/ymodem_progress.h"

#include <algorithm>
#include <climits>

#include "config/paths.h"
#include "config/string_table.h"
#include "engine/port_slot_table.h"

namespace termload {

std::string YmodemProgressText(int portNumber, std::string_view path, std::uint64_t total,
                               std::uint64_t remaining) {
    const std::uint64_t sent = total - std::min(remaining, total);
    return "[COM" + std::to_string(portNumber) + "]" + FileNamePart(path) + "(" +
           std::to_string(sent / 1024 + 1) + "K/" + std::to_string(total / 1024 + 1) + "K)";
}

std::string YmodemResultText(int langBase, YmodemResult result) {
    int id = 0;
    switch (result) {
        case YmodemResult::MaxErrors:
            id = 85;
            break;
        case YmodemResult::Timeout:
            id = 86;
            break;
        case YmodemResult::UserCancel:
            id = 87;
            break;
        case YmodemResult::RemoteCancel:
            id = 88;
            break;
        default:
            return {};
    }
    return std::string(TextOf(langBase, id));
}

YmodemCallback YmodemProgress(PortSlot& slot) {
    return [&slot](const YmodemProgressRecord& record, YmodemEvent) -> std::int32_t {
        if (record.total != 0) {
            const std::string text = YmodemProgressText(slot.portNumber, record.fileName,
                                                        record.total, record.remaining);
            // Called before every read: forward only what changed.
            if (text != slot.status.Text()) {
                slot.status.Show(text, StatusColour::Black);
            }
            // The bar counts bytes; a file too large for its range counts in larger units.
            const std::uint64_t sent = record.total - std::min(record.remaining, record.total);
            int shift = 0;
            while ((record.total >> shift) > static_cast<std::uint64_t>(INT_MAX)) {
                ++shift;
            }
            const auto maximum = static_cast<int>(record.total >> shift);
            const auto position = static_cast<int>(sent >> shift);
            const ProgressState shown = slot.status.Progress();
            if (shown.maximum != maximum || shown.minimum != 0) {
                slot.status.SetProgressRange(0, maximum);
            }
            if (shown.position != position) {
                slot.status.SetProgressPosition(position);
            }
        }
        // SlotStopAll raises both; the stop alone also ends the transfer.
        return slot.transferCancel.load() || slot.stop.IsRequested() ? 1 : 0;
    };
}

}  // namespace termload
