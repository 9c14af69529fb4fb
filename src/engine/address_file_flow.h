#pragma once

#include <span>
#include <string>
#include <string_view>

namespace termload {

class PortSlot;
struct DownloadJob;
struct FileFrame;

enum class AddressFileOutcome {
    Sent,              // every block went out
    SentAfterRestart,  // ... after a refused frame made it start again: the pass has failed
    Failed,            // not sent, its failure shown: the files follow, the pass has failed
    OpenFailed,        // the channel could not be opened (its failure shown)
    Stopped,           // the slot's stop was seen
    PassOver,          // the device went away or kept stalling: the pass is to end
};

// The name the address file is shown and stored under: `name` up to its first "." and "adr".
std::string AddressFileShownName(std::string_view name);

// Sends the address file that tells an M868 terminal where each of `names` goes, on a freshly
// opened channel.
AddressFileOutcome SendAddressFile(PortSlot& slot, const DownloadJob& job, FileFrame& frame,
                                   std::string_view name, std::span<const std::string> names);

}  // namespace termload
