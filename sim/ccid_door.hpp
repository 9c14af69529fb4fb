#pragma once
// Where the IFD handler inside the private pcscd reaches termsim: a Unix socket of sequenced
// packets, one request and one reply a packet.
//   request: reply capacity (4 bytes, little-endian), then the escape request's bytes
//   reply:   status (0 = the reader answered, 1 = the reader failed), then the reply's bytes
// The handler loads as part of pcscd, so this wire is termsim's own and shares nothing with src/.
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <memory>
#include <vector>

#include "ccid_terminal.hpp"
#include "event_loop.hpp"
#include "unique_fd.hpp"

namespace termsim {

inline constexpr size_t kCcidDoorMaxPacket = 65536;

class CcidDoor {
  public:
    // Listens on `socketPath` (replaced if it exists). Throws std::system_error on failure.
    CcidDoor(EventLoop& loop, const std::filesystem::path& socketPath, CcidTerminal& terminal);
    ~CcidDoor();
    CcidDoor(const CcidDoor&) = delete;
    CcidDoor& operator=(const CcidDoor&) = delete;

  private:
    void Accept();
    void Serve(int fd);
    void Drop(int fd);

    EventLoop& loop_;
    std::filesystem::path path_;
    CcidTerminal& terminal_;
    UniqueFd listener_;
    std::vector<std::unique_ptr<UniqueFd>> clients_;
};

}  // namespace termsim
