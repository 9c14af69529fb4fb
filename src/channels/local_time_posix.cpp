#include "channels/local_time.h"

namespace termload {

std::tm LocalCalendarTimeNow() {
    const std::time_t now = std::time(nullptr);
    std::tm local{};
    localtime_r(&now, &local);
    return local;
}

}  // namespace termload
