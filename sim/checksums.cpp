#include "checksums.hpp"

#include <zlib.h>

#include <array>
#include <climits>

namespace termsim {

uint32_t Crc32(uint32_t running, std::span<const uint8_t> bytes) {
    // zlib takes at most UINT_MAX bytes a call.
    while (!bytes.empty()) {
        const size_t piece = bytes.size() < UINT_MAX ? bytes.size() : UINT_MAX;
        running = static_cast<uint32_t>(crc32(running, bytes.data(), static_cast<unsigned>(piece)));
        bytes = bytes.subspan(piece);
    }
    return running;
}

namespace {

constexpr std::array<uint16_t, 256> MakeCrc16Table() {
    std::array<uint16_t, 256> table{};
    for (unsigned i = 0; i < 256; ++i) {
        uint16_t value = static_cast<uint16_t>(i << 8);
        for (int bit = 0; bit < 8; ++bit) {
            value = (value & 0x8000) ? static_cast<uint16_t>((value << 1) ^ 0x1021)
                                     : static_cast<uint16_t>(value << 1);
        }
        table[i] = value;
    }
    return table;
}

constexpr auto kCrc16Table = MakeCrc16Table();

}  // namespace

uint16_t Crc16(std::span<const uint8_t> bytes) {
    uint16_t crc = 0;
    for (uint8_t byte : bytes) {
        crc = static_cast<uint16_t>((crc << 8) ^ kCrc16Table[((crc >> 8) ^ byte) & 0xFF]);
    }
    return crc;
}

uint8_t Sum8(std::span<const uint8_t> bytes) {
    unsigned sum = 0;
    for (uint8_t byte : bytes) {
        sum += byte;
    }
    return static_cast<uint8_t>(sum);
}

}  // namespace termsim
