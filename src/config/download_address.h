// The load address of an image that goes through the boot loader's USB pipe, as the
// configuration writes it.
#pragma once

#include <cstdint>
#include <string_view>

namespace termload {

inline constexpr std::string_view kDefaultDownloadAddress = "0x30200000";

// Hexadecimal digits read from the last character back to an "x" or "X"; other characters are
// skipped. Modulo 2^32.
std::uint32_t ParseHexAddress(std::string_view text);

}  // namespace termload
