// Every user-visible text of the program, by id, in Chinese (language base 0) and English
// (language base 1000).
#pragma once

#include <span>
#include <string_view>

namespace termload {

inline constexpr int kLangChinese = 0;
inline constexpr int kLangEnglish = 1000;

// The text of string `langBase` + `id`; an empty view for an unknown id or language base.
std::string_view TextOf(int langBase, int id);

// Every id the table holds, ascending; each has a text in both languages.
std::span<const int> AllTextIds();

// Ids of texts the table adds for cases that have no text of their own elsewhere.
inline constexpr int kTextSourcePathTooLong = 149;
inline constexpr int kTextConfigTooLarge = 150;
inline constexpr int kTextConfigUnreadable = 151;
inline constexpr int kTextInvalidSourcePath = 152;

}  // namespace termload
