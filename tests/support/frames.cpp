#include "support/frames.h"

#include <zlib.h>

#include <algorithm>
#include <numeric>

namespace termload::test {

namespace {

constexpr std::size_t kFullSize = 4173;
constexpr std::size_t kSumAt = 4172;
constexpr std::size_t kData = 4096;

}  // namespace

void Put32(std::string& frame, std::size_t at, std::uint32_t value) {
    for (int i = 0; i < 4; ++i) {
        frame[at + i] = static_cast<char>(value >> (24 - 8 * i));
    }
}

std::string Resummed(std::string full) {
    unsigned sum = 0;
    for (std::size_t i = 4; i < 4168; ++i) {
        sum += static_cast<unsigned char>(full[i]);
    }
    full[kSumAt] = static_cast<char>(sum);
    return full;
}

std::string FullFrame(const FrameHead& head, std::string_view file, std::uint32_t block) {
    std::string frame(kFullSize, '\0');
    const char start[] = {'\x55',
                          '\x55',
                          '\xAA',
                          '\xAA',
                          static_cast<char>(head.fileCount),
                          static_cast<char>(block),
                          static_cast<char>((file.size() + kData - 1) / kData),
                          static_cast<char>(head.modeCode),
                          static_cast<char>(head.hardwareVersion)};
    frame.replace(0, sizeof start, start, sizeof start);
    frame.replace(9, std::min<std::size_t>(head.name.size(), 51), head.name, 0, 51);
    Put32(frame, 60, static_cast<std::uint32_t>(file.size()));
    Put32(frame, 64,
          static_cast<std::uint32_t>(
              crc32(0, reinterpret_cast<const Bytef*>(file.data()), file.size())));
    Put32(frame, 68, static_cast<std::uint32_t>(block * kData));
    const std::size_t begin = std::min<std::size_t>(block * kData, file.size());
    const std::string_view data = file.substr(begin, kData);
    frame.replace(72, data.size(), data);
    frame.replace(4168, 4, "\x55\xAA\x55\xAA");
    return Resummed(std::move(frame));
}

std::string CompactFrame(std::string_view full) {
    std::string frame(full.substr(0, 24));  // sync … 15 name bytes
    frame += full.substr(60);               // length … trailer and checksum
    return frame;
}

std::string Frames(const FrameHead& head, std::string_view file, FrameLayout layout) {
    std::string all;
    for (std::uint32_t block = 0; block < (file.size() + kData - 1) / kData; ++block) {
        const std::string frame = FullFrame(head, file, block);
        all += layout == FrameLayout::Compact ? CompactFrame(frame) : frame;
    }
    return all;
}

}  // namespace termload::test
