#pragma once

#include <string_view>

namespace termload {

class PortSlot;

// Shows an error for the slot's download thread (the text followed by four blanks) and waits
// until the operator acknowledges it or the slot is stopped; true when acknowledged.
bool ShowError(PortSlot& slot, std::string_view text);

}  // namespace termload
