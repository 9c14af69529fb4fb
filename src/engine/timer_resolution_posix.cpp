// POSIX: timed waits end on time (a download thread's timer slack is set where it waits).
#include "engine/timer_resolution.h"

namespace termload {

FineTimerResolution::FineTimerResolution() : held_(true) {}

FineTimerResolution::~FineTimerResolution() = default;

}  // namespace termload
