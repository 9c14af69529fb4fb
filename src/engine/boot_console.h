// The boot loader's console exchanges: each types a command one byte at a time on the slot's
// console-mode link and waits until the text the terminal sent back (the slot's receive text,
// fed by the reader thread) is long enough and holds a keyword. Every time-out is the longest
// silence allowed between two received chunks, not a total. A wait ends with false at once when
// the slot's events are aborted or closed (a stop, a re-open, a link without console events), so
// an exchange never spins and never outlives a stop.
#pragma once

#include <cstdint>

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
