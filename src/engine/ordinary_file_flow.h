#pragma once

#include <cstdint>
#include <filesystem>
#include <string>

namespace termload {

class PortSlot;
struct DownloadJob;
struct FileFrame;

// Files above this size (64 MiB - 256 KiB) are refused before the start, and fail the file in
// every pass when they grew past it during the run.
inline constexpr std::int64_t kMaxFileSize = 0x3FC0000;

struct FileToSend {
    int row = -1;  // row of the file list; -1 for the clock file
    std::filesystem::path source;
    std::string destination;  // UTF-8, RootDir included
    std::string fileName;     // shown in the status texts
};

enum class FileOutcome {
    Sent,              // every block went out
    SentAfterRestart,  // ... after a transport failure made it start again from block 0
    Failed,    // not sent (unreadable, empty, too large, changed while sent, refused by the
               // transport, or stopped); next row
    PassOver,  // the device went away mid-file, or the file kept timing out: the pass ends
    PortLost,  // the channel could not be opened: the pass ends
};

// Sends one file as frames on the slot's freshly opened channel, showing its progress and result
// in the slot's status, then waits the pauses that let the terminal store it. Reports the file
// to the host. A file whose bytes change while it is sent is sent again from block 0 (a few
// times at most, then it fails); a file that has become empty fails.
FileOutcome SendOrdinaryFile(PortSlot& slot, const DownloadJob& job, FileFrame& frame,
                             const FileToSend& file);

// The destination as it travels: GBK, cut to `maxBytes` without splitting a character.
std::string WireDestination(const std::string& destination, std::size_t maxBytes);

}  // namespace termload
