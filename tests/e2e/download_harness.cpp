#include "e2e/download_harness.h"

#include <algorithm>

#include "support/frames.h"

namespace termload::download_test {

Workspace::Workspace() {
    config.BaseDir = Dir().string();
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

void Workspace::AddFile(const std::string& name, std::size_t size, unsigned seed,
                        const std::string& destination) {
    const auto path = dir_.Write(name, PatternBytes(size, seed));
    EXPECT_EQ(config.files.AddFileRow(1, path.string(), destination.empty() ? name : destination),
              AddRowResult::Added);
}

std::vector<nlohmann::json> Events(const std::vector<nlohmann::json>& results,
                                   const std::string& event, const std::string& key,
                                   const std::string& value) {
    std::vector<nlohmann::json> events;
    std::copy_if(results.begin(), results.end(), std::back_inserter(events), [&](const auto& l) {
        return l.value("event", "") == event && (key.empty() || l.value(key, "") == value);
    });
    return events;
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
    return test::Frames({static_cast<std::uint8_t>(fileCount), 0x05, 0x10, name}, content,
                        full ? test::FrameLayout::Full : test::FrameLayout::Compact);
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
