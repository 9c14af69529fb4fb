// The local calendar time from the system clock, in the time zone Windows is set to.
#include "channels/local_time.h"
#include "config/win32_text.h"

namespace termload {

std::tm LocalCalendarTimeNow() {
    SYSTEMTIME now{};
    GetLocalTime(&now);
    std::tm local{};
    local.tm_year = now.wYear - 1900;
    local.tm_mon = now.wMonth - 1;
    local.tm_mday = now.wDay;
    local.tm_hour = now.wHour;
    local.tm_min = now.wMinute;
    local.tm_sec = now.wSecond;
    local.tm_wday = now.wDayOfWeek;
    static constexpr int kDaysBefore[] = {0, 31, 59, 90, 120, 151, 181, 212, 243, 273, 304, 334};
    const bool leap = (now.wYear % 4 == 0 && now.wYear % 100 != 0) || now.wYear % 400 == 0;
    local.tm_yday = kDaysBefore[local.tm_mon % 12] + local.tm_mday - 1 + (leap && local.tm_mon > 1);
    local.tm_isdst = -1;
    return local;
}

}  // namespace termload
