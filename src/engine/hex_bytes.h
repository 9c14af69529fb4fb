// Small byte helpers for the texts and numbers that go into terminal messages.
#pragma once

#include <cstdint>
#include <string_view>

namespace termload {

// '0'-'9' give 0-9 and 'A'-'F' give 10-15; every other character (lower case too) gives 0.
int HexDigitValue(char character);

// The byte written as the first two characters of `text` in hexadecimal ("1A" is 0x1A); a
// missing character counts as 0.
std::uint8_t HexByte(std::string_view text);

// Writes `value` into destination[0..3], most significant byte first.
void PutBigEndian32(std::uint32_t value, std::uint8_t* destination);

}  // namespace termload
