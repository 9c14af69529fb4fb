#include "cli/iso_time.h"

namespace termload::cli {

bool LocalTimeOf(std::time_t seconds, std::tm& local, long& utcOffsetSeconds) {
    if (localtime_r(&seconds, &local) == nullptr) {
        return false;
    }
    utcOffsetSeconds = local.tm_gmtoff;
    return true;
}

}  // namespace termload::cli
