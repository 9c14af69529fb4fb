// Windows: the multimedia timer's period, asked for and given back in pairs.
#include "engine/timer_resolution.h"

#include <windows.h>
#include <timeapi.h>

namespace termload {

namespace {
constexpr UINT kPeriodMs = 1;
}  // namespace

FineTimerResolution::FineTimerResolution() : held_(timeBeginPeriod(kPeriodMs) == TIMERR_NOERROR) {}

FineTimerResolution::~FineTimerResolution() {
    if (held_) {
        timeEndPeriod(kPeriodMs);
    }
}

}  // namespace termload
