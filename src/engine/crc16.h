#pragma once

#include <cstddef>
#include <cstdint>

namespace termload {

// CRC-16 of XMODEM/YMODEM: polynomial 0x1021, register starting at 0, bits not reflected, no
// final complement. Chain calls by passing the previous result as `running`.
std::uint16_t Crc16Xmodem(const std::uint8_t* bytes, std::size_t count, std::uint16_t running = 0);

}  // namespace termload
