#include "e2e/download_harness.h"

#include <algorithm>

namespace termload::download_test {

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
