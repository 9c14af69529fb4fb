#include "cli/iso_time.h"

namespace termload::cli {

bool LocalTimeOf(std::time_t seconds, std::tm& local, long& utcOffsetSeconds) {
    if (localtime_s(&local, &seconds) != 0) {
        return false;
    }
    // The local fields read as UTC, less the instant itself: the offset, summer time included.
    std::tm copy = local;
    const std::time_t asUtc = _mkgmtime(&copy);
    if (asUtc == static_cast<std::time_t>(-1)) {
        return false;
    }
    utcOffsetSeconds = static_cast<long>(asUtc - seconds);
    return true;
}

}  // namespace termload::cli
