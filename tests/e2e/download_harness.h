// What the download tests share: a scratch workspace that builds configurations, the frames a
// file must arrive in, and pseudo-terminals that take what the engine writes (and can stall or
// hang up once).
#pragma once

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <filesystem>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include <nlohmann/json.hpp>

#include "config/settings.h"
#include "e2e/channels_pty_peer.h"
#include "engine/start_check.h"
#include "support/files.h"
#include "support/recording_host.h"

namespace termload::download_test {

using namespace std::chrono_literals;

using test::RecordingHost;
using test::StatusEntry;

// A scratch directory with source files, and a configuration for them: one model "M740-32" with
// mode code 05, hardware version "10", single port COM1, no pauses, scaled protocol times.
class Workspace {
  public:
    Workspace();
    Workspace(const Workspace&) = delete;
    Workspace& operator=(const Workspace&) = delete;

    const std::filesystem::path& Dir() const { return dir_.Path(); }
    // Writes a source file of PatternBytes(size, seed) and adds a checked row for it.
    void AddFile(const std::string& name, std::size_t size, unsigned seed,
                 const std::string& destination = {});

    Configuration config;
    StartOptions options;

  private:
    test::ScratchDir dir_{"termload-dl"};
};

using test::PatternBytes;

// For EXPECT_TRUE: equal bytes, or their sizes and first difference (too many bytes to print).
::testing::AssertionResult SameBytes(const std::string& actual, const std::string& expected);

// termsim's result lines of one event; with a `key`, those where it is `value`.
std::vector<nlohmann::json> Events(const std::vector<nlohmann::json>& results,
                                   const std::string& event, const std::string& key = {},
                                   const std::string& value = {});

// Every frame of a file, assembled here field by field as the terminal reads them (mode code 05,
// hardware version 10): full frames with a 51-byte name, or compact ones with 15.
std::string ExpectedFrames(bool full, int fileCount, const std::string& name,
                           const std::string& content);

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
