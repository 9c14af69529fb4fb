// What the channel writes to LOG.txt over a port's life, and frame pieces written the way the
// frame sender writes them, with its purges, reaching a slowly reading terminal intact.
#include <regex>
#include <thread>

#include "channels_pty_peer.h"

namespace termload::test {
namespace {

// The log split into lines; the time stamp of each stamped line is checked and removed.
std::vector<std::string> LogLines(const std::string& contents) {
    static const std::regex stamp(R"(^<\d{4}-\d{2}-\d{2} \d{2}:\d{2}:\d{2}> )");
    std::vector<std::string> lines;
    std::size_t start = 0;
    while (start < contents.size()) {
        const std::size_t end = contents.find('\n', start);
        std::string line = contents.substr(start, end - start);
        lines.push_back(
            std::regex_replace(line, stamp, "", std::regex_constants::format_first_only));
        start = end == std::string::npos ? contents.size() : end + 1;
    }
    return lines;
}

std::string AddressIn(const std::string& line, const std::string& prefix) {
    return line.rfind(prefix, 0) == 0
               ? line.substr(prefix.size(), line.find_first_of(". ", prefix.size()) - prefix.size())
               : "";
}

using ChannelTraceLog = OnePortTest;
using ChannelFramePieces = OnePortTest;

TEST_F(ChannelTraceLog, NormalModeLifeWritesTheKnownLines) {
    TraceLogForTest log;
    ASSERT_GT(handle = ComOpen(1, 115200, 8, 0, 0, 0, {}, true), 0);
    const std::string seventeen = Pattern(17);
    ASSERT_EQ(ComWrite(handle, seventeen.data(), 17), ChannelResult::Done);
    ASSERT_EQ(ComWrite(handle, "x", 0), ChannelResult::Done);  // logs nothing
    ASSERT_EQ(peer.Read(17), seventeen);
    peer.Write("abc");
    char buffer[16];
    std::uint32_t count = 10;
    ASSERT_EQ(ComRead(handle, buffer, &count), ChannelResult::Done);
    count = 10;
    ASSERT_EQ(ComRead(handle, buffer, &count), ChannelResult::Timeout);
    ComClose(handle);

    const auto lines = LogLines(log.Contents());
    ASSERT_EQ(lines.size(), 13u) << log.Contents();
    const std::string address = AddressIn(lines[0], "HeapAlloc ");
    EXPECT_FALSE(address.empty());
    EXPECT_EQ(
        lines,
        (std::vector<std::string>{
            "HeapAlloc " + address + "...", "COM1 opened(normal)...",
            "COM1 write request bytes(17)...", "00 01 02 03 04 05 06 07 08 09 0A 0B 0C 0D 0E 0F ",
            "10 ", "COM1 write succeed.\r", "", "COM1 read bytes(3) succeed.", "61 62 63 ",
            "COM1 read timeout.", "COM1 closed.", "HeapFree " + address + " OK!\r", ""}));
}

TEST_F(ChannelTraceLog, ConsoleModeLogsTheReaderThreadsWork) {
    TraceLogForTest log;
    std::atomic<std::uint32_t> received{0};
    handle = ComOpen(
        1, 115200, 8, 0, 0, 0,
        [&](ChannelHandle, const char*, std::uint32_t count) {
            return static_cast<int>(received += count);
        },
        true);
    ASSERT_GT(handle, 0);
    ASSERT_EQ(ComWrite(handle, "\r", 1), ChannelResult::Done);
    ASSERT_EQ(peer.Read(1), "\r");
    peer.Write("Board");
    WaitUntil([&] { return received >= 5; }, 5s);
    ComClose(handle);

    const auto lines = LogLines(log.Contents());
    ASSERT_EQ(lines.size(), 13u) << log.Contents();
    EXPECT_EQ(std::vector<std::string>(lines.begin() + 1, lines.begin() + 11),
              (std::vector<std::string>{
                  "COM1 opened(overlapped)...", "COM1 write request bytes(1)...", "0D ",
                  "COM1 write bytes(1) succeed.", "0D ", "COM1 write succeed.\r", "",
                  "COM1 read bytes(5) succeed.", "42 6F 61 72 64 ", "COM1 closed."}));
}

// 27 frames of 4173 bytes, each in 8 pieces of 512 bytes and one of 77, purged after the 4th and
// the 8th piece, to a terminal that takes 64 bytes at a time with a pause after each.
TEST_F(ChannelFramePieces, SlowReaderReceivesEveryByteDespiteThePurges) {
    constexpr std::size_t kFrameSize = 4173;
    constexpr int kFrames = 27;
    ASSERT_GT(handle = OpenPort(1), 0);

    std::string expected;
    for (int frame = 0; frame < kFrames; ++frame) {
        expected += Pattern(kFrameSize, static_cast<unsigned>(frame * 31));
    }
    std::string received;
    std::thread terminal([&] {
        while (received.size() < expected.size()) {
            const std::string part =
                peer.Read(std::min<std::size_t>(64, expected.size() - received.size()), 2s);
            if (part.empty()) {
                break;  // the writer is done, or stuck
            }
            received += part;
            std::this_thread::sleep_for(1ms);
        }
    });

    for (int frame = 0; frame < kFrames; ++frame) {
        const char* bytes = expected.data() + static_cast<std::size_t>(frame) * kFrameSize;
        for (int piece = 0; piece < 9; ++piece) {
            const std::uint32_t size = piece < 8 ? 512 : kFrameSize - 8 * 512;
            ASSERT_EQ(ComWrite(handle, bytes + piece * 512, size), ChannelResult::Done)
                << frame << "/" << piece;
            if (piece == 3 || piece == 7) {
                ComPurge(handle, PurgeKind::Both);
            }
        }
    }
    terminal.join();
    ComClose(handle);
    ASSERT_EQ(received.size(), expected.size());
    EXPECT_TRUE(received == expected);
}

}  // namespace
}  // namespace termload::test
