#pragma once

#include <span>
#include <string>
#include <string_view>

namespace termload {

class PortSlot;
struct DownloadJob;
struct FileFrame;

inline constexpr int kAddressFileStopped = -1;
inline constexpr int kAddressFileOpenFailed = 0;
inline constexpr int kAddressFileDone = 1;
inline constexpr int kAddressFilePassOver = 2;  // the device went away or kept stalling

// The name the address file is shown and stored under: `name` up to its first "." and "adr".
std::string AddressFileShownName(std::string_view name);

// Sends the address file that tells an M868 terminal where each of `names` goes, on a freshly
// opened channel. Returns kAddressFileDone when it was sent or its failure was shown,
// kAddressFileOpenFailed when the channel could not be opened (its failure shown), and
// kAddressFileStopped when the slot's stop was seen, kAddressFilePassOver when the pass is to end
// (the device hung up, or the terminal kept stalling).
int SendAddressFile(PortSlot& slot, const DownloadJob& job, FileFrame& frame, std::string_view name,
                    std::span<const std::string> names);

}  // namespace termload
