// CRC-32 of bytes and of files. (The frames themselves are checked byte for byte on the wire.)
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "engine/crc32.h"
#include "support/files.h"

namespace termload {
namespace {

namespace fs = std::filesystem;

TEST(Crc32, MatchesTheStandardCheckValueInAnySplitAndOnFiles) {
    const std::string check = "123456789";
    const auto* p = reinterpret_cast<const std::uint8_t*>(check.data());
    EXPECT_EQ(~Crc32Update(0xFFFFFFFFu, p, 9), 0xCBF43926u);
    // Feeding in pieces gives the same register as feeding at once.
    EXPECT_EQ(~Crc32Update(Crc32Update(0xFFFFFFFFu, p, 4), p + 4, 5), 0xCBF43926u);

    const test::ScratchDir dir("download-crc");
    std::uint32_t crc = 1;
    const fs::path empty = dir.Write("empty", "");
    EXPECT_EQ(FileCrc32(empty, crc), FileCrcResult::Computed);
    EXPECT_EQ(crc, 0u);

    // A file of several blocks with a short last block.
    std::vector<std::uint8_t> content(3 * 4096 + 17);
    for (std::size_t i = 0; i < content.size(); ++i) {
        content[i] = static_cast<std::uint8_t>(i * 7 + 3);
    }
    const fs::path blocks = dir.Write("blocks", std::string(content.begin(), content.end()));
    ASSERT_EQ(FileCrc32(blocks, crc), FileCrcResult::Computed);
    EXPECT_EQ(crc, ~Crc32Update(0xFFFFFFFFu, content.data(), content.size()));

    EXPECT_EQ(FileCrc32(dir / "missing", crc), FileCrcResult::Unreadable);
    EXPECT_EQ(FileCrc32(dir.Path(), crc), FileCrcResult::Unreadable) << "a directory is no file";
}

}  // namespace
}  // namespace termload
