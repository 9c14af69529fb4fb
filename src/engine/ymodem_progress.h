// What a port shows while its YMODEM sender runs, and the texts of the sender's results.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "engine/ymodem_sender.h"

namespace termload {

class PortSlot;

// "[COM%d]%s(%dK/%dK)": the port, the file-name part of `path`, the KiB sent plus one and the
// file's KiB plus one.
std::string YmodemProgressText(int portNumber, std::string_view path, std::uint64_t total,
                               std::uint64_t remaining);

// String 85 (MaxErrors), 86 (Timeout), 87 (UserCancel) or 88 (RemoteCancel); empty for any other
// result, which leaves the port's text as it is.
std::string YmodemResultText(int langBase, YmodemResult result);

// YmodemProgress: the sender's callback for the slot's download thread. Shows the label in black
// and the progress bar (in bytes, or in larger units beyond the bar's range) while a file is open,
// and asks the sender to cancel on the slot's TransferCancel or stop request.
YmodemCallback YmodemProgress(PortSlot& slot);

}  // namespace termload
