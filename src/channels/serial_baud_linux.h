#pragma once

#include <system_error>

namespace termload {

// Sets a baud rate that has no Bxxx constant (14400, 56000, 128000, 256000, …) through the
// kernel's arbitrary-rate interface. Fails when the driver refuses the rate or cannot come
// within 3 % of it.
std::error_code SetArbitraryBaudRate(int fd, int baudRate);

}  // namespace termload
