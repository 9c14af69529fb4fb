#include "engine/hex_bytes.h"

namespace termload {

int HexDigitValue(char character) {
    if (character >= '0' && character <= '9') {
        return character - '0';
    }
    if (character >= 'A' && character <= 'F') {
        return character - 'A' + 10;
    }
    return 0;
}

std::uint8_t HexByte(std::string_view text) {
    const int high = text.size() > 0 ? HexDigitValue(text[0]) : 0;
    const int low = text.size() > 1 ? HexDigitValue(text[1]) : 0;
    return static_cast<std::uint8_t>((high * 16 + low) & 0xFF);
}

void PutBigEndian32(std::uint32_t value, std::uint8_t* destination) {
    destination[0] = static_cast<std::uint8_t>(value >> 24);
    destination[1] = static_cast<std::uint8_t>(value >> 16);
    destination[2] = static_cast<std::uint8_t>(value >> 8);
    destination[3] = static_cast<std::uint8_t>(value);
}

}  // namespace termload
