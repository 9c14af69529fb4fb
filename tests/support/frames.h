// File frames laid out here field by field, as a terminal reads them: the tests' own builder,
// independent of the engine's and of termsim's, so that it can check both.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace termload::test {

struct FrameHead {
    std::uint8_t fileCount = 1;
    std::uint8_t modeCode = 0x05;
    std::uint8_t hardwareVersion = 0x10;
    std::string name = "app.bin";
};

enum class FrameLayout { Full, Compact };

// One full frame of 4173 bytes: the block's 4096 bytes of `file`, padded with zeros.
std::string FullFrame(const FrameHead& head, std::string_view file, std::uint32_t block);
// The compact frame cut from a full one: 15 name bytes, the full frame's checksum.
std::string CompactFrame(std::string_view full);
// A full frame with its checksum made right again after a test changed it.
std::string Resummed(std::string full);
// Every frame of `file`, one after another.
std::string Frames(const FrameHead& head, std::string_view file, FrameLayout layout);

// Writes `value` big-endian at `at`.
void Put32(std::string& frame, std::size_t at, std::uint32_t value);

}  // namespace termload::test
