#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>
#include <string_view>

namespace termload {

// The fixed-size frame that carries one 4096-byte block of a file to the terminal. Numbers are
// big-endian. A download thread keeps one frame for its whole life: the constant bytes are set
// once, the rest is rewritten for every file and block.
struct FileFrame {
    static constexpr std::size_t kSize = 4173;
    static constexpr std::size_t kBlockSize = 4096;
    static constexpr std::size_t kDestinationSize = 51;

    // Offsets of the fields.
    static constexpr std::size_t kSync = 0;
    static constexpr std::size_t kFileCount = 4;
    static constexpr std::size_t kBlockNumber = 5;
    static constexpr std::size_t kBlockCount = 6;
    static constexpr std::size_t kModeCode = 7;
    static constexpr std::size_t kHardwareVersion = 8;
    static constexpr std::size_t kDestination = 9;
    static constexpr std::size_t kFileLength = 60;
    static constexpr std::size_t kFileCrc = 64;
    static constexpr std::size_t kBlockOffset = 68;
    static constexpr std::size_t kData = 72;
    static constexpr std::size_t kTrailer = 4168;
    static constexpr std::size_t kSum = 4172;

    std::array<std::uint8_t, kSize> bytes{};

    // Sync, file count, mode code, hardware version and trailer: the bytes set once per thread.
    void SetConstantFields(std::uint8_t fileCount, std::uint8_t modeCode,
                           std::uint8_t hardwareVersion);

    std::uint8_t FileCount() const { return bytes[kFileCount]; }
    void SetFileCount(std::uint8_t count) { bytes[kFileCount] = count; }

    // Block number and count are kept to 8 bits; the offset carries the true position.
    void SetBlockNumber(std::uint32_t number) { bytes[kBlockNumber] = number & 0xFF; }
    void SetBlockCount(std::uint32_t count) { bytes[kBlockCount] = count & 0xFF; }
    void SetBlockOffset(std::uint32_t offset);
    void SetFileLength(std::uint32_t length);
    void SetFileCrc(std::uint32_t crc);

    // Clears the name field and copies at most its 51 bytes of name into it.
    void SetDestination(std::string_view name);

    std::span<std::uint8_t, kBlockSize> Data() {
        return std::span<std::uint8_t, kBlockSize>(bytes.data() + kData, kBlockSize);
    }

    // Stores the frame sum; the frame is complete after this.
    void Seal();
};

// Sum modulo 256 of every byte between the sync and the trailer (bytes 4 to 4167).
std::uint8_t FrameSum(const FileFrame& frame);

// The serial frame for terminals that take 15-byte names: the same fields and the same frame sum
// (computed on the full frame), 36 bytes shorter.
inline constexpr std::size_t kCompactFrameSize = 4137;
using CompactFrame = std::array<std::uint8_t, kCompactFrameSize>;
void BuildCompactFrame(const FileFrame& frame, CompactFrame& compact);

}  // namespace termload
