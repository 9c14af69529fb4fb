// What the download tests share: a host that records every report, a scratch workspace that
// builds configurations, pseudo-terminals that capture what the engine writes, and a reader of
// the captured frames.
#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "config/settings.h"
#include "e2e/channels_pty_peer.h"
#include "engine/host_sink.h"
#include "engine/start_check.h"

namespace termload::download_test {

using namespace std::chrono_literals;

struct StatusEntry {
    std::string text;
    std::optional<StatusColour> colour;
};

// Records every report of the engine and lets a test wait for a condition on them.
class RecordingHost : public HostSink {
  public:
    void SetStatus(int slot, const std::string& text, std::optional<StatusColour> colour) override;
    void SetProgress(int slot, const ProgressState& progress) override;
    void ShowConsoleText(const std::string&) override {}
    void ClearConsoleText() override {}
    void UncheckRow(int row) override;
    void ShowError(int slot, const std::string& text, std::shared_ptr<ErrorAnswer> answer) override;
    void RunEnded(int slot) override;
    void FileFinished(const FileReport& file) override;
    void PassFinished(int slot, int pass, bool ok) override;

    std::vector<StatusEntry> Statuses(int slot) const;
    StatusEntry LastStatus(int slot) const;
    ProgressState LastProgress(int slot) const;
    std::vector<ProgressState> Progress(int slot) const;
    std::vector<FileReport> Files(int slot) const;
    std::vector<int> UncheckedRows() const;
    std::vector<int> RunEndedSlots() const;
    int PassesFinished(int slot) const;

    // Waits until `done` holds (checked after every report) or `limit` has passed.
    bool WaitUntil(const std::function<bool(const RecordingHost&)>& done,
                   std::chrono::milliseconds limit);

  private:
    void Changed();

    mutable std::mutex mutex_;
    std::condition_variable changed_;
    std::map<int, std::vector<StatusEntry>> statuses_;
    std::map<int, std::vector<ProgressState>> progress_;
    std::map<int, std::vector<FileReport>> files_;
    std::map<int, int> passesFinished_;
    std::vector<int> unchecked_;
    std::vector<int> runEnded_;
};

// A scratch directory with source files and a configuration for one terminal model.
class Workspace {
  public:
    Workspace();
    ~Workspace();
    Workspace(const Workspace&) = delete;
    Workspace& operator=(const Workspace&) = delete;

    const std::filesystem::path& Dir() const { return dir_; }

    // Writes a source file of `size` bytes (a pattern that differs per seed) and returns its path.
    std::filesystem::path WriteFile(const std::string& name, std::size_t size, unsigned seed = 0);
    // Adds a checked row for a source file in the workspace.
    void AddRow(const std::string& name, const std::string& destination, int kind = 1);

    // The model list holds one model with the given mode code; single port COM1, hardware
    // version "10", fast pacing.
    Configuration config;
    StartOptions options;

  private:
    std::filesystem::path dir_;
};

// Content of a source file written by Workspace::WriteFile.
std::string PatternBytes(std::size_t size, unsigned seed);

// For EXPECT_TRUE: equal contents, described by their sizes and first difference (a file's bytes
// are too many to print).
::testing::AssertionResult SameBytes(const std::string& actual, const std::string& expected);

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
    // Everything the terminal has taken once nothing more has come for `quiet`.
    std::string BytesWhenQuiet(std::chrono::milliseconds quiet = 300ms) const;

  private:
    test::PtyPeer peer_;
    mutable std::mutex mutex_;
    mutable std::condition_variable grew_;
    std::string bytes_;
    std::size_t stallAfter_ = SIZE_MAX;
    std::chrono::milliseconds stallFor_{0};
    std::atomic<bool> quit_{false};
    std::thread reader_;
};

// A COM port whose terminal hangs up once, after a given number of bytes, and comes back at once
// as a new terminal on the same port: the port map names a link that is pointed at a fresh
// pseudo-terminal before the old one is closed.
class HangingPort {
  public:
    HangingPort(const std::filesystem::path& link, std::size_t hangUpAfterBytes);
    ~HangingPort();
    HangingPort(const HangingPort&) = delete;
    HangingPort& operator=(const HangingPort&) = delete;

    const std::filesystem::path& Link() const { return link_; }
    bool HungUp() const { return hungUp_; }
    // What the first terminal took before it hung up, and what the second took since.
    std::string BytesBefore() const { return first_->Bytes(); }
    std::string BytesAfter() const { return second_->Bytes(); }
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

// The fields of one frame as it was captured.
struct CapturedFrame {
    std::vector<std::uint8_t> bytes;
    std::uint8_t fileCount = 0;
    std::uint8_t blockNumber = 0;
    std::uint8_t blockCount = 0;
    std::string name;
    std::uint32_t length = 0;
    std::uint32_t crc = 0;
    std::uint32_t offset = 0;
    std::vector<std::uint8_t> data;
};

// Cuts a captured stream into frames of the given size (4173 full, 4137 compact), as a terminal
// does: bytes that do not start a well-formed frame are skipped and counted in `stray`. Without
// `stray` the test fails when there are any.
std::vector<CapturedFrame> SplitFrames(const std::string& stream, std::size_t frameSize,
                                       std::size_t* stray = nullptr);

// The files a stream of frames carries, in order: name and bytes up to the declared length.
struct CapturedFile {
    std::string name;
    std::string content;
    std::uint32_t crc = 0;
    std::uint8_t fileCount = 0;
    std::uint32_t length = 0;  // as declared
    bool Complete() const { return content.size() == length; }
};
// A complete file must have the CRC-32 its frames declare.
std::vector<CapturedFile> FilesOf(const std::vector<CapturedFrame>& frames);

}  // namespace termload::download_test
