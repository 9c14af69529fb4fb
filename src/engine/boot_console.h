// The boot loader's console exchanges: each types a command one byte at a time on the slot's
// console-mode link and waits until the text the terminal sent back (the slot's receive text,
// fed by the reader thread) is long enough and holds a keyword. Every time-out is the longest
// silence allowed between two received chunks, not a total. A wait ends with false at once when
// the slot's events are aborted or closed (a stop, a re-open, a link without console events), so
// an exchange never spins and never outlives a stop.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace termload {

class PortSlot;
struct DownloadJob;

// What the exchanges read of the run: kernel mode (ESC before some commands), CMDDelay, and the
// timings table. Taken from the job.
struct ConsoleContext {
    PortSlot& slot;
    const DownloadJob& job;
};

// Region characters of NandErase and NandSolidify.
inline constexpr char kRegionBios = '0';
inline constexpr char kRegionKernel = '1';
inline constexpr char kRegionRoot = '2';
inline constexpr char kRegionUserArea = '3';
inline constexpr char kRegionNandTest = 'r';

// The text matching of the exchanges, on the receive text as it stands (never past its end).
// True when `keyword` occurs anywhere in `text`.
bool ConsoleContains(std::string_view text, std::string_view keyword);
// A reply is complete when the text is longer than `minLength` bytes and holds `keyword`.
bool ReplyComplete(std::string_view text, std::size_t minLength, std::string_view keyword);

// What NandErase does with the text that woke it: choose the region (kernel mode, the erase menu
// asks for one), quit the bad-block scan (it stops at its last block, "1f0:"), or wait on.
enum class NandEraseStep { Wait, ChooseRegion, QuitScan };
NandEraseStep NandEraseNext(std::string_view text, bool kernelMode);

// The commands that name the image's size: "%x" of size + 1024, lower-case, no leading zeros.
std::string NandWriteCommand(std::uint64_t imageSize);
std::string UpNandCommand(std::uint64_t imageSize);

bool WaitBoard(const ConsoleContext& console);
bool RamTest(const ConsoleContext& console);
bool NandErase(const ConsoleContext& console, char region);
bool UsbDown(const ConsoleContext& console);
bool NandSolidify(const ConsoleContext& console, char region);
bool ComLoad(const ConsoleContext& console);
bool NandWriteImage(const ConsoleContext& console, std::uint64_t imageSize);
// No result: every failure simply ends it.
void StartKernel(const ConsoleContext& console, std::uint64_t imageSize);

}  // namespace termload
