#include "engine/file_frame.h"

#include <algorithm>
#include <numeric>

#include "engine/hex_bytes.h"

namespace termload {

namespace {

constexpr std::array<std::uint8_t, 4> kSyncBytes{0x55, 0x55, 0xAA, 0xAA};
constexpr std::array<std::uint8_t, 4> kTrailerBytes{0x55, 0xAA, 0x55, 0xAA};

}  // namespace

void FileFrame::SetConstantFields(std::uint8_t fileCount, std::uint8_t modeCode,
                                  std::uint8_t hardwareVersion) {
    std::copy(kSyncBytes.begin(), kSyncBytes.end(), bytes.begin() + kSync);
    std::copy(kTrailerBytes.begin(), kTrailerBytes.end(), bytes.begin() + kTrailer);
    bytes[kFileCount] = fileCount;
    bytes[kModeCode] = modeCode;
    bytes[kHardwareVersion] = hardwareVersion;
}

void FileFrame::SetBlockOffset(std::uint32_t offset) {
    PutBigEndian32(offset, bytes.data() + kBlockOffset);
}

void FileFrame::SetFileLength(std::uint32_t length) {
    PutBigEndian32(length, bytes.data() + kFileLength);
}

void FileFrame::SetFileCrc(std::uint32_t crc) {
    PutBigEndian32(crc, bytes.data() + kFileCrc);
}

void FileFrame::SetDestination(std::string_view name) {
    auto field = bytes.begin() + kDestination;
    std::fill(field, field + kDestinationSize, 0);
    std::copy_n(name.begin(), std::min(name.size(), kDestinationSize), field);
}

void FileFrame::Seal() {
    bytes[kSum] = FrameSum(*this);
}

std::uint8_t FrameSum(const FileFrame& frame) {
    const auto first = frame.bytes.begin() + FileFrame::kFileCount;
    const auto last = frame.bytes.begin() + FileFrame::kTrailer;
    return static_cast<std::uint8_t>(std::accumulate(first, last, 0u) & 0xFF);
}

void BuildCompactFrame(const FileFrame& frame, CompactFrame& compact) {
    constexpr std::size_t kCompactNameSize = 15;
    const auto& b = frame.bytes;
    auto out = compact.begin();
    // Sync and the five one-byte fields, then the first 15 bytes of the name.
    out = std::copy_n(b.begin(), FileFrame::kDestination, out);
    out = std::copy_n(b.begin() + FileFrame::kDestination, kCompactNameSize, out);
    // File length, file CRC, block offset, data and trailer lie together in the full frame.
    out = std::copy(b.begin() + FileFrame::kFileLength, b.begin() + FileFrame::kSum, out);
    *out = b[FileFrame::kSum];
}

}  // namespace termload
