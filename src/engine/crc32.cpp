#include "engine/crc32.h"

#include <zlib.h>

#include <algorithm>
#include <array>

#include "engine/message_pump.h"
#include "engine/source_file.h"
#include "engine/stop_signal.h"

namespace termload {

namespace {

constexpr std::size_t kCrcBlockSize = 4096;
constexpr int kReadAttempts = 3;

}  // namespace

std::uint32_t Crc32Update(std::uint32_t running, const std::uint8_t* bytes, std::uint32_t count) {
    // zlib keeps the register complemented on both sides of the call.
    return ~static_cast<std::uint32_t>(crc32(~running & 0xFFFFFFFFu, bytes, count));
}

bool Crc32OfOpenFile(SourceFile& file, std::uint32_t& crc, std::chrono::milliseconds retryPause) {
    const std::int64_t length = file.Size();
    if (length < 0) {
        return false;
    }
    std::array<std::uint8_t, kCrcBlockSize> block{};
    std::uint32_t running = 0xFFFFFFFFu;
    for (std::int64_t offset = 0; offset < length; offset += kCrcBlockSize) {
        const auto wanted = static_cast<std::size_t>(
            std::min<std::int64_t>(static_cast<std::int64_t>(kCrcBlockSize), length - offset));
        std::size_t got = 0;
        for (int attempt = 0; attempt < kReadAttempts; ++attempt) {
            got = file.ReadAt(static_cast<std::uint64_t>(offset), {block.data(), wanted});
            if (got == wanted) {
                break;
            }
            DelayWithMessages(static_cast<std::uint32_t>(retryPause.count()));
        }
        if (got != wanted) {
            return false;
        }
        running = Crc32Update(running, block.data(), static_cast<std::uint32_t>(wanted));
    }
    crc = ~running;
    return true;
}

FileCrcResult FileCrc32(const std::filesystem::path& path, std::uint32_t& crc) {
    SourceFile file(path);
    if (!file.IsOpen() || !Crc32OfOpenFile(file, crc)) {
        return FileCrcResult::Unreadable;
    }
    return FileCrcResult::Computed;
}

}  // namespace termload
