// Normal-mode channels on real pseudo-terminals: blocking reads and writes with the port's
// time-outs, opening with every kind of setting, and what happens when the terminal goes away.
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <termios.h>
#include <unistd.h>

#include <memory>
#include <optional>
#include <thread>

#include "channels_pty_peer.h"

namespace termload::test {
namespace {

std::chrono::milliseconds Since(Clock::time_point start) {
    return std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start);
}

using ChannelNormalMode = OnePortTest;

TEST_F(ChannelNormalMode, ReadsHonourCountIntervalAndTotalTimeOuts) {
    ASSERT_GT(handle = OpenPort(1), 0);

    // A count of 0 succeeds without waiting for anything.
    char buffer[kChannelBufferSize + 1];
    std::uint32_t count = 0;
    EXPECT_EQ(ComRead(handle, buffer, &count), ChannelResult::Done);
    EXPECT_EQ(count, 0u);

    // A request beyond 2048 bytes is cut to 2048; the rest stays for the next read.
    const std::string burst = Pattern(3000);
    peer.Write(burst);
    std::vector<char> big(5000, 'x');
    count = 4999;
    ASSERT_EQ(ComRead(handle, big.data(), &count), ChannelResult::Done);
    ASSERT_EQ(count, kChannelBufferSize);
    EXPECT_EQ(std::string(big.data(), count), burst.substr(0, count));
    EXPECT_EQ(big[count], '\0');
    count = 2000;
    ASSERT_EQ(ComRead(handle, buffer, &count), ChannelResult::Done);
    EXPECT_EQ(std::string(buffer, count), burst.substr(kChannelBufferSize));

    // Ten bytes and then silence: the 250 ms interval ends the read long before the total.
    peer.Write("0123456789");
    auto start = Clock::now();
    count = 100;
    ASSERT_EQ(ComRead(handle, buffer, &count), ChannelResult::Done);
    EXPECT_LT(Since(start), 1500ms);
    EXPECT_EQ(std::string(buffer, count), "0123456789");
    EXPECT_EQ(buffer[count], '\0');

    // Nothing at all: time-out after the whole 2000 ms, count 0.
    start = Clock::now();
    count = 100;
    EXPECT_EQ(ComRead(handle, buffer, &count), ChannelResult::Timeout);
    EXPECT_EQ(count, 0u);
    EXPECT_GE(Since(start), 1900ms);
    EXPECT_LT(Since(start), 6000ms);

    // A byte every 100 ms never lets the interval run out: the total ends the read, with the
    // bytes that came.
    std::atomic<bool> trickling{true};
    std::thread trickle([&] {
        while (trickling) {
            peer.Write("t");
            std::this_thread::sleep_for(100ms);
        }
    });
    start = Clock::now();
    count = 1000;
    EXPECT_EQ(ComRead(handle, buffer, &count), ChannelResult::Done);
    const auto took = Since(start);
    trickling = false;
    trickle.join();
    EXPECT_GE(took, 1900ms);
    EXPECT_LT(took, 6000ms);
    EXPECT_GE(count, 5u);
    EXPECT_EQ(std::string(buffer, count), std::string(count, 't'));

    ComClose(handle);
}

TEST_F(ChannelNormalMode, WritesCheckTheirSizeAndDeliverEveryByte) {
    ASSERT_GT(handle = OpenPort(1), 0);

    EXPECT_EQ(ComWrite(handle, "x", 0), ChannelResult::Done);
    EXPECT_EQ(ComWrite(0, "x", 0),
              ChannelResult::Done);  // a write of nothing succeeds before the handle is looked at
    const std::string tooMany = Pattern(kChannelBufferSize + 1);
    EXPECT_EQ(ComWrite(handle, tooMany.data(), kChannelBufferSize + 1), ChannelResult::Failed);
    EXPECT_EQ(ComWrite(handle + 1000, "x", 1), ChannelResult::Failed);

    const std::string full = Pattern(kChannelBufferSize, 7);
    EXPECT_EQ(ComWrite(handle, full.data(), kChannelBufferSize), ChannelResult::Done);
    EXPECT_EQ(peer.Read(full.size()), full);

    ComClose(handle);
}

// A download opens the port afresh for every file: the bytes the last handle wrote and the
// terminal has not read yet must survive the next open, while stale input is dropped.
TEST_F(ChannelNormalMode, ReopenKeepsUnreadOutputAndDropsStaleInput) {
    const std::string tail = Pattern(3 * kChannelBufferSize, 3);
    ASSERT_GT(handle = OpenPort(1), 0);
    for (std::size_t at = 0; at < tail.size(); at += kChannelBufferSize) {
        ASSERT_EQ(ComWrite(handle, tail.data() + at, kChannelBufferSize), ChannelResult::Done);
    }
    ComClose(handle);
    peer.Write("stale");
    std::this_thread::sleep_for(50ms);

    handle = OpenPort(1);
    ASSERT_GT(handle, 0);
    EXPECT_EQ(peer.Read(tail.size()), tail);
    char buffer[16];
    std::uint32_t count = sizeof buffer - 1;
    EXPECT_NE(ComRead(handle, buffer, &count), ChannelResult::Done) << std::string(buffer, count);
    ComClose(handle);
}

// The terminal stops reading: writes run out of time, and whatever a write reported as written
// still reaches the terminal once it reads again.
TEST_F(ChannelNormalMode, WriteTimesOutWithoutLosingEarlierBytes) {
    ASSERT_GT(handle = OpenPort(1), 0);

    std::string written;
    ChannelResult result = ChannelResult::Done;
    Clock::time_point lastStart;
    for (unsigned i = 0; i < 200 && result == ChannelResult::Done; ++i) {
        const std::string piece = Pattern(1024, i);
        lastStart = Clock::now();
        result = ComWrite(handle, piece.data(), static_cast<std::uint32_t>(piece.size()));
        if (result == ChannelResult::Done) {
            written += piece;
        }
    }
    // Nothing taken: a time-out; some taken: a failure. Either way after the 2000 ms.
    EXPECT_NE(result, ChannelResult::Done);
    EXPECT_GE(Since(lastStart), 1900ms);

    ComPurge(handle, PurgeKind::Both);
    const std::string received = peer.ReadUntilQuiet();
    ASSERT_GE(received.size(), written.size());
    EXPECT_EQ(received.substr(0, written.size()), written);
    ComClose(handle);
}

TEST_F(ChannelNormalMode, OpenAppliesSettingsAndRejectsWhatTheLineCannotDo) {
    TraceLogForTest log;
    PortMapForTest withCom9({&peer}, {"COM9=/dev/termload-no-such-device"});
    const auto lineSettings = [this] {
        termios tio{};
        tcgetattr(peer.SlaveFd(), &tio);
        return tio;
    };

    // Every rate of the main window's list opens, the odd ones included.
    for (int rate : {110, 300, 600, 1200, 2400, 4800, 9600, 14400, 19200, 38400, 56000, 57600,
                     115200, 128000, 256000}) {
        EXPECT_GT(handle = ComOpen(1, rate, 8, 0, 0, 0, {}, false), 0) << rate;
        ComClose(handle);
    }

    // 7 data bits, mark parity, 2 stop bits, Xon/Xoff. (A pty keeps its characters 8 bits
    // wide without parity whatever it is told; the rest of the framing it stores.)
    handle = ComOpen(1, 9600, 7, 2, 3, 1, {}, false);
    ASSERT_GT(handle, 0);
    termios tio = lineSettings();
    EXPECT_EQ(tio.c_cflag & (PARODD | CMSPAR | CSTOPB),
              static_cast<tcflag_t>(PARODD | CMSPAR | CSTOPB));
    EXPECT_EQ(tio.c_iflag & (IXON | IXOFF), static_cast<tcflag_t>(IXON | IXOFF));
    EXPECT_EQ(cfgetospeed(&tio), static_cast<speed_t>(B9600));
    ComClose(handle);

    // Flow-control index 3 keeps the flow settings the driver had; index 0 clears them.
    handle = ComOpen(1, 9600, 8, 0, 0, 3, {}, false);
    ASSERT_GT(handle, 0);
    EXPECT_EQ(lineSettings().c_iflag & (IXON | IXOFF), static_cast<tcflag_t>(IXON | IXOFF));
    ComClose(handle);
    handle = ComOpen(1, 9600, 8, 0, 2, 0, {}, false);
    ASSERT_GT(handle, 0);
    tio = lineSettings();
    EXPECT_EQ(tio.c_iflag & (IXON | IXOFF), 0u);
    EXPECT_EQ(tio.c_cflag & (PARODD | CMSPAR | CSTOPB), 0u);
    ComClose(handle);

    // 1.5 stop bits exist only with 5-bit characters, as on a UART.
    handle = ComOpen(1, 9600, 5, 1, 0, 0, {}, false);
    EXPECT_GT(handle, 0);
    EXPECT_EQ(lineSettings().c_cflag & CSTOPB, static_cast<tcflag_t>(CSTOPB));
    ComClose(handle);
    // Like every open failure it writes no trace line, even with the trace on.
    const std::string beforeRefusal = log.Contents();
    EXPECT_EQ(ComOpen(1, 9600, 8, 1, 0, 0, {}, true), 0);
    EXPECT_EQ(log.Contents(), beforeRefusal);
    // Other settings no line can take fail the open too.
    EXPECT_EQ(ComOpen(1, 0, 8, 0, 0, 0, {}, false), 0);
    EXPECT_EQ(ComOpen(1, -9600, 8, 0, 0, 0, {}, false), 0);
    EXPECT_EQ(ComOpen(1, 9600, 4, 0, 0, 0, {}, false), 0);
    EXPECT_EQ(ComOpen(1, 9600, 8, 3, 0, 0, {}, false), 0);
    EXPECT_EQ(ComOpen(1, 9600, 8, 0, 5, 0, {}, false), 0);

    // A COM number without a device, or a device that is missing, fails without a trace line.
    const std::string beforeMissing = log.Contents();
    EXPECT_EQ(ComOpen(2, 9600, 8, 0, 0, 0, {}, true), 0);
    EXPECT_EQ(ComOpen(9, 9600, 8, 0, 0, 0, {}, true), 0);
    EXPECT_EQ(ComOpen(0, 9600, 8, 0, 0, 0, {}, true), 0);
    EXPECT_EQ(log.Contents(), beforeMissing);

    // One channel per port: a second open of a port in use fails.
    handle = OpenPort(1);
    ASSERT_GT(handle, 0);
    EXPECT_EQ(OpenPort(1), 0);
    ComClose(handle);
    EXPECT_EQ(RegisteredChannelCount(), 0u);
}

TEST_F(ChannelNormalMode, TerminalThatGoesAwayFailsReadsWritesAndPurges) {
    ASSERT_GT(handle = OpenPort(1), 0);
    peer.Write("last words");
    peer.HangUp();

    char buffer[64];
    std::uint32_t count = sizeof buffer - 1;
    const auto start = Clock::now();
    // What arrived before the hang-up may still be read; after that, failure.
    ChannelResult result = ComRead(handle, buffer, &count);
    if (result == ChannelResult::Done) {
        EXPECT_EQ(std::string(buffer, count), "last words");
        count = sizeof buffer - 1;
        result = ComRead(handle, buffer, &count);
    }
    EXPECT_EQ(result, ChannelResult::Failed);
    EXPECT_EQ(ComWrite(handle, "hello", 5), ChannelResult::Failed);
    ComPurge(handle, PurgeKind::Both);
    EXPECT_LT(Since(start), 1500ms);
    ComClose(handle);
}

TEST_F(ChannelNormalMode, CloseIsHarmlessTwiceAndLeavesNothingOpen) {
    const std::size_t descriptorsBefore = OpenDescriptorCount();

    for (int round = 0; round < 3; ++round) {
        ASSERT_GT(handle = OpenPort(1), 0);
        ComClose(handle);
        ComClose(handle);
        // A closed handle is simply unknown, and is never handed out again.
        char buffer[4];
        std::uint32_t count = 3;
        EXPECT_EQ(ComRead(handle, buffer, &count), ChannelResult::Failed);
        EXPECT_EQ(ComWrite(handle, "x", 1), ChannelResult::Failed);
        ComPurge(handle, PurgeKind::Both);
        const ChannelHandle next = OpenPort(1);
        EXPECT_GT(next, handle);
        ComClose(next);
    }
    ComClose(0);
    ComClose(-5);
    EXPECT_EQ(OpenDescriptorCount(), descriptorsBefore);

    // Shutdown closes whatever is still open.
    ASSERT_GT(OpenPort(1), 0);
    ChannelLibShutdown();
    EXPECT_EQ(RegisteredChannelCount(), 0u);
    EXPECT_EQ(OpenDescriptorCount(), descriptorsBefore);
}

// A blocked read ends when another thread closes its channel.
TEST_F(ChannelNormalMode, CloseFromAnotherThreadEndsAWaitingRead) {
    ASSERT_GT(handle = OpenPort(1), 0);

    std::optional<ChannelResult> result;
    std::thread reader([&] {
        char buffer[16];
        std::uint32_t count = 15;
        result = ComRead(handle, buffer, &count);
    });
    std::this_thread::sleep_for(300ms);
    const auto start = Clock::now();
    ComClose(handle);
    reader.join();
    EXPECT_EQ(result, ChannelResult::Failed);
    EXPECT_LT(Since(start), 1500ms);
}

// A node keeps its identity through what udev does to it on a "change" event (permissions and
// times set again); one made anew under the same name is another device, also where the number
// comes back: a pty number handed out again, a /dev/ttyACM0 made again.
TEST(SerialDeviceIdentity, SurvivesTouchAndChmodButNotANodeMadeAgain) {
    auto peer = std::make_unique<PtyPeer>();
    const std::string path = peer->SlavePath();
    const std::string first = SerialDeviceIdentity(path);
    ASSERT_FALSE(first.empty());
    ASSERT_EQ(::utimensat(AT_FDCWD, path.c_str(), nullptr, 0), 0);
    EXPECT_EQ(SerialDeviceIdentity(path), first) << "touch";
    ASSERT_EQ(::chmod(path.c_str(), 0660), 0);
    ASSERT_EQ(::chown(path.c_str(), ::getuid(), ::getgid()), 0);
    EXPECT_EQ(SerialDeviceIdentity(path), first) << "chmod, chown";
    const ChannelHandle handle = ComOpenDevice(1, path, 115200, 8, 0, 0, 0, {}, false);
    ASSERT_GT(handle, 0);
    EXPECT_EQ(ComDeviceIdentity(handle), first) << "the open port is the node's device";
    ComClose(handle);

    // The pair closed and another made with the same number; lower free numbers are held until
    // it comes.
    peer.reset();
    std::vector<std::unique_ptr<PtyPeer>> held;
    while (held.size() < 64 && (held.empty() || held.back()->SlavePath() != path)) {
        held.push_back(std::make_unique<PtyPeer>());
    }
    ASSERT_EQ(held.back()->SlavePath(), path) << "the number was not handed out again";
    EXPECT_NE(SerialDeviceIdentity(path), first) << "a pty number reused";

    // A node in a file system that gives every new node a new inode, as devtmpfs does.
    const ScratchDir dir("channels-node");
    const std::string node = (dir / "ttyACM0").string();
    const dev_t device = ::makedev(1, 3);
    if (::mknod(node.c_str(), S_IFCHR | 0660, device) != 0) {
        GTEST_SKIP() << "making a device node needs CAP_MKNOD";
    }
    const std::string made = SerialDeviceIdentity(node);
    ASSERT_EQ(::utimensat(AT_FDCWD, node.c_str(), nullptr, 0), 0);
    EXPECT_EQ(SerialDeviceIdentity(node), made) << "touch";
    ASSERT_EQ(::unlink(node.c_str()), 0);
    ASSERT_EQ(::mknod(node.c_str(), S_IFCHR | 0660, device), 0);
    EXPECT_NE(SerialDeviceIdentity(node), made) << "unlink and mknod";
}

}  // namespace
}  // namespace termload::test
