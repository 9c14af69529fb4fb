// The download tests' pseudo-terminals: they take what the engine writes, and can stall or hang
// up once.
#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <filesystem>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

#include "e2e/channels_pty_peer.h"
#include "support/download_workspace.h"

namespace termload::download_test {

// A pseudo-terminal that takes everything written to it, on a thread of its own.
class PtyCapture {
  public:
    PtyCapture();
    ~PtyCapture();
    PtyCapture(const PtyCapture&) = delete;
    PtyCapture& operator=(const PtyCapture&) = delete;

    test::PtyPeer& Peer() { return peer_; }
    // Stops taking bytes and closes the terminal's side: the port sees a hang-up.
    void HangUp();
    // Once `afterBytes` have come, takes nothing more for `pause` (the writer's buffer fills).
    void StallOnce(std::size_t afterBytes, std::chrono::milliseconds pause);
    std::string Bytes() const;
    bool WaitForBytes(std::size_t count, std::chrono::milliseconds limit) const;
    // What has come once nothing more has come for `quiet`.
    std::string BytesWhenQuiet(std::chrono::milliseconds quiet = 300ms) const;

  private:
    test::PtyPeer peer_;
    mutable std::mutex mutex_;
    mutable std::condition_variable grew_;
    std::string bytes_;
    std::size_t stallAfter_ = SIZE_MAX;
    std::chrono::milliseconds stallFor_{0};
    bool quit_ = false;
    std::thread reader_;
};

// A COM port whose terminal hangs up once, after a given number of bytes, and at once comes back
// as a new terminal on the same port: the port map names a link that is pointed at a fresh
// pseudo-terminal before the old one closes.
class HangingPort {
  public:
    HangingPort(const std::filesystem::path& link, std::size_t hangUpAfterBytes);
    ~HangingPort();
    HangingPort(const HangingPort&) = delete;
    HangingPort& operator=(const HangingPort&) = delete;

    const std::filesystem::path& Link() const { return link_; }
    bool HungUp() const { return hungUp_; }
    PtyCapture& First() { return *first_; }
    PtyCapture& Second() { return *second_; }

  private:
    void PointLinkAt(const std::string& device);

    std::filesystem::path link_;
    std::unique_ptr<PtyCapture> first_;
    std::unique_ptr<PtyCapture> second_;
    std::atomic<bool> hungUp_{false};
    std::atomic<bool> quit_{false};
    std::thread watcher_;
};

}  // namespace termload::download_test
