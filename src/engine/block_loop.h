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
    HungUp,  // the device went away: the pass is over
    Stopped,
};

// Sends blocks 0 .. blocks-1 of one file as frames. For each block the frame gets its block
// number and offset, then `fill` puts the block's bytes into the data field and returns how many
// there are (0: the block could not be read, and `fill` has said so). After a frame went out,
// `sent` shows the progress and the "S4KDelay" pause follows. A frame the slot's link refuses
// shows the link's failure digit in red; a hang-up then ends the pass, otherwise the link's
// recovery follows: the file is given up, or it starts again from block 0 on the link opened
// afresh. Every refusal is reported to the host as a failure of the pass, naming `destination`.
// A stop seen before a frame, or one that cut a frame short or made it fail, ends the loop as
// Stopped: such a frame does not count as sent.
BlockLoopEnd SendFileBlocks(
    PortSlot& slot, const DownloadJob& job, FileFrame& frame, const std::string& destination,
    std::uint32_t blocks, const std::function<std::size_t(std::uint32_t block)>& fill,
    const std::function<void(std::uint32_t block, std::size_t bytes)>& sent);

}  // namespace termload
