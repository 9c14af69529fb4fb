// The YMODEM sender against a scripted receiver: packets byte for byte, block sizes and padding,
// retry limits, the CAN rule, the results and their texts.
#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

#include "config/string_table.h"
#include "engine/crc16.h"
#include "engine/port_slot_table.h"
#include "engine/ymodem_progress.h"
#include "engine/ymodem_sender.h"
#include "support/files.h"
#include "support/scripted_ymodem_port.h"

namespace termload {
namespace {

namespace fs = std::filesystem;
using Bytes = std::vector<std::uint8_t>;
using Port = ScriptedYmodemPort;
constexpr int C = 'C';
constexpr int ACK = YModem::kAck;
constexpr int NAK = YModem::kNak;
constexpr int CAN = YModem::kCan;

std::string WriteTempFile(const std::string& name, const Bytes& content) {
    static const test::ScratchDir dir("ymodem");
    return dir.Write(name, {reinterpret_cast<const char*>(content.data()), content.size()})
        .string();
}

Bytes Pattern(std::size_t size) {
    Bytes bytes(size);
    for (std::size_t i = 0; i < size; ++i) {
        bytes[i] = static_cast<std::uint8_t>(i * 13 + i / 251 + 1);  // no zero byte hides padding
    }
    return bytes;
}

// Checks one packet's framing and CRC and returns its data field.
Bytes DataOf(const Bytes& packet, std::uint8_t number) {
    const std::size_t length = packet.at(0) == YModem::kStx ? 1024 : 128;
    EXPECT_EQ(packet.size(), length + 5);
    EXPECT_TRUE(packet[0] == YModem::kStx || packet[0] == YModem::kSoh);
    EXPECT_EQ(packet[1], number);
    EXPECT_EQ(packet[2], 255 - number);
    const std::uint16_t crc = Crc16Xmodem(packet.data() + 3, length);
    EXPECT_EQ(packet[3 + length], crc >> 8);
    EXPECT_EQ(packet[4 + length], crc & 0xFF);
    return Bytes(packet.begin() + 3, packet.begin() + 3 + static_cast<long>(length));
}

struct Outcome {
    std::optional<YmodemResult> result;
    std::vector<YmodemEvent> events;
};

Outcome Send(Port& port, const std::optional<std::string>& path, int cancelAfterWaits = -1,
             std::function<void(YmodemEvent)> onEvent = {}) {
    Outcome run;
    int waits = 0;
    YModem sender(port, 7, [&](const YmodemProgressRecord& record, YmodemEvent event) {
        EXPECT_EQ(record.channel, 7);
        run.events.push_back(event);
        if (onEvent) {
            onEvent(event);
        }
        return event == YmodemEvent::Waiting && cancelAfterWaits >= 0 && ++waits > cancelAfterWaits
                   ? 1
                   : 0;
    });
    run.result = sender.Transfer(path, 0);
    return run;
}

// The port after a transfer of `path` against `replies`, which must have ended with `result`.
Port Ran(const std::optional<std::string>& path, std::deque<int> replies, YmodemResult result) {
    Port port;
    port.replies = std::move(replies);
    EXPECT_EQ(Send(port, path).result, result);
    return port;
}

TEST(Crc16Xmodem, MatchesThePublishedCheckValue) {
    const std::string check = "123456789";
    const auto* p = reinterpret_cast<const std::uint8_t*>(check.data());
    EXPECT_EQ(Crc16Xmodem(p, 9), 0x31C3);
    EXPECT_EQ(Crc16Xmodem(p + 4, 5, Crc16Xmodem(p, 4)), 0x31C3);
    EXPECT_EQ(Crc16Xmodem(p, 0), 0);
    const std::uint8_t a = 'A';
    EXPECT_EQ(Crc16Xmodem(&a, 1), 0x58E5);  // another published XMODEM value
}

// A whole transfer for sizes around the block boundaries: 1K blocks while 1024 bytes remain, then
// 128-byte blocks, the last padded with zeros; header with path and size; EOT; empty block 0.
TEST(YmodemSender, SendsFilesOfEverySizeWithTheRightBlocksAndPadding) {
    struct Case {
        std::size_t size;
        std::vector<std::size_t> blocks;
    };
    for (const Case& c : std::vector<Case>{{0, {}},
                                           {1, {128}},
                                           {300, {128, 128, 128}},
                                           {1024, {1024}},
                                           {1030, {1024, 128}},
                                           {2048, {1024, 1024}}}) {
        SCOPED_TRACE(c.size);
        const Bytes content = Pattern(c.size);
        const std::string path = WriteTempFile("f" + std::to_string(c.size) + ".bin", content);
        Port port;
        port.replies = {C, ACK, C};
        for (std::size_t i = 0; i < c.blocks.size(); ++i) {
            port.replies.push_back(ACK);
        }
        port.replies.insert(port.replies.end(), {ACK, C, ACK});
        const Outcome run = Send(port, path);
        EXPECT_EQ(run.result, YmodemResult::Sent);
        EXPECT_TRUE(port.replies.empty());

        ASSERT_EQ(port.written.size(), c.blocks.size() + 3);
        const Bytes header = DataOf(port.written[0], 0);
        EXPECT_EQ(port.written[0][0], YModem::kSoh);
        const std::string expected = path + '\0' + std::to_string(c.size) + ' ';
        EXPECT_EQ(std::string(header.begin(), header.begin() + static_cast<long>(expected.size())),
                  expected);
        EXPECT_TRUE(std::all_of(header.begin() + static_cast<long>(expected.size()), header.end(),
                                [](std::uint8_t b) { return b == 0; }));
        Bytes sent;
        for (std::size_t i = 0; i < c.blocks.size(); ++i) {
            const Bytes data = DataOf(port.written[i + 1], static_cast<std::uint8_t>(i + 1));
            EXPECT_EQ(data.size(), c.blocks[i]);
            sent.insert(sent.end(), data.begin(), data.end());
        }
        ASSERT_GE(sent.size(), content.size());
        EXPECT_TRUE(std::equal(content.begin(), content.end(), sent.begin()));
        EXPECT_TRUE(std::all_of(sent.begin() + static_cast<long>(content.size()), sent.end(),
                                [](std::uint8_t b) { return b == 0; }));
        EXPECT_EQ(port.written[c.blocks.size() + 1], Bytes{YModem::kEot});
        EXPECT_EQ(DataOf(port.written.back(), 0), Bytes(128, 0));

        // Started, a wait for the first "C", opened, then a wait before every later read.
        std::vector<YmodemEvent> events = {YmodemEvent::Started, YmodemEvent::Waiting,
                                           YmodemEvent::FileOpened};
        events.insert(events.end(), 2 + c.blocks.size() + 3, YmodemEvent::Waiting);
        events.push_back(YmodemEvent::BatchEnded);
        EXPECT_EQ(run.events, events);
    }
}

TEST(YmodemSender, BlockNumbersWrapAndSilenceOrStrayBytesDoNotEndTheTransfer) {
    const Bytes content = Pattern(257 * 1024);
    const std::string path = WriteTempFile("wrap.bin", content);
    Port port;
    // Silence, noise and a lone CAN before the first "C" and between answers are read past.
    port.replies = {Port::kSilence, 'x', CAN, Port::kSilence, C, Port::kSilence, ACK, 0, C};
    for (int i = 0; i < 257; ++i) {
        port.replies.insert(port.replies.end(), {Port::kSilence, CAN, ACK});
    }
    port.replies.insert(port.replies.end(), {ACK, C, ACK});
    EXPECT_EQ(Send(port, path).result, YmodemResult::Sent);
    ASSERT_EQ(port.written.size(), 257u + 3);
    EXPECT_EQ(port.written[255][1], 255);
    EXPECT_EQ(port.written[256][1], 0);
    EXPECT_EQ(port.written[257][1], 1);
    Bytes sent;
    for (int i = 1; i <= 257; ++i) {
        const Bytes data =
            DataOf(port.written[static_cast<std::size_t>(i)], static_cast<std::uint8_t>(i));
        sent.insert(sent.end(), data.begin(), data.end());
    }
    EXPECT_EQ(sent, content);
}

TEST(YmodemSender, NaksResendTheSamePacketTenTimesThenGiveUpWithMaxError) {
    const std::string path = WriteTempFile("nak.bin", Pattern(2048));
    Port port;
    port.replies = {C, ACK, C, ACK};
    port.replies.insert(port.replies.end(), 11, NAK);
    EXPECT_EQ(Send(port, path).result, YmodemResult::MaxErrors);
    // Header, block 1, block 2 eleven times, CAN CAN.
    ASSERT_EQ(port.written.size(), 1u + 1 + 11 + 2);
    for (std::size_t i = 2; i < 13; ++i) {
        EXPECT_EQ(port.written[i], port.written[2]);
    }
    EXPECT_EQ(port.written[2][1], 2);
    EXPECT_EQ(port.written[13], Bytes{YModem::kCan});
    EXPECT_EQ(port.written[14], Bytes{YModem::kCan});

    // Ten NAKs then an ACK recover; the counter starts afresh for the next packet.
    Port recovering;
    recovering.replies = {C, ACK, C};
    recovering.replies.insert(recovering.replies.end(), 10, NAK);
    recovering.replies.push_back(ACK);
    recovering.replies.insert(recovering.replies.end(), 10, NAK);
    recovering.replies.insert(recovering.replies.end(), {ACK, NAK, ACK, C, ACK});
    EXPECT_EQ(Send(recovering, path).result, YmodemResult::Sent);
    EXPECT_EQ(recovering.written.size(), 1u + 11 + 11 + 2 + 1);

    // The header and EOT keep the same limit.
    Port header;
    header.replies = {C};
    header.replies.insert(header.replies.end(), 11, NAK);
    EXPECT_EQ(Send(header, path).result, YmodemResult::MaxErrors);
    EXPECT_EQ(header.written.size(), 11u + 2);
}

TEST(YmodemSender, TwoCansInARowCancelFromTheReceiverInEveryState) {
    const std::string path = WriteTempFile("can.bin", Pattern(1500));
    // Before the first "C", after the header, before data, after a block, after EOT, at the end.
    const std::vector<std::deque<int>> scripts = {
        {CAN, CAN},
        {C, CAN, CAN},
        {C, ACK, CAN, CAN},
        {C, ACK, C, ACK, CAN, CAN},
        {C, ACK, C, ACK, ACK, ACK, CAN, CAN},
        {C, ACK, C, ACK, ACK, ACK, C, CAN, CAN},
    };
    for (const auto& script : scripts) {
        const Port port = Ran(path, script, YmodemResult::RemoteCancel);
        EXPECT_TRUE(port.replies.empty());
        ASSERT_GE(port.written.size(), 2u);
        EXPECT_EQ(port.written.back(), Bytes{YModem::kCan});
        EXPECT_EQ(port.written[port.written.size() - 2], Bytes{YModem::kCan});
    }
    // CAN, then anything else (silence included), then CAN is no pair.
    EXPECT_TRUE(Ran(WriteTempFile("can1k.bin", Pattern(1024)),
                    {CAN, Port::kSilence, CAN, C, CAN, ACK, C, ACK, CAN, 'z', CAN, ACK, C, ACK},
                    YmodemResult::Sent)
                    .replies.empty());
}

TEST(YmodemSender, TheCallbackCancelsAWaitEvenInSilence) {
    const std::string path = WriteTempFile("cancel.bin", Pattern(4000));
    Port port;
    port.replies = {C, ACK, C, ACK};
    port.replies.insert(port.replies.end(), 500, Port::kSilence);
    const Outcome run = Send(port, path, 100);
    EXPECT_EQ(run.result, YmodemResult::UserCancel);
    EXPECT_EQ(port.written.back(), Bytes{YModem::kCan});
    EXPECT_EQ(port.written[port.written.size() - 2], Bytes{YModem::kCan});
    // Header, blocks 1 and 2, CAN CAN: silence never resends.
    EXPECT_EQ(port.written.size(), 3u + 2);
}

// A read that fails counts; more than 40 in one wait make the wait fail. That ends the transfer
// at once before the first "C", after 6 failed waits for a packet and 11 for EOT or the end block.
TEST(YmodemSender, AFailingLineEndsWithTimeoutAfterItsLimits) {
    const std::string path = WriteTempFile("fail.bin", Pattern(200));
    const Port silent =
        Ran(path, {}, YmodemResult::Timeout);  // the script is empty: every read fails
    EXPECT_EQ(silent.reads, 41);
    EXPECT_EQ(silent.written, (std::vector<Bytes>{{YModem::kCan}, {YModem::kCan}}));

    std::deque<int> late(40, Port::kFailure);  // 40 failures then a byte is still a reply
    late.insert(late.end(), {C, ACK, C, ACK, ACK, ACK, C, ACK});
    Ran(path, late, YmodemResult::Sent);

    const Port data = Ran(path, {C, ACK, C}, YmodemResult::Timeout);  // data block: 6 failed waits
    EXPECT_EQ(data.reads, 3 + 6 * 41);
    EXPECT_EQ(data.written.size(), 1u + 6 + 2);  // 5 resends

    const Port eot =
        Ran(path, {C, ACK, C, ACK, ACK}, YmodemResult::Timeout);        // EOT: 11 failed waits
    EXPECT_EQ(eot.written.size(), 1u + 2 + 11 + 2);                     // 10 resends
    EXPECT_EQ(eot.written[3], Bytes{YModem::kEot});
    EXPECT_EQ(eot.written[13], Bytes{YModem::kEot});

    std::deque<int> mixed = {C, ACK, C};  // failed waits and NAKs share one counter
    for (int i = 0; i < 3; ++i) {
        mixed.push_back(NAK);
        mixed.insert(mixed.end(), 41, Port::kFailure);
    }
    EXPECT_EQ(Ran(path, mixed, YmodemResult::Timeout).written.size(), 1u + 6 + 2);
}

TEST(YmodemSender, MissingFileEndsTheBatchAndAShrunkFileIsNotPadded) {
    const Port missing = Ran("/nonexistent/dir/k.bin", {C, ACK}, YmodemResult::Sent);
    ASSERT_EQ(missing.written.size(), 1u);
    EXPECT_EQ(DataOf(missing.written[0], 0), Bytes(128, 0));
    EXPECT_EQ(Ran(std::nullopt, {C, ACK}, YmodemResult::Sent).written.size(), 1u);

    // The file loses its tail after its size was taken: the transfer fails, with CAN CAN.
    // (Larger than the stream's buffer, so that the second block really reads the file.)
    const std::string path = WriteTempFile("shrink.bin", Pattern(20000));
    Port port;
    port.replies = {C, ACK, C, ACK};
    const Outcome run = Send(port, path, -1, [&](YmodemEvent event) {
        if (event == YmodemEvent::FileOpened) {
            fs::resize_file(path, 1500);
        }
    });
    EXPECT_EQ(run.result, YmodemResult::FileReadFailed);
    EXPECT_EQ(port.written.size(), 1u + 1 + 2);
}

TEST(YmodemSender, HeaderNameFitsInOneShortBlock) {
    EXPECT_EQ(YmodemHeaderData("/a/k.bin", 1030), std::string("/a/k.bin\0"
                                                              "1030 ",
                                                              14));
    const std::string longDir = "/" + std::string(150, 'd') + "/kernel.img";
    EXPECT_EQ(YmodemHeaderData(longDir, 7), std::string("kernel.img\0"
                                                        "7 ",
                                                        13));
    const std::string hugeName = "/" + std::string(300, 'n');
    const std::string data = YmodemHeaderData(hugeName, 123456);
    EXPECT_EQ(data.size(), 128u);
    EXPECT_EQ(data.substr(data.size() - 8), std::string("\0"
                                                        "123456 ",
                                                        8));
}

TEST(YmodemProgressTexts, LabelResultsAndCancel) {
    EXPECT_EQ(YmodemProgressText(3, "/img/kernel.img", 3000, 3000), "[COM3]kernel.img(1K/3K)");
    EXPECT_EQ(YmodemProgressText(12, "C:\\img\\k.bin", 3 << 20, 0), "[COM12]k.bin(3073K/3073K)");
    // Result, its string, the English text.
    for (const auto& [result, text, english] :
         {std::tuple{YmodemResult::MaxErrors, 85, "Max error"},
          {YmodemResult::Timeout, 86, "Timeout"},
          {YmodemResult::UserCancel, 87, "User Cancel"},
          {YmodemResult::RemoteCancel, 88, "Cancel"}}) {
        EXPECT_EQ(YmodemResultText(0, result), TextOf(0, text));
        EXPECT_EQ(YmodemResultText(1000, result), TextOf(1000, text));
        EXPECT_EQ(YmodemResultText(1000, result), english);
    }
    for (int lang : {0, 1000}) {
        EXPECT_EQ(YmodemResultText(lang, YmodemResult::Sent), "");
        EXPECT_EQ(YmodemResultText(lang, YmodemResult::FileReadFailed), "");
    }
    EXPECT_EQ(YmodemResultText(0, YmodemResult::UserCancel), "用户取消下载");

    PortSlot slot;
    slot.portNumber = 5;
    const YmodemCallback progress = YmodemProgress(slot);
    YmodemProgressRecord record;
    EXPECT_EQ(progress(record, YmodemEvent::Waiting), 0);
    EXPECT_EQ(slot.status.Text(), "");  // nothing shown before a file is open
    record.fileName = "/x/kernel.img";
    record.total = 5000;
    record.remaining = 2952;
    EXPECT_EQ(progress(record, YmodemEvent::Waiting), 0);
    EXPECT_EQ(slot.status.Text(), "[COM5]kernel.img(3K/5K)");
    EXPECT_EQ(slot.status.Colour(), StatusColour::Black);
    EXPECT_EQ(slot.status.Progress().minimum, 0);
    EXPECT_EQ(slot.status.Progress().maximum, 5000);  // bytes
    EXPECT_EQ(slot.status.Progress().position, 2048);
    // A file beyond the bar's range counts in larger units, in proportion.
    record.total = std::uint64_t{5} << 32;
    record.remaining = std::uint64_t{3} << 32;
    EXPECT_EQ(progress(record, YmodemEvent::Waiting), 0);
    EXPECT_EQ(std::int64_t{slot.status.Progress().position} * 5,
              std::int64_t{slot.status.Progress().maximum} * 2);
    EXPECT_GT(slot.status.Progress().maximum, 1 << 29);
    slot.stop.Request();
    EXPECT_NE(progress(record, YmodemEvent::Waiting), 0);
    PortSlot other;
    other.transferCancel = true;
    EXPECT_NE(YmodemProgress(other)(record, YmodemEvent::Waiting), 0);
}

}  // namespace
}  // namespace termload
