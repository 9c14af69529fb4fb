// Time stamps in the records and events the CLI writes.
#pragma once

#include <chrono>
#include <ctime>
#include <string>

namespace termload::cli {

using WallTime = std::chrono::system_clock::time_point;

// "2016-10-30T09:05:07.250+01:00": local time with its offset, to the millisecond.
std::string IsoLocalTime(WallTime time);

// The local time of `seconds` and its offset from UTC in seconds, thread-safe; false when the
// system cannot tell.
bool LocalTimeOf(std::time_t seconds, std::tm& local, long& utcOffsetSeconds);

}  // namespace termload::cli
