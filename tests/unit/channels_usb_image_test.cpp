// The USB-pipe image and its chunking, with a recording pipe in place of the device.
#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <numeric>
#include <vector>

#include "channels/usb_image.h"
#include "channels/usb_pipe.h"
#include "support/files.h"

namespace termload {
namespace {

using Bytes = std::vector<std::uint8_t>;

TEST(UsbImage, LayoutAndSum) {
    const auto empty = BuildUsbImage(0x30200000, {});
    ASSERT_TRUE(empty);
    EXPECT_EQ(*empty, (Bytes{0x00, 0x00, 0x20, 0x30, 10, 0, 0, 0, 0, 0}));

    const Bytes abc{'a', 'b', 'c'};
    const auto image = BuildUsbImage(0x12345678, abc);
    ASSERT_TRUE(image);
    EXPECT_EQ(*image, (Bytes{0x78, 0x56, 0x34, 0x12, 13, 0, 0, 0, 'a', 'b', 'c', 0x26, 0x01}));

    // The sum wraps at 65536: 300 bytes of 0xFF are 76500 = 0x12AD4.
    const Bytes ones(300, 0xFF);
    EXPECT_EQ(UsbImageSum(ones), 0x2AD4);
    const auto wrapped = BuildUsbImage(0, ones);
    ASSERT_TRUE(wrapped);
    EXPECT_EQ((*wrapped)[308], 0xD4);
    EXPECT_EQ((*wrapped)[309], 0x2A);
    EXPECT_EQ((*wrapped)[4] | (*wrapped)[5] << 8, 310);
}

TEST(UsbDeviceId, ParsesAndFallsBackToTheDefault) {
    EXPECT_EQ(ParseUsbDeviceId("5345:1234"), (UsbDeviceId{0x5345, 0x1234}));
    EXPECT_EQ(ParseUsbDeviceId(" 0x1d6B:2 "), (UsbDeviceId{0x1d6b, 0x0002}));
    for (const char* bad : {"", "5345", "5345:", ":1234", "12345:1", "53g5:1234", "5345:1234:1",
                            "-1:2", "5345 :1234"}) {
        EXPECT_FALSE(ParseUsbDeviceId(bad)) << bad;
    }
    EXPECT_EQ(FormatUsbDeviceId({0x5345, 0x1234}), "5345:1234");

    const test::ScratchDir dir("usb-id");
    const auto store = dir / "termload.ini";
    // Only a device the store names narrows the search.
    EXPECT_EQ(ReadUsbPipeDevice(store), std::nullopt);  // no store yet
    std::ofstream(store) << "[Termload]\nLastConfig=x\n[UsbPipe]\nDevice=0483:df11\n";
    EXPECT_EQ(ReadUsbPipeDevice(store), (UsbDeviceId{0x0483, 0xdf11}));
    std::ofstream(store) << "[UsbPipe]\nDevice=nonsense\n";
    EXPECT_EQ(ReadUsbPipeDevice(store), std::nullopt);
}

// Takes `budget` bytes in all, then times out with what it took of the write in hand.
class RecordingPipe : public UsbPipe {
  public:
    explicit RecordingPipe(std::size_t budget) : budget_(budget) {}
    UsbPipeResult Write(std::span<const std::uint8_t> data, Milliseconds timeout) override {
        writes.push_back(data.size());
        timeouts.push_back(timeout);
        const std::size_t taken = std::min(data.size(), budget_);
        budget_ -= taken;
        received.insert(received.end(), data.begin(), data.begin() + taken);
        if (taken < data.size()) {
            return {UsbPipeStatus::kTimedOut, taken, "full"};
        }
        return {UsbPipeStatus::kOk, taken, {}};
    }
    void Cancel() override {}

    std::vector<std::size_t> writes;
    std::vector<Milliseconds> timeouts;
    Bytes received;

  private:
    std::size_t budget_;
};

TEST(UsbSendImage, ChunksOf8192WithProgressAndFourSecondsEach) {
    Bytes file(10000);
    std::iota(file.begin(), file.end(), 0);
    const auto image = BuildUsbImage(0x30200000, file);
    ASSERT_TRUE(image);
    ASSERT_EQ(image->size(), 10010u);

    RecordingPipe pipe(SIZE_MAX);
    std::vector<std::size_t> progress;
    const auto result =
        UsbSendImage(pipe, *image, [&](std::size_t sent) { progress.push_back(sent); });
    EXPECT_EQ(result.status, UsbPipeStatus::kOk);
    EXPECT_EQ(result.bytes, 10010u);
    EXPECT_EQ(pipe.writes, (std::vector<std::size_t>{8192, 1818}));
    EXPECT_EQ(pipe.timeouts, (std::vector<UsbPipe::Milliseconds>(2, kUsbPipeChunkTimeout)));
    EXPECT_EQ(progress, (std::vector<std::size_t>{8192, 10010}));
    EXPECT_EQ(pipe.received, *image);
}

TEST(UsbSendImage, StopsAtTheChunkThatFailsAndCountsWhatWentOut) {
    const Bytes file(30000, 0x5A);
    const auto image = BuildUsbImage(0, file);
    ASSERT_TRUE(image);
    RecordingPipe pipe(8192 + 100);
    std::vector<std::size_t> progress;
    const auto result =
        UsbSendImage(pipe, *image, [&](std::size_t sent) { progress.push_back(sent); });
    EXPECT_EQ(result.status, UsbPipeStatus::kTimedOut);
    EXPECT_EQ(result.bytes, 8292u);
    EXPECT_EQ(pipe.writes.size(), 2u);  // no chunk after the failed one
    EXPECT_EQ(progress, (std::vector<std::size_t>{8192}));
}

}  // namespace
}  // namespace termload
