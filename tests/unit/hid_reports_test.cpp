// The HID reports the link builds and reads: the frame report, the size code and request report
// of the version read, and the reply's payload taken from whatever a device sent. termsim's reply
// report, written independently, is read back through the link's unwrapping.
#include <gtest/gtest.h>

#include <numeric>
#include <vector>

#include "engine/file_frame.h"
#include "engine/hid_link.h"
#include "hid_terminal.hpp"

namespace termload {
namespace {

using Bytes = std::vector<std::uint8_t>;

TEST(HidReports, FrameReportIsTheIdThenTheWholeFrame) {
    FileFrame frame;
    std::iota(frame.bytes.begin(), frame.bytes.end(), std::uint8_t{7});
    HidReport report;
    report.fill(0xEE);
    BuildHidFrameReport(frame, report);
    EXPECT_EQ(report[0], 0x0B);
    EXPECT_TRUE(std::equal(frame.bytes.begin(), frame.bytes.end(), report.begin() + 1));
}

TEST(HidReports, SizeCodeIsTheSmallestReportThatHoldsTheLength) {
    const std::vector<std::pair<std::size_t, int>> cases = {
        {0, 1}, {8, 1}, {9, 2}, {16, 2}, {19, 3}, {64, 4}, {65, 5}, {512, 7}, {513, 8}, {5000, 8}};
    for (const auto& [length, code] : cases) {
        EXPECT_EQ(HidReportSizeCode(length), code) << length;
    }
}

TEST(HidReports, VersionRequestReportAndRequestsThatDoNotFit) {
    const Bytes request = {0x01, 0x01, 0x01, 0x01, 0x15, 0xDC, 0x00, 0x05,
                           0x01, 0x10, 0x10, 0x18, 0x00, 0x03, 0x33};
    const auto report = BuildHidRequestReport(request);
    ASSERT_TRUE(report);
    Bytes head(report->begin(), report->begin() + 19);
    const Bytes expected = {0x03, 0x00, 0x0F, 0x00, 0x01, 0x01, 0x01, 0x01, 0x15, 0xDC,
                            0x00, 0x05, 0x01, 0x10, 0x10, 0x18, 0x00, 0x03, 0x33};
    EXPECT_EQ(head, expected);
    EXPECT_TRUE(std::all_of(report->begin() + 19, report->end(), [](auto b) { return b == 0; }));

    const Bytes longest(kHidReport - 4, 0xAB);
    const auto full = BuildHidRequestReport(longest);
    ASSERT_TRUE(full);
    EXPECT_EQ((*full)[0], 8);
    EXPECT_EQ((*full)[2] | ((*full)[3] << 8), static_cast<int>(longest.size()));
    EXPECT_EQ(full->back(), 0xAB);
    EXPECT_FALSE(BuildHidRequestReport(Bytes(kHidReport - 3, 0xAB)));
}

TEST(HidReports, ReplyPayloadBelievesTheLengthOnlyAsFarAsBytesCame) {
    EXPECT_TRUE(HidReplyPayload(Bytes{}).empty());
    EXPECT_TRUE(HidReplyPayload(Bytes{0x02, 0x00, 0x05, 0x00}).empty());
    EXPECT_EQ(HidReplyPayload(Bytes{0x02, 0x00, 0x02, 0x00, 0xA1, 0xA2, 0xA3}),
              (Bytes{0xA1, 0xA2}));
    // A length beyond what was read, even one beyond any report, is cut to the bytes there.
    EXPECT_EQ(HidReplyPayload(Bytes{0x02, 0x00, 0xFF, 0xFF, 0xA1, 0xA2}), (Bytes{0xA1, 0xA2}));
    EXPECT_TRUE(HidReplyPayload(Bytes{0x02, 0x00, 0x00, 0x00, 0xA1}).empty());
}

TEST(HidReports, TermsimsReplyReportsUnwrapToThePayload) {
    for (const std::size_t length : {1u, 4u, 60u, 61u, 300u, 1020u, 1021u, 2000u}) {
        Bytes payload(length);
        std::iota(payload.begin(), payload.end(), std::uint8_t{1});
        const Bytes report = termsim::HidReplyReport(payload);
        EXPECT_EQ(report[0], HidReportSizeCode(length + 4)) << length;
        EXPECT_EQ(HidReplyPayload(report), payload) << length;
    }
}

}  // namespace
}  // namespace termload
