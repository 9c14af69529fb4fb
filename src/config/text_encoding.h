// Text inside the program is UTF-8. Files written on Windows and every text that travels to a
// terminal use GBK (code page 936); these helpers convert between the two.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

namespace termload {

bool IsValidUtf8(std::string_view text);

// Bytes that are no valid GBK become U+FFFD; the result is always valid UTF-8.
std::string GbkToUtf8(std::string_view gbk);

// Characters that GBK cannot hold, and bytes that are no valid UTF-8, become '?'.
std::string Utf8ToGbk(std::string_view utf8);

// The GBK form of a text that must reach a terminal as it stands: nothing when a character
// has no GBK form (or a byte is no valid UTF-8), since a '?' in its place could make two
// names one.
std::optional<std::string> Utf8ToGbkExact(std::string_view utf8);

// Columns a text takes in the file list: one for an ASCII character, two for any other
// character, which is also its length in GBK bytes for every character GBK can hold.
std::size_t DisplayWidth(std::string_view utf8);

// The longest prefix of the text whose display width is at most `width`, never splitting a
// character.
std::string_view CutToDisplayWidth(std::string_view utf8, std::size_t width);

// The text after its first `count` characters (all of them when it has fewer: empty).
std::string_view SkipCharacters(std::string_view utf8, std::size_t count);

// The text without blanks and control characters at either end.
std::string_view TrimBlanks(std::string_view text);

// The longest prefix of at most `maxBytes` bytes that does not split a UTF-8 character.
std::string_view CutToBytes(std::string_view utf8, std::size_t maxBytes);

}  // namespace termload
