#include "engine/crc16.h"

#include <array>

namespace termload {

namespace {

// One entry per value of the register's top byte, built at compile time.
constexpr std::array<std::uint16_t, 256> MakeTable() {
    std::array<std::uint16_t, 256> table{};
    for (unsigned top = 0; top < 256; ++top) {
        unsigned reg = top << 8;
        for (int bit = 0; bit < 8; ++bit) {
            reg = (reg & 0x8000u) != 0 ? (reg << 1) ^ 0x1021u : reg << 1;
        }
        table[top] = static_cast<std::uint16_t>(reg);
    }
    return table;
}

constexpr std::array<std::uint16_t, 256> kTable = MakeTable();

}  // namespace

std::uint16_t Crc16Xmodem(const std::uint8_t* bytes, std::size_t count, std::uint16_t running) {
    unsigned reg = running;
    for (std::size_t i = 0; i < count; ++i) {
        reg = (reg << 8) ^ kTable[((reg >> 8) ^ bytes[i]) & 0xFFu];
    }
    return static_cast<std::uint16_t>(reg);
}

}  // namespace termload
