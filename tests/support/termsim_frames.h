// Frames for termsim's tests from the tests' own builder, as termsim's byte vectors.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "frame_receiver.hpp"
#include "support/frames.h"

namespace termsim {

using Bytes = std::vector<uint8_t>;
using termload::test::FrameHead;

inline Bytes AsBytes(const std::string& text) {
    return Bytes(text.begin(), text.end());
}

inline std::string AsText(const Bytes& bytes) {
    return std::string(bytes.begin(), bytes.end());
}

inline void Put32(Bytes& frame, size_t at, uint32_t value) {
    for (size_t i = 0; i < 4; ++i) {
        frame[at + i] = static_cast<uint8_t>(value >> (24 - 8 * i));
    }
}

inline Bytes FullFrame(const FrameHead& head, const Bytes& file, uint32_t block) {
    return AsBytes(termload::test::FullFrame(head, AsText(file), block));
}

inline Bytes Resummed(const Bytes& frame) {
    return AsBytes(termload::test::Resummed(AsText(frame)));
}

inline Bytes CompactFrame(const Bytes& full) {
    return AsBytes(termload::test::CompactFrame(AsText(full)));
}

inline Bytes Frames(const FrameHead& head, const Bytes& file, FrameFormat format) {
    return AsBytes(termload::test::Frames(head, AsText(file),
                                          format == FrameFormat::Compact
                                              ? termload::test::FrameLayout::Compact
                                              : termload::test::FrameLayout::Full));
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
