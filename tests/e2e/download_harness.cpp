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
        progress_[slot] = progress;
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
    std::lock_guard lock(mutex_);
    const auto found = progress_.find(slot);
    return found == progress_.end() ? ProgressState{} : found->second;
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
            std::string got = peer_.Read(1 << 16, 20ms);
            if (got.empty()) {
                continue;
            }
            std::lock_guard lock(mutex_);
            bytes_ += got;
            grew_.notify_all();
        }
    });
}

PtyCapture::~PtyCapture() {
    quit_ = true;
    reader_.join();
}

std::string PtyCapture::Bytes() const {
    std::lock_guard lock(mutex_);
    return bytes_;
}

bool PtyCapture::WaitForBytes(std::size_t count, std::chrono::milliseconds limit) const {
    std::unique_lock lock(mutex_);
    return grew_.wait_for(lock, limit, [&] { return bytes_.size() >= count; });
}

std::vector<CapturedFrame> SplitFrames(const std::string& stream, std::size_t frameSize) {
    const bool full = frameSize == 4173;
    const std::size_t nameSize = full ? 51 : 15;
    const std::size_t lengthAt = 9 + nameSize;
    std::vector<CapturedFrame> frames;
    EXPECT_EQ(stream.size() % frameSize, 0u) << "the stream holds whole frames only";
    for (std::size_t at = 0; at + frameSize <= stream.size(); at += frameSize) {
        CapturedFrame frame;
        frame.bytes.assign(stream.begin() + static_cast<std::ptrdiff_t>(at),
                           stream.begin() + static_cast<std::ptrdiff_t>(at + frameSize));
        const std::uint8_t* b = frame.bytes.data();
        EXPECT_TRUE(b[0] == 0x55 && b[1] == 0x55 && b[2] == 0xAA && b[3] == 0xAA) << "sync";
        const std::size_t trailerAt = frameSize - 5;
        EXPECT_TRUE(b[trailerAt] == 0x55 && b[trailerAt + 1] == 0xAA && b[trailerAt + 2] == 0x55 &&
                    b[trailerAt + 3] == 0xAA)
            << "trailer";
        frame.fileCount = b[4];
        frame.blockNumber = b[5];
        frame.blockCount = b[6];
        frame.name.assign(reinterpret_cast<const char*>(b + 9), nameSize);
        frame.name.resize(frame.name.find('\0') == std::string::npos ? nameSize
                                                                     : frame.name.find('\0'));
        frame.length = BigEndian32(b + lengthAt);
        frame.crc = BigEndian32(b + lengthAt + 4);
        frame.offset = BigEndian32(b + lengthAt + 8);
        frame.data.assign(b + lengthAt + 12, b + lengthAt + 12 + 4096);
        // The sum covers the full frame's bytes 4-4167; a compact frame lacks 36 zero name bytes.
        unsigned sum = 0;
        for (std::size_t i = 4; i < trailerAt; ++i) {
            sum += b[i];
        }
        EXPECT_EQ(sum & 0xFF, b[frameSize - 1]) << "frame sum";
        frames.push_back(std::move(frame));
    }
    return frames;
}

std::vector<CapturedFile> FilesOf(const std::vector<CapturedFrame>& frames) {
    std::vector<CapturedFile> files;
    for (const CapturedFrame& frame : frames) {
        if (frame.offset == 0) {
            files.push_back({frame.name, {}, frame.crc, frame.fileCount});
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
        EXPECT_EQ(file.crc, crc32(0, reinterpret_cast<const Bytef*>(file.content.data()),
                                  static_cast<uInt>(file.content.size())))
            << file.name;
    }
    return files;
}

}  // namespace termload::download_test
