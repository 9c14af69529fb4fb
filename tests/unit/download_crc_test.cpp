// CRC-32 of bytes and of files. (The frames themselves are checked byte for byte on the wire.)
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "engine/crc32.h"

namespace termload {
namespace {

namespace fs = std::filesystem;

fs::path WriteTempFile(const std::string& name, const std::vector<std::uint8_t>& content) {
    const fs::path path = fs::temp_directory_path() /
                          ("download_frame_test_" + std::to_string(::getpid()) + "_" + name);
    std::ofstream(path, std::ios::binary)
        .write(reinterpret_cast<const char*>(content.data()),
               static_cast<std::streamsize>(content.size()));
    return path;
}

TEST(Crc32, MatchesTheStandardCheckValueInAnySplitAndOnFiles) {
    const std::string check = "123456789";
    const auto* p = reinterpret_cast<const std::uint8_t*>(check.data());
    EXPECT_EQ(~Crc32Update(0xFFFFFFFFu, p, 9), 0xCBF43926u);
    // Feeding in pieces gives the same register as feeding at once.
    EXPECT_EQ(~Crc32Update(Crc32Update(0xFFFFFFFFu, p, 4), p + 4, 5), 0xCBF43926u);

    std::uint32_t crc = 1;
    const fs::path empty = WriteTempFile("empty", {});
    EXPECT_EQ(FileCrc32(empty, crc), FileCrcResult::Computed);
    EXPECT_EQ(crc, 0u);

    // A file of several blocks with a short last block.
    std::vector<std::uint8_t> content(3 * 4096 + 17);
    for (std::size_t i = 0; i < content.size(); ++i) {
        content[i] = static_cast<std::uint8_t>(i * 7 + 3);
    }
    const fs::path blocks = WriteTempFile("blocks", content);
    ASSERT_EQ(FileCrc32(blocks, crc), FileCrcResult::Computed);
    EXPECT_EQ(crc, ~Crc32Update(0xFFFFFFFFu, content.data(), content.size()));

    EXPECT_EQ(FileCrc32(fs::temp_directory_path() / "download_frame_test_missing", crc),
              FileCrcResult::Unreadable);
    EXPECT_EQ(FileCrc32(fs::temp_directory_path(), crc), FileCrcResult::Unreadable)
        << "a directory is no file";
    fs::remove(empty);
    fs::remove(blocks);
}

}  // namespace
}  // namespace termload
