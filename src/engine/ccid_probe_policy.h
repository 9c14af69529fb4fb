// How a USB-CCID terminal is brought to readiness when the operator connects its reader: up to
// three probes, each "not ready" answered with a reboot request and the terminal's restart time.
#pragma once

#include <cstdint>

namespace termload {

inline constexpr int kCcidProbeAttempts = 3;
inline constexpr std::uint32_t kCcidRestartPauseMs = 3000;

}  // namespace termload
