#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>

namespace termload {

class PortSlot;
struct FileFrame;
struct DownloadJob;

// How the blocks of one file ended.
enum class BlockLoopEnd {
    AllSent,
    AllSentAfterRestart,  // ... but a transport failure made the file start again on the way
    Failed,
    PassOver,  // the device went away, or the terminal stopped taking this file again and again
    Stopped,
};

// A file whose frames time out this often in a row ends its pass: the terminal is not coming
// back to it.
inline constexpr int kTimeOutsPerFile = 3;

// Sends blocks 0 .. blocks-1 of one file as frames. For each block the frame gets its block
// number and offset, then `fill` puts the block's bytes into the data field and returns how many
// there are (0: the block could not be read, and `fill` has said so). After a frame went out,
// `sent` shows the progress and the "S4KDelay" pause follows. The last frame counts as sent only
// once the link's output has drained. A frame the slot's link refuses (or a drain that does not
// finish) shows the link's failure digit in red; a hang-up, or the file's kTimeOutsPerFile-th
// time-out, then ends the pass, otherwise the link's recovery follows: the file is given up, or
// it starts again from block 0 on the link opened afresh. Every refusal is reported to the host
// as a failure of the pass, naming `destination`.
// A stop seen before a frame, or one that cut a frame short or made it fail, ends the loop as
// Stopped: such a frame does not count as sent.
BlockLoopEnd SendFileBlocks(
    PortSlot& slot, const DownloadJob& job, FileFrame& frame, const std::string& destination,
    std::uint32_t blocks, const std::function<std::size_t(std::uint32_t block)>& fill,
    const std::function<void(std::uint32_t block, std::size_t bytes)>& sent);

}  // namespace termload
