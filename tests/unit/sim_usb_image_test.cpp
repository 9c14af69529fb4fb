// termsim's check of USB images as they arrive in pieces of any size, and its USB faults.
#include <gtest/gtest.h>

#include <stdexcept>

#include "faults.hpp"
#include "usb_image_check.hpp"

namespace termsim {
namespace {

std::vector<uint8_t> Image(uint32_t address, std::vector<uint8_t> data, uint16_t sumDelta = 0) {
    const uint32_t length = static_cast<uint32_t>(data.size() + 10);
    std::vector<uint8_t> out;
    for (uint32_t v : {address, length}) {
        for (int shift = 0; shift < 32; shift += 8) out.push_back(static_cast<uint8_t>(v >> shift));
    }
    uint16_t sum = sumDelta;
    for (uint8_t b : data) sum = static_cast<uint16_t>(sum + b);
    out.insert(out.end(), data.begin(), data.end());
    out.push_back(static_cast<uint8_t>(sum));
    out.push_back(static_cast<uint8_t>(sum >> 8));
    return out;
}

TEST(SimUsbImage, ImagesSplitAnywhereAreCheckedOneAfterAnother) {
    std::vector<uint8_t> stream = Image(0x30200000, {'a', 'b', 'c'});
    const auto second = Image(0x30000000, std::vector<uint8_t>(300, 0xFF), 1);
    stream.insert(stream.end(), second.begin(), second.end());
    UsbImageAssembler assembler;
    std::vector<UsbImage> images;
    for (uint8_t byte : stream) {  // one byte at a time: every boundary falls inside a call
        for (auto& image : assembler.Feed({&byte, 1})) images.push_back(std::move(image));
    }
    ASSERT_EQ(images.size(), 2u);
    EXPECT_EQ(images[0].problem, "");
    EXPECT_EQ(images[0].sumGiven, 0x0126);
    EXPECT_EQ(images[0].data, (std::vector<uint8_t>{'a', 'b', 'c'}));
    EXPECT_NE(images[1].problem, "");  // sum off by one
    EXPECT_EQ(images[1].sumComputed, 0x2AD4);
    EXPECT_EQ(images[1].data.size(), 300u);
    EXPECT_FALSE(assembler.Reset());
}

TEST(SimUsbImage, AnUnusableHeaderIsBadAndTheRestIsIgnoredUntilTheHostStartsOver) {
    UsbImageAssembler assembler;
    for (const auto& header : {Image(0x30200000, {}), Image(0x2FFFFFFF, {1}),
                               Image(0x33FFFFFF, std::vector<uint8_t>(100))}) {
        auto bad = header;
        if (header.size() == 10)
            bad[4] = 9;  // a length below the overhead
        auto images = assembler.Feed(bad);
        ASSERT_EQ(images.size(), 1u);
        EXPECT_NE(images[0].problem, "");
        EXPECT_FALSE(images[0].cutOff);
        const auto good = Image(0x30200000, {7});
        EXPECT_TRUE(assembler.Feed(good).empty());  // ignored: its end cannot be known
        EXPECT_FALSE(assembler.Reset());
    }
    const auto image = Image(0x30200000, std::vector<uint8_t>(50, 2));
    EXPECT_TRUE(assembler.Feed(std::span(image).first(30)).empty());
    const auto cut = assembler.Reset();
    ASSERT_TRUE(cut);
    EXPECT_TRUE(cut->cutOff);
    EXPECT_EQ(cut->data.size(), 22u);
    EXPECT_EQ(assembler.Feed(image).size(), 1u);  // a fresh start after the reset
}

TEST(SimUsbImage, FaultTexts) {
    std::vector<PortFaults> faults(2);
    ApplyFaultText("2:usbsum=3", faults);
    ApplyFaultText("all:usbstall=8192*all", faults);
    EXPECT_EQ(faults[1].usbBadSums, 3);
    EXPECT_EQ(faults[0].usbBadSums, 0);
    EXPECT_EQ(faults[0].usbStallAfterBytes, 8192);
    EXPECT_EQ(faults[0].usbStallImages, 0);
    EXPECT_THROW(ApplyFaultText("1:usbstall", faults), std::invalid_argument);
    EXPECT_THROW(ApplyFaultText("1:usbsum=x", faults), std::invalid_argument);
}

}  // namespace
}  // namespace termsim
