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
    long offset = 0;
    if (!LocalTimeOf(seconds, local, offset)) {
        offset = 0;
    }
    char stamp[32];
    std::strftime(stamp, sizeof stamp, "%Y-%m-%dT%H:%M:%S", &local);
    // Formatted here, as Windows' "%z" gives the zone's name rather than "+0100".
    const long minutes = (offset < 0 ? -offset : offset) / 60;
    char text[64];
    std::snprintf(text, sizeof text, "%s.%03d%c%02ld:%02ld", stamp, static_cast<int>(millis),
                  offset < 0 ? '-' : '+', minutes / 60, minutes % 60);
    return text;
}

}  // namespace termload::cli
