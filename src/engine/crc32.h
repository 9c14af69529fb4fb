#pragma once

#include <chrono>
#include <cstdint>
#include <filesystem>

namespace termload {

class SourceFile;

// One step of the bit-reflected IEEE 802.3 CRC-32 (polynomial 0xEDB88320) on the raw register:
// a CRC starts from 0xFFFFFFFF and is complemented at the end.
std::uint32_t Crc32Update(std::uint32_t running, const std::uint8_t* bytes, std::uint32_t count);

// Pause after a short read before the block is read again (three reads in all).
inline constexpr std::chrono::milliseconds kCrcReadRetryPause{50};

// CRC-32 of the whole of an open file, read block by block from its start. Returns false when a
// block stays short after its retries. On a download thread the pauses end early on a stop.
bool Crc32OfOpenFile(SourceFile& file, std::uint32_t& crc,
                     std::chrono::milliseconds retryPause = kCrcReadRetryPause);

enum class FileCrcResult {
    Computed,    // `crc` holds the file's CRC-32
    Unreadable,  // the file cannot be opened or read
};

// CRC-32 of the file at path.
FileCrcResult FileCrc32(const std::filesystem::path& path, std::uint32_t& crc);

}  // namespace termload
