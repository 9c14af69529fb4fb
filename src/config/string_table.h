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

// Why a download does not start; each is followed by what it names, if anything.
inline constexpr int kTextNoModel = 153;
inline constexpr int kTextModelNameTooLong = 154;
inline constexpr int kTextNoPort = 155;
inline constexpr int kTextKernelModeMultiPort = 156;
inline constexpr int kTextConsoleNotSerial = 157;
inline constexpr int kTextRowsNotLoaded = 158;
inline constexpr int kTextSameDevice = 159;
inline constexpr int kTextCcidNotConnected = 160;
inline constexpr int kTextUsbPipeRowMultiPort = 161;
inline constexpr int kTextEmptySource = 162;
inline constexpr int kTextNameNotGbk = 163;
inline constexpr int kTextWireNameLongerThan = 164;  // then the limit and kTextBytesColon
inline constexpr int kTextBytesColon = 165;
inline constexpr int kTextSameDestination = 166;
inline constexpr int kTextNotSerialDevice = 167;
// Why a stored row of the file list was not loaded, in the order of RowFault.
inline constexpr int kTextFirstRowFault = 168;
// A checked row that refuses the start: kTextRowRefused, its number, kTextRowRefusedAfterNumber.
inline constexpr int kTextRowRefused = 190;
inline constexpr int kTextRowRefusedAfterNumber = 191;
inline constexpr int kTextEmptyDestination = 192;
inline constexpr int kTextSerialSettingsNoPortTakes = 193;

}  // namespace termload
