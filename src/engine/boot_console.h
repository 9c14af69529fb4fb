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

// The replies the exchanges wait for.
struct ConsoleReply {
    std::size_t minLength;
    std::string_view keyword;
};
inline constexpr ConsoleReply kBannerReply{32, "Board"};
inline constexpr ConsoleReply kRamTestReply{10, "ram OK"};
inline constexpr ConsoleReply kEraseDoneReply{0, "Erase"};
inline constexpr ConsoleReply kUsbDownReply{10, "connected"};
inline constexpr ConsoleReply kSolidifyMenuReply{12, "[user-fs]"};
inline constexpr ConsoleReply kSolidifyDoneReply{0, "success"};
inline constexpr ConsoleReply kComLoadReply{32, "YMODEM protocol..."};
inline constexpr ConsoleReply kNandWriteReply{32, "c008000"};
inline constexpr ConsoleReply kPromptReply{0, "\\>"};
inline constexpr ConsoleReply kUpNandReply{20, "c000000"};
inline constexpr ConsoleReply kRunReply{20, "0xc000000"};
inline constexpr ConsoleReply kMountedReply{20, "MTD mount"};
inline constexpr ConsoleReply kConsoleReplies[] = {
    kBannerReply,       kRamTestReply,      kEraseDoneReply, kUsbDownReply,
    kSolidifyMenuReply, kSolidifyDoneReply, kComLoadReply,   kNandWriteReply,
    kPromptReply,       kUpNandReply,       kRunReply,       kMountedReply};
inline bool ReplyComplete(std::string_view text, const ConsoleReply& reply) {
    return ReplyComplete(text, reply.minLength, reply.keyword);
}

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
// True once the kernel reports its file system mounted; false when any step goes unanswered.
bool StartKernel(const ConsoleContext& console, std::uint64_t imageSize);

}  // namespace termload
