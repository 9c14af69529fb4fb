#include "e2e/download_harness.h"

#include <zlib.h>

#include <cstdlib>
#include <fstream>

#include <gtest/gtest.h>

namespace termload::download_test {

namespace {

std::uint32_t BigEndian32(const std::uint8_t* p) {
    return std::uint32_t{p[0]} << 24 | std::uint32_t{p[1]} << 16 | std::uint32_t{p[2]} << 8 | p[3];
}

}  // namespace

void RecordingHost::SetStatus(int slot, const std::string& text,
                              std::optional<StatusColour> colour) {
    {
        std::lock_guard lock(mutex_);
        statuses_[slot].push_back({text, colour});
    }
    Changed();
}

void RecordingHost::SetProgress(int slot, const ProgressState& progress) {
    {
        std::lock_guard lock(mutex_);
        progress_[slot].push_back(progress);
    }
    Changed();
}

void RecordingHost::UncheckRow(int row) {
    {
        std::lock_guard lock(mutex_);
        unchecked_.push_back(row);
    }
    Changed();
}

void RecordingHost::ShowError(int, const std::string&, std::shared_ptr<ErrorAnswer> answer) {
    answer->Acknowledge();
}

void RecordingHost::RunEnded(int slot) {
    {
        std::lock_guard lock(mutex_);
        runEnded_.push_back(slot);
    }
    Changed();
}

void RecordingHost::FileFinished(const FileReport& file) {
    {
        std::lock_guard lock(mutex_);
        files_[file.slot].push_back(file);
    }
    Changed();
}

void RecordingHost::PassFinished(int slot, int, bool) {
    {
        std::lock_guard lock(mutex_);
        ++passesFinished_[slot];
    }
    Changed();
}

void RecordingHost::Changed() {
    changed_.notify_all();
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

ProgressState RecordingHost::LastProgress(int slot) const {
    const auto all = Progress(slot);
    return all.empty() ? ProgressState{} : all.back();
}

std::vector<ProgressState> RecordingHost::Progress(int slot) const {
    std::lock_guard lock(mutex_);
    const auto found = progress_.find(slot);
    return found == progress_.end() ? std::vector<ProgressState>{} : found->second;
}

std::vector<FileReport> RecordingHost::Files(int slot) const {
    std::lock_guard lock(mutex_);
    const auto found = files_.find(slot);
    return found == files_.end() ? std::vector<FileReport>{} : found->second;
}

std::vector<int> RecordingHost::UncheckedRows() const {
    std::lock_guard lock(mutex_);
    return unchecked_;
}

std::vector<int> RecordingHost::RunEndedSlots() const {
    std::lock_guard lock(mutex_);
    return runEnded_;
}

int RecordingHost::PassesFinished(int slot) const {
    std::lock_guard lock(mutex_);
    const auto found = passesFinished_.find(slot);
    return found == passesFinished_.end() ? 0 : found->second;
}

bool RecordingHost::WaitUntil(const std::function<bool(const RecordingHost&)>& done,
                              std::chrono::milliseconds limit) {
    const auto deadline = std::chrono::steady_clock::now() + limit;
    std::unique_lock lock(mutex_);
    while (true) {
        lock.unlock();
        const bool ok = done(*this);
        lock.lock();
        if (ok) {
            return true;
        }
        if (changed_.wait_until(lock, deadline) == std::cv_status::timeout) {
            lock.unlock();
            return done(*this);
        }
    }
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
           << actual.size() << " bytes where " << expected.size() << " were expected, first "
           << "difference at byte " << (diff.first - actual.begin());
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
    config.controls.portMode = PortMode::Single;
    config.controls.portIndex = 0;
    config.settings.USBDelay = 0;
    config.settings.S4KDelay = 0;
    config.settings.FILE_INTERVAL = 0;
    config.settings.FILE_INTERVAL_ = 0;
    options.timings = Timings::Scaled(0.05);
    // Opening a port flushes its queues; on a pseudo-terminal that also drops what the terminal
    // has not read yet, so the terminal keeps the full pause between two opens to read it.
    options.timings.channelSettleMs = Timings{}.channelSettleMs;
    options.timerFile = dir_ / "timer.txt";
    options.userAddrFile = dir_ / "UserAddrFile.ini";
    options.addressTraceDir = dir_;
}

Workspace::~Workspace() {
    std::error_code ignored;
    std::filesystem::remove_all(dir_, ignored);
}

std::filesystem::path Workspace::WriteFile(const std::string& name, std::size_t size,
                                           unsigned seed) {
    const std::filesystem::path path = dir_ / name;
    const std::string bytes = PatternBytes(size, seed);
    std::ofstream(path, std::ios::binary | std::ios::trunc)
        .write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    return path;
}

void Workspace::AddRow(const std::string& name, const std::string& destination, int kind) {
    EXPECT_EQ(config.files.AddFileRow(kind, (dir_ / name).string(), destination),
              AddRowResult::Added);
}

PtyCapture::PtyCapture() {
    reader_ = std::thread([this] {
        while (!quit_) {
            std::size_t want = 1 << 16;
            {
                std::lock_guard lock(mutex_);
                if (stallAfter_ > bytes_.size()) {
                    want = std::min(want, stallAfter_ - bytes_.size());
                }
            }
            std::string got = peer_.Read(want, 20ms);
            std::unique_lock lock(mutex_);
            bytes_ += got;
            grew_.notify_all();
            if (bytes_.size() >= stallAfter_) {
                stallAfter_ = SIZE_MAX;
                grew_.wait_for(lock, stallFor_, [this] { return quit_.load(); });
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
        grew_.notify_all();
    }
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

std::string PtyCapture::BytesWhenQuiet(std::chrono::milliseconds quiet) const {
    std::unique_lock lock(mutex_);
    std::size_t size = bytes_.size();
    while (grew_.wait_for(lock, quiet, [&] { return bytes_.size() != size; })) {
        size = bytes_.size();
    }
    return bytes_;
}

bool PtyCapture::WaitForBytes(std::size_t count, std::chrono::milliseconds limit) const {
    std::unique_lock lock(mutex_);
    return grew_.wait_for(lock, limit, [&] { return bytes_.size() >= count; });
}

HangingPort::HangingPort(const std::filesystem::path& link, std::size_t hangUpAfterBytes)
    : link_(link), first_(std::make_unique<PtyCapture>()), second_(std::make_unique<PtyCapture>()) {
    PointLinkAt(first_->Peer().SlavePath());
    watcher_ = std::thread([this, hangUpAfterBytes] {
        while (!quit_ && !first_->WaitForBytes(hangUpAfterBytes, 50ms)) {
        }
        if (quit_) {
            return;
        }
        // The next open finds the new terminal; then the old one goes, mid-frame.
        PointLinkAt(second_->Peer().SlavePath());
        first_->HangUp();
        hungUp_ = true;
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

namespace {

bool FrameAt(const std::string& stream, std::size_t at, std::size_t frameSize) {
    const auto* b = reinterpret_cast<const std::uint8_t*>(stream.data()) + at;
    const std::size_t trailerAt = frameSize - 5;
    return b[0] == 0x55 && b[1] == 0x55 && b[2] == 0xAA && b[3] == 0xAA && b[trailerAt] == 0x55 &&
           b[trailerAt + 1] == 0xAA && b[trailerAt + 2] == 0x55 && b[trailerAt + 3] == 0xAA;
}

}  // namespace

std::vector<CapturedFrame> SplitFrames(const std::string& stream, std::size_t frameSize,
                                       std::size_t* stray) {
    const bool full = frameSize == 4173;
    const std::size_t nameSize = full ? 51 : 15;
    const std::size_t lengthAt = 9 + nameSize;
    std::vector<CapturedFrame> frames;
    std::size_t skipped = 0;
    std::size_t at = 0;
    while (at + frameSize <= stream.size()) {
        if (!FrameAt(stream, at, frameSize)) {
            ++at;
            ++skipped;
            continue;
        }
        CapturedFrame frame;
        frame.bytes.assign(stream.begin() + static_cast<std::ptrdiff_t>(at),
                           stream.begin() + static_cast<std::ptrdiff_t>(at + frameSize));
        at += frameSize;
        const std::uint8_t* b = frame.bytes.data();
        frame.fileCount = b[4];
        frame.blockNumber = b[5];
        frame.blockCount = b[6];
        frame.name.assign(reinterpret_cast<const char*>(b + 9), nameSize);
        frame.name.resize(std::min(frame.name.find('\0'), nameSize));
        frame.length = BigEndian32(b + lengthAt);
        frame.crc = BigEndian32(b + lengthAt + 4);
        frame.offset = BigEndian32(b + lengthAt + 8);
        frame.data.assign(b + lengthAt + 12, b + lengthAt + 12 + 4096);
        // The sum covers the full frame's bytes 4-4167; a compact frame lacks only name bytes
        // that are zero.
        unsigned sum = 0;
        for (std::size_t i = 4; i < frameSize - 5; ++i) {
            sum += b[i];
        }
        EXPECT_EQ(sum & 0xFF, b[frameSize - 1]) << "frame sum";
        frames.push_back(std::move(frame));
    }
    skipped += stream.size() - at;
    if (stray != nullptr) {
        *stray = skipped;
    } else {
        EXPECT_EQ(skipped, 0u) << "the stream holds whole frames only";
    }
    return frames;
}

std::vector<CapturedFile> FilesOf(const std::vector<CapturedFrame>& frames) {
    std::vector<CapturedFile> files;
    for (const CapturedFrame& frame : frames) {
        if (frame.offset == 0) {
            files.push_back({frame.name, {}, frame.crc, frame.fileCount, frame.length});
        }
        EXPECT_FALSE(files.empty()) << "a file's first frame has offset 0";
        if (files.empty()) {
            break;
        }
        CapturedFile& file = files.back();
        EXPECT_EQ(frame.offset, file.content.size()) << "blocks in order in " << file.name;
        const std::size_t take = std::min<std::size_t>(4096, frame.length - frame.offset);
        file.content.append(frame.data.begin(), frame.data.begin() + static_cast<long>(take));
        EXPECT_EQ(frame.blockNumber, (frame.offset / 4096) & 0xFF);
        EXPECT_EQ(frame.blockCount, ((frame.length + 4095) / 4096) & 0xFF);
    }
    for (const CapturedFile& file : files) {
        if (!file.Complete()) {
            continue;
        }
        EXPECT_EQ(file.crc, crc32(0, reinterpret_cast<const Bytef*>(file.content.data()),
                                  static_cast<uInt>(file.content.size())))
            << file.name;
    }
    return files;
}

}  // namespace termload::download_test
