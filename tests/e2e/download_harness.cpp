#include "e2e/download_harness.h"

#include <zlib.h>

#include <algorithm>
#include <cstdlib>
#include <fstream>

namespace termload::download_test {

template <typename Change>
void RecordingHost::Record(Change change) {
    {
        std::lock_guard lock(mutex_);
        change();
    }
    changed_.notify_all();
}

void RecordingHost::SetStatus(int slot, const std::string& text,
                              std::optional<StatusColour> colour) {
    Record([&] { statuses_[slot].push_back({text, colour}); });
}

void RecordingHost::SetProgress(int slot, const ProgressState& progress) {
    Record([&] { progress_[slot] = progress; });
}

void RecordingHost::UncheckRow(int row) {
    Record([&] { unchecked_.push_back(row); });
}

void RecordingHost::RunEnded(int) {
    Record([&] { ++runsEnded_; });
}

void RecordingHost::PassFinished(int slot, int, bool ok) {
    Record([&] { passesOk_[slot].push_back(ok); });
}

void RecordingHost::PassFailed(const PassFailureReport& failure) {
    Record([&] { failures_[failure.slot].push_back(failure); });
}

void RecordingHost::AllSlotsEnded() {
    Record([&] { ++allSlotsEnded_; });
}

std::vector<StatusEntry> RecordingHost::Statuses(int slot) const {
    std::lock_guard lock(mutex_);
    const auto found = statuses_.find(slot);
    return found == statuses_.end() ? std::vector<StatusEntry>{} : found->second;
}

StatusEntry RecordingHost::LastStatus(int slot) const {
    const auto all = Statuses(slot);
    return all.empty() ? StatusEntry{} : all.back();
}

long RecordingHost::Shown(int slot, const std::string& text, StatusColour colour) const {
    const auto all = Statuses(slot);
    return std::count_if(all.begin(), all.end(), [&](const StatusEntry& s) {
        return s.text == text && s.colour == colour;
    });
}

ProgressState RecordingHost::LastProgress(int slot) const {
    std::lock_guard lock(mutex_);
    const auto found = progress_.find(slot);
    return found == progress_.end() ? ProgressState{} : found->second;
}

std::vector<int> RecordingHost::UncheckedRows() const {
    std::lock_guard lock(mutex_);
    return unchecked_;
}

int RecordingHost::RunsEnded() const {
    std::lock_guard lock(mutex_);
    return runsEnded_;
}

int RecordingHost::PassesFinished(int slot) const {
    return static_cast<int>(PassesOk(slot).size());
}

std::vector<bool> RecordingHost::PassesOk(int slot) const {
    std::lock_guard lock(mutex_);
    const auto found = passesOk_.find(slot);
    return found == passesOk_.end() ? std::vector<bool>{} : found->second;
}

std::vector<PassFailureReport> RecordingHost::Failures(int slot) const {
    std::lock_guard lock(mutex_);
    const auto found = failures_.find(slot);
    return found == failures_.end() ? std::vector<PassFailureReport>{} : found->second;
}

int RecordingHost::AllSlotsEndedCount() const {
    std::lock_guard lock(mutex_);
    return allSlotsEnded_;
}

bool RecordingHost::WaitUntil(const std::function<bool(const RecordingHost&)>& done,
                              std::chrono::milliseconds limit) {
    const auto deadline = std::chrono::steady_clock::now() + limit;
    while (!done(*this)) {
        std::unique_lock lock(mutex_);
        if (changed_.wait_until(lock, deadline) == std::cv_status::timeout) {
            lock.unlock();
            return done(*this);
        }
    }
    return true;
}

Workspace::Workspace() {
    std::string pattern = (std::filesystem::path(::testing::TempDir()) / "termload-dl-XXXXXX");
    if (::mkdtemp(pattern.data()) == nullptr) {
        ADD_FAILURE() << "cannot create a scratch directory";
    }
    dir_ = pattern;
    config.BaseDir = dir_.string();
    config.settings.ModeCodes = {"05"};
    config.controls.modelItems = {"M740-32"};
    config.controls.modelIndex = 0;
    config.controls.hardVersion = "10";
    config.settings.USBDelay = 0;
    config.settings.S4KDelay = 0;
    config.settings.FILE_INTERVAL = 0;
    config.settings.FILE_INTERVAL_ = 0;
    options.timings = Timings::Scaled(0.05);
    // Opening a port flushes its queues; on a pseudo-terminal that also drops what the terminal
    // has not read yet, so the terminal keeps the full pause between two opens to read it.
    options.timings.channelSettleMs = Timings{}.channelSettleMs;
    options.userAddrFile = dir_ / "UserAddrFile.ini";
}

Workspace::~Workspace() {
    std::error_code ignored;
    std::filesystem::remove_all(dir_, ignored);
}

void Workspace::AddFile(const std::string& name, std::size_t size, unsigned seed,
                        const std::string& destination) {
    const std::string bytes = PatternBytes(size, seed);
    std::ofstream(dir_ / name, std::ios::binary)
        .write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    EXPECT_EQ(config.files.AddFileRow(1, (dir_ / name).string(),
                                      destination.empty() ? name : destination),
              AddRowResult::Added);
}

std::string PatternBytes(std::size_t size, unsigned seed) {
    std::string bytes(size, '\0');
    std::uint32_t state = 0x9E3779B9u * (seed + 1);
    for (char& byte : bytes) {
        state = state * 1664525u + 1013904223u;
        byte = static_cast<char>(state >> 24);
    }
    return bytes;
}

::testing::AssertionResult SameBytes(const std::string& actual, const std::string& expected) {
    if (actual == expected) {
        return ::testing::AssertionSuccess();
    }
    const auto diff = std::mismatch(actual.begin(), actual.end(), expected.begin(), expected.end());
    return ::testing::AssertionFailure()
           << actual.size() << " bytes where " << expected.size()
           << " were expected, first difference at byte " << (diff.first - actual.begin());
}

std::string ExpectedFrames(bool full, int fileCount, const std::string& name,
                           const std::string& content) {
    const auto put32 = [](std::string& f, std::uint32_t v) {
        for (int shift = 24; shift >= 0; shift -= 8) {
            f.push_back(static_cast<char>(v >> shift));
        }
    };
    const auto crc = static_cast<std::uint32_t>(
        crc32(0, reinterpret_cast<const Bytef*>(content.data()), content.size()));
    const std::size_t blocks = (content.size() + 4095) / 4096;
    std::string frames;
    for (std::size_t block = 0; block < blocks; ++block) {
        std::string f = {'\x55',
                         '\x55',
                         '\xAA',
                         '\xAA',
                         static_cast<char>(fileCount),
                         static_cast<char>(block),
                         static_cast<char>(blocks),
                         '\x05',
                         '\x10'};
        std::string field = name;
        field.resize(full ? 51 : 15, '\0');
        f += field;
        put32(f, static_cast<std::uint32_t>(content.size()));
        put32(f, crc);
        put32(f, static_cast<std::uint32_t>(block * 4096));
        std::string data = content.substr(block * 4096, 4096);
        data.resize(4096, '\0');
        f += data;
        // Summed over the full frame; a compact one lacks only name bytes that are zero.
        unsigned sum = 0;
        for (std::size_t i = 4; i < f.size(); ++i) {
            sum += static_cast<unsigned char>(f[i]);
        }
        f += std::string{'\x55', '\xAA', '\x55', '\xAA', static_cast<char>(sum)};
        frames += f;
    }
    return frames;
}

PtyCapture::PtyCapture() {
    reader_ = std::thread([this] {
        std::unique_lock lock(mutex_);
        while (!quit_) {
            const std::size_t want =
                stallAfter_ > bytes_.size()
                    ? std::min<std::size_t>(1 << 16, stallAfter_ - bytes_.size())
                    : 1 << 16;
            lock.unlock();
            const std::string got = peer_.Read(want, 20ms);
            lock.lock();
            bytes_ += got;
            grew_.notify_all();
            if (bytes_.size() >= stallAfter_) {
                stallAfter_ = SIZE_MAX;
                grew_.wait_for(lock, stallFor_, [this] { return quit_; });
            }
        }
    });
}

PtyCapture::~PtyCapture() {
    HangUp();
}

void PtyCapture::HangUp() {
    {
        std::lock_guard lock(mutex_);
        quit_ = true;
    }
    grew_.notify_all();
    if (reader_.joinable()) {
        reader_.join();
    }
    peer_.HangUp();
}

void PtyCapture::StallOnce(std::size_t afterBytes, std::chrono::milliseconds pause) {
    std::lock_guard lock(mutex_);
    stallAfter_ = afterBytes;
    stallFor_ = pause;
}

std::string PtyCapture::Bytes() const {
    std::lock_guard lock(mutex_);
    return bytes_;
}

bool PtyCapture::WaitForBytes(std::size_t count, std::chrono::milliseconds limit) const {
    std::unique_lock lock(mutex_);
    return grew_.wait_for(lock, limit, [&] { return bytes_.size() >= count; });
}

std::string PtyCapture::BytesWhenQuiet(std::chrono::milliseconds quiet) const {
    std::unique_lock lock(mutex_);
    std::size_t size = bytes_.size();
    while (grew_.wait_for(lock, quiet, [&] { return bytes_.size() != size; })) {
        size = bytes_.size();
    }
    return bytes_;
}

HangingPort::HangingPort(const std::filesystem::path& link, std::size_t hangUpAfterBytes)
    : link_(link), first_(std::make_unique<PtyCapture>()), second_(std::make_unique<PtyCapture>()) {
    PointLinkAt(first_->Peer().SlavePath());
    watcher_ = std::thread([this, hangUpAfterBytes] {
        while (!quit_ && !first_->WaitForBytes(hangUpAfterBytes, 50ms)) {
        }
        if (!quit_) {
            // The next open finds the new terminal; then the old one goes, mid-frame.
            PointLinkAt(second_->Peer().SlavePath());
            first_->HangUp();
            hungUp_ = true;
        }
    });
}

HangingPort::~HangingPort() {
    quit_ = true;
    watcher_.join();
    std::error_code ignored;
    std::filesystem::remove(link_, ignored);
}

void HangingPort::PointLinkAt(const std::string& device) {
    std::filesystem::path temporary = link_;
    temporary += ".new";
    std::error_code ignored;
    std::filesystem::remove(temporary, ignored);
    std::filesystem::create_symlink(device, temporary);
    std::filesystem::rename(temporary, link_);
}

}  // namespace termload::download_test
