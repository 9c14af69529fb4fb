#pragma once
// Check values a terminal computes over what it receives.
#include <cstdint>
#include <span>

namespace termsim {

// Running CRC-32 (IEEE 802.3, reflected): start from 0, feed pieces, the value is final at any
// point.
uint32_t Crc32(uint32_t running, std::span<const uint8_t> bytes);

// CRC-16 of XMODEM/YMODEM packets: polynomial 0x1021, initial 0, not reflected.
uint16_t Crc16(std::span<const uint8_t> bytes);

// Sum of the bytes modulo 256.
uint8_t Sum8(std::span<const uint8_t> bytes);

}  // namespace termsim
