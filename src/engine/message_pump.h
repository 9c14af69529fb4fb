// DelayWithMessages, the engine's wait in 10 ms steps: on a download thread it ends on the
// slot's stop, elsewhere it lets a window process its events between the steps.
#pragma once

#include <cstdint>

#include "engine/stop_signal.h"

namespace termload {

// Called between the 10 ms steps of DelayWithMessages on threads that are not download threads,
// so that a window can process its pending events. Null (the default) does nothing.
using MessagePump = void (*)();
void SetMessagePump(MessagePump pump);

// Waits `milliseconds` / 10 steps of 10 ms (below 10 it returns at once) and returns the number of
// steps waited. On a download thread the wait ends early when its stop is requested, and the
// steps actually waited are returned; elsewhere the message pump runs before every step.
std::uint32_t DelayWithMessages(std::uint32_t milliseconds);

// The same wait on any thread, ending early as soon as `stop` is raised (the message pump, when
// set, still runs between 10 ms steps). Returns the steps waited.
std::uint32_t DelayWithMessages(std::uint32_t milliseconds, const StopSignal& stop);

}  // namespace termload
