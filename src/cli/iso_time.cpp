#include "cli/iso_time.h"

#include <cstdio>
#include <ctime>

namespace termload::cli {

std::string IsoLocalTime(WallTime time) {
    const std::time_t seconds = std::chrono::system_clock::to_time_t(time);
    const auto millis =
        std::chrono::duration_cast<std::chrono::milliseconds>(time.time_since_epoch()).count() %
        1000;
    std::tm local{};
    localtime_r(&seconds, &local);
    char stamp[32];
    std::strftime(stamp, sizeof stamp, "%Y-%m-%dT%H:%M:%S", &local);
    char offset[8];
    std::strftime(offset, sizeof offset, "%z", &local);  // "+0100"
    char text[64];
    std::snprintf(text, sizeof text, "%s.%03d%.3s:%.2s", stamp, static_cast<int>(millis), offset,
                  offset + 3);
    return text;
}

}  // namespace termload::cli
