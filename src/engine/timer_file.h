#pragma once

#include <ctime>
#include <filesystem>
#include <string>

namespace termload {

// Name under which the clock file is stored on the terminal, and of the file on the PC (in the
// run's private temporary directory).
inline constexpr const char* kTimerFileName = "timer.txt";

// The 14 digits of the clock file: year, month, day, hour, minute, second.
std::string TimerFileText(const std::tm& local);

// Writes the local time now into the clock file. The text goes to a private temporary file that is
// then renamed over the target, so a thread that is still sending the previous clock file (another
// port) keeps reading a whole one. Returns false when the file cannot be written.
bool WriteTimerFile(const std::filesystem::path& target);

}  // namespace termload
