#pragma once
// The image a terminal's boot loader takes through its USB bulk pipe: load address, total
// length, the file's bytes and a 16-bit sum, every number little-endian.
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <vector>

namespace termload {

// Address (4), length (4) and sum (2) around the file's bytes.
inline constexpr std::size_t kUsbImageOverhead = 10;
// The length field is 32 bits wide and counts the overhead too.
inline constexpr std::uint64_t kUsbImageMaxFileBytes = 0xFFFFFFFFull - kUsbImageOverhead;

// Sum of every byte taken unsigned, modulo 65536.
std::uint16_t UsbImageSum(std::span<const std::uint8_t> bytes);

// The image for one file; nothing when the file is too large for the length field.
std::optional<std::vector<std::uint8_t>> BuildUsbImage(std::uint32_t loadAddress,
                                                       std::span<const std::uint8_t> file);

}  // namespace termload
