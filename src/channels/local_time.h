#pragma once

#include <ctime>

namespace termload {

// The machine's local calendar time now (year since 1900, month from 0, as in tm).
std::tm LocalCalendarTimeNow();

}  // namespace termload
