#pragma once
// Frames assembled by hand, field by field, for termsim's tests.
#include <algorithm>
#include <cstdint>
#include <cstring>
#include <numeric>
#include <string>
#include <vector>

#include "checksums.hpp"
#include "frame_receiver.hpp"

namespace termsim {

using Bytes = std::vector<uint8_t>;

struct FrameHead {
    uint8_t fileCount = 1;
    uint8_t modeCode = 0x05;
    uint8_t hardwareVersion = 0x10;
    std::string name = "app.bin";
};

inline void Put32(Bytes& frame, size_t at, uint32_t value) {
    frame[at] = static_cast<uint8_t>(value >> 24);
    frame[at + 1] = static_cast<uint8_t>(value >> 16);
    frame[at + 2] = static_cast<uint8_t>(value >> 8);
    frame[at + 3] = static_cast<uint8_t>(value);
}

// One full frame (4173 bytes) laid out field by field; the compact one is cut from it.
inline Bytes FullFrame(const FrameHead& frameHead, const Bytes& file, uint32_t block) {
    Bytes frame(4173, 0);
    const uint8_t head[] = {0x55,
                            0x55,
                            0xAA,
                            0xAA,
                            frameHead.fileCount,
                            static_cast<uint8_t>(block),
                            static_cast<uint8_t>((file.size() + 4095) / 4096),
                            frameHead.modeCode,
                            frameHead.hardwareVersion};
    std::memcpy(frame.data(), head, sizeof head);
    std::memcpy(frame.data() + 9, frameHead.name.data(),
                std::min<size_t>(frameHead.name.size(), 51));
    Put32(frame, 60, static_cast<uint32_t>(file.size()));
    Put32(frame, 64, Crc32(0, file));
    Put32(frame, 68, block * 4096);
    const size_t begin = block * 4096;
    const size_t count = std::min<size_t>(4096, file.size() - begin);
    std::memcpy(frame.data() + 72, file.data() + begin, count);
    const uint8_t trailer[] = {0x55, 0xAA, 0x55, 0xAA};
    std::memcpy(frame.data() + 4168, trailer, 4);
    frame[4172] =
        static_cast<uint8_t>(std::accumulate(frame.begin() + 4, frame.begin() + 4168, 0u) & 0xFF);
    return frame;
}

inline Bytes Resummed(Bytes frame) {
    frame[4172] =
        static_cast<uint8_t>(std::accumulate(frame.begin() + 4, frame.begin() + 4168, 0u) & 0xFF);
    return frame;
}

inline Bytes CompactFrame(const Bytes& full) {
    Bytes frame(full.begin(), full.begin() + 24);                       // sync … 15 name bytes
    frame.insert(frame.end(), full.begin() + 60, full.begin() + 4172);  // length … trailer
    frame.push_back(full[4172]);
    return frame;
}

inline Bytes Frames(const FrameHead& frameHead, const Bytes& file, FrameFormat format) {
    Bytes all;
    for (uint32_t block = 0; block < (file.size() + 4095) / 4096; ++block) {
        Bytes frame = FullFrame(frameHead, file, block);
        if (format == FrameFormat::Compact) {
            frame = CompactFrame(frame);
        }
        all.insert(all.end(), frame.begin(), frame.end());
    }
    return all;
}

inline Bytes Pattern(size_t size, uint32_t seed) {
    Bytes bytes(size);
    for (size_t i = 0; i < size; ++i) {
        seed = seed * 1103515245 + 12345;
        bytes[i] = static_cast<uint8_t>(seed >> 16);
    }
    return bytes;
}

}  // namespace termsim
