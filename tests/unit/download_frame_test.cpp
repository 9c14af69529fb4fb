// Frames, frame sum, compact frame and CRC-32 of files.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <numeric>
#include <string>
#include <vector>

#include "engine/crc32.h"
#include "engine/file_frame.h"

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
    EXPECT_EQ(FileCrc32(empty, crc), 0);
    EXPECT_EQ(crc, 0u);

    // A file of several blocks with a short last block.
    std::vector<std::uint8_t> content(3 * 4096 + 17);
    for (std::size_t i = 0; i < content.size(); ++i) {
        content[i] = static_cast<std::uint8_t>(i * 7 + 3);
    }
    const fs::path blocks = WriteTempFile("blocks", content);
    ASSERT_EQ(FileCrc32(blocks, crc), 0);
    EXPECT_EQ(crc, ~Crc32Update(0xFFFFFFFFu, content.data(), content.size()));

    EXPECT_EQ(FileCrc32(fs::temp_directory_path() / "download_frame_test_missing", crc), -1);
    EXPECT_EQ(FileCrc32(fs::temp_directory_path(), crc), -1) << "a directory is no file";
    fs::remove(empty);
    fs::remove(blocks);
}

TEST(FileFrame, SumCoversOnlyTheBytesBetweenSyncAndTrailer) {
    FileFrame frame;
    EXPECT_EQ(FrameSum(frame), 0);
    frame.SetConstantFields(3, 0x05, 0x10);
    EXPECT_EQ(FrameSum(frame), 3 + 0x05 + 0x10) << "sync and trailer never change the sum";
    frame.bytes[FileFrame::kSum] = 0x77;
    EXPECT_EQ(FrameSum(frame), 3 + 0x05 + 0x10) << "the sum byte itself is not summed";
    std::fill(frame.Data().begin(), frame.Data().end(), 0xFF);
    frame.Seal();
    EXPECT_EQ(frame.bytes[FileFrame::kSum], (3 + 0x05 + 0x10 + 4096 * 0xFF) % 256);
}

TEST(FileFrame, FieldsAreBigEndianAndKeptToTheirWidths) {
    FileFrame frame;
    frame.SetConstantFields(0x103 & 0xFF, 0x05, 0x10);
    frame.SetBlockNumber(300);
    frame.SetBlockCount(300);
    frame.SetBlockOffset(299u * 4096u);
    frame.SetFileLength(0x00001000);
    frame.SetFileCrc(0xCBF43926u);
    const std::vector<std::uint8_t> head(frame.bytes.begin(), frame.bytes.begin() + 9);
    EXPECT_EQ(head, (std::vector<std::uint8_t>{0x55, 0x55, 0xAA, 0xAA, 0x03, 44, 44, 0x05, 0x10}));
    auto field = [&](std::size_t at) {
        return std::vector<std::uint8_t>(frame.bytes.begin() + at, frame.bytes.begin() + at + 4);
    };
    EXPECT_EQ(field(FileFrame::kFileLength), (std::vector<std::uint8_t>{0x00, 0x00, 0x10, 0x00}));
    EXPECT_EQ(field(FileFrame::kFileCrc), (std::vector<std::uint8_t>{0xCB, 0xF4, 0x39, 0x26}));
    EXPECT_EQ(field(FileFrame::kBlockOffset), (std::vector<std::uint8_t>{0x00, 0x12, 0xB0, 0x00}));
    EXPECT_EQ(field(FileFrame::kTrailer), (std::vector<std::uint8_t>{0x55, 0xAA, 0x55, 0xAA}));

    // A long name fills the 51-byte field and no more; a shorter one clears what was there.
    frame.SetDestination(std::string(60, 'x'));
    EXPECT_EQ(frame.bytes[FileFrame::kDestination + 50], 'x');
    EXPECT_EQ(frame.bytes[FileFrame::kFileLength], 0x00) << "the name must not reach the length";
    frame.SetDestination("app.bin");
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(&frame.bytes[FileFrame::kDestination])),
              "app.bin");
    EXPECT_EQ(frame.bytes[FileFrame::kDestination + 50], 0);
}

TEST(FileFrame, CompactFrameCarriesTheSameFieldsWithAFifteenByteName) {
    FileFrame frame;
    frame.SetConstantFields(2, 0x21, 0x10);
    frame.SetBlockNumber(1);
    frame.SetBlockCount(2);
    frame.SetDestination("abcdefghijklmnopqrst");
    frame.SetFileLength(5000);
    frame.SetFileCrc(0x01020304);
    frame.SetBlockOffset(4096);
    std::iota(frame.Data().begin(), frame.Data().end(), 0);
    frame.Seal();

    CompactFrame compact{};
    BuildCompactFrame(frame, compact);
    EXPECT_TRUE(std::equal(compact.begin(), compact.begin() + 9, frame.bytes.begin()));
    EXPECT_EQ(std::string(compact.begin() + 9, compact.begin() + 24), "abcdefghijklmno");
    EXPECT_TRUE(std::equal(compact.begin() + 24, compact.begin() + 4136,
                           frame.bytes.begin() + FileFrame::kFileLength));
    EXPECT_EQ(compact[4136], frame.bytes[FileFrame::kSum]) << "the full frame's sum travels";
    EXPECT_EQ(compact[4132], 0x55);
    EXPECT_EQ(compact[4135], 0xAA);
}

}  // namespace
}  // namespace termload
