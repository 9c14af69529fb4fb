// The Windows serial backend on two COM ports joined by a pty pair (COM1 <-> COM2, set up by
// channels_wine_serial.sh under Wine), through the channel library's own calls: bytes arrive
// exactly, read time-outs end the read with what came, the console reader (WaitCommEvent)
// delivers, a purge drops only unread input, a close ends a pending wait at once, and the drain
// waits for a stalled line.
#include <chrono>
#include <condition_variable>
#include <future>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

#include <gtest/gtest.h>

#include "channels/port_map.h"
#include "channels/serial_backend.h"
#include "channels/serial_channel.h"
#include "support/files.h"

namespace termload::test {
namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

ChannelHandle OpenNormal(int port) {
    return ComOpen(port, 115200, 8, 0, 0, 0, {}, false);
}

bool WriteAll(ChannelHandle handle, const std::string& bytes) {
    for (std::size_t at = 0; at < bytes.size(); at += kChannelBufferSize) {
        const std::string piece = bytes.substr(at, kChannelBufferSize);
        if (ComWrite(handle, piece.data(), static_cast<std::uint32_t>(piece.size())) !=
            ChannelResult::Done) {
            return false;
        }
    }
    return true;
}

// Reads until `size` bytes have come or a read brings nothing.
std::string ReadUpTo(ChannelHandle handle, std::size_t size) {
    std::string got;
    char buffer[kChannelBufferSize + 1];
    while (got.size() < size) {
        std::uint32_t count = static_cast<std::uint32_t>(
            std::min<std::size_t>(size - got.size(), kChannelBufferSize));
        if (ComRead(handle, buffer, &count) != ChannelResult::Done || count == 0) {
            break;
        }
        EXPECT_EQ(buffer[count], '\0');
        got.append(buffer, count);
    }
    return got;
}

std::chrono::milliseconds Since(Clock::time_point start) {
    return std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start);
}

TEST(WineSerial, NormalModeMovesBytesExactlyWithTheReadTimeOutsAndPurge) {
    // The default table names the system's own ports.
    EXPECT_EQ(ResolveComPort(2), "\\\\.\\COM2");
    // Line settings go into the driver's state: framing, a rate without a standard constant,
    // each flow control, the driver's own; settings no UART has are refused.
    struct Line {
        int baud, bits, stopIndex, parityIndex, flowIndex;
        bool valid;
    };
    for (const Line line : {Line{9600, 7, 2, 2, 2, true}, Line{250000, 8, 0, 0, 1, true},
                            Line{115200, 5, 1, 3, 0, true}, Line{115200, 8, 0, 4, 7, true},
                            Line{115200, 8, 1, 0, 0, false}, Line{0, 8, 0, 0, 0, false},
                            Line{115200, 9, 0, 0, 0, false}}) {
        const ChannelHandle port = ComOpen(1, line.baud, line.bits, line.stopIndex,
                                           line.parityIndex, line.flowIndex, {}, false);
        EXPECT_EQ(port != 0, line.valid) << line.baud << " " << line.bits << line.stopIndex
                                         << line.parityIndex << " flow " << line.flowIndex;
        ComClose(port);
    }
    const ChannelHandle one = OpenNormal(1);
    const ChannelHandle two = OpenNormal(2);
    ASSERT_NE(one, 0);
    ASSERT_NE(two, 0);
    // One port belongs to one channel.
    EXPECT_EQ(OpenNormal(1), 0);

    // Several KiB, every byte value, both ways.
    const std::string block = PatternBytes(6000, 7);
    auto reading =
        std::async(std::launch::async, [two, &block] { return ReadUpTo(two, block.size()); });
    ASSERT_TRUE(WriteAll(one, block));
    EXPECT_EQ(reading.get(), block);
    ASSERT_TRUE(WriteAll(two, "back"));
    EXPECT_EQ(ReadUpTo(one, 4), "back");

    // Nothing comes: the read ends by its total time-out (2000 ms) with nothing.
    char buffer[kChannelBufferSize + 1];
    std::uint32_t count = 100;
    auto start = Clock::now();
    EXPECT_EQ(ComRead(one, buffer, &count), ChannelResult::Timeout);
    EXPECT_EQ(count, 0u);
    EXPECT_GE(Since(start), 1900ms);
    EXPECT_LT(Since(start), 10s);
    // Fewer bytes than asked: the read ends by the interval time-out after the last byte, well
    // before the total one, with what came.
    ASSERT_TRUE(WriteAll(two, "ten bytes!"));
    count = 100;
    start = Clock::now();
    EXPECT_EQ(ComRead(one, buffer, &count), ChannelResult::Done);
    EXPECT_EQ(std::string(buffer, count), "ten bytes!");
    EXPECT_LT(Since(start), 1800ms);

    // A purge of the receive side drops what was not read, not what comes after.
    ASSERT_TRUE(WriteAll(two, "stale"));
    std::this_thread::sleep_for(300ms);
    ComPurge(one, PurgeKind::Receive);
    ASSERT_TRUE(WriteAll(two, "fresh"));
    EXPECT_EQ(ReadUpTo(one, 5), "fresh");
    // A purge of both sides after a write drops none of the written bytes.
    const std::string last = PatternBytes(2048, 9);
    ASSERT_TRUE(WriteAll(two, last));
    ComPurge(two, PurgeKind::Both);
    EXPECT_EQ(ReadUpTo(one, last.size()), last);

    // Closing ends a read that is waiting, long before its time-out.
    auto waiting = std::async(std::launch::async, [one] {
        char bytes[16];
        std::uint32_t size = 10;
        return ComRead(one, bytes, &size);
    });
    std::this_thread::sleep_for(300ms);
    start = Clock::now();
    ComClose(one);
    ASSERT_EQ(waiting.wait_for(10s), std::future_status::ready);
    EXPECT_LT(Since(start), 1500ms);
    EXPECT_NE(waiting.get(), ChannelResult::Done);
    ComClose(two);
}

TEST(WineSerial, ConsoleModeDeliversWhatArrivesAndClosesWhileWaiting) {
    std::mutex mutex;
    std::condition_variable changed;
    std::string received;
    bool terminated = true;
    const ChannelHandle console = ComOpen(
        2, 115200, 8, 0, 0, 0,
        [&](ChannelHandle, const char* bytes, std::uint32_t count) {
            std::lock_guard lock(mutex);
            terminated =
                terminated && count >= 1 && count <= kChannelBufferSize && bytes[count] == '\0';
            received.append(bytes, count);
            changed.notify_all();
            return 0;
        },
        false);
    ASSERT_NE(console, 0);
    const ChannelHandle peer = OpenNormal(1);
    ASSERT_NE(peer, 0);
    // Reads are refused in console mode.
    char buffer[8];
    std::uint32_t count = 4;
    EXPECT_EQ(ComRead(console, buffer, &count), ChannelResult::Failed);

    const std::string bytes = PatternBytes(5000, 3);
    ASSERT_TRUE(WriteAll(peer, bytes.substr(0, 10)));
    std::this_thread::sleep_for(200ms);  // the reader goes back to waiting in between
    ASSERT_TRUE(WriteAll(peer, bytes.substr(10)));
    {
        std::unique_lock lock(mutex);
        changed.wait_for(lock, 10s, [&] { return received.size() >= bytes.size(); });
        EXPECT_EQ(received, bytes);
        EXPECT_TRUE(terminated);
    }
    // The console port writes too.
    ASSERT_TRUE(WriteAll(console, "ok"));
    EXPECT_EQ(ReadUpTo(peer, 2), "ok");

    // The reader waits in WaitCommEvent with nothing coming: close ends it at once.
    std::this_thread::sleep_for(300ms);
    EXPECT_EQ(LiveReaderThreadCount(), 1u);
    const auto start = Clock::now();
    ComClose(console);
    EXPECT_LT(Since(start), 1500ms);
    EXPECT_EQ(LiveReaderThreadCount(), 0u);
    ComClose(peer);
}

// A pty hides its queue (it always reports 0 queued), so the drain can see a stalled line only
// through the write the port still holds: with the peer reading nothing the drain runs out of
// time; once the peer reads, it ends.
TEST(WineSerial, DrainTimesOutOnAStalledLineAndEndsOnceThePeerReads) {
    std::error_code error;
    std::unique_ptr<SerialBackend> backend = OpenSerialBackend("\\\\.\\COM1", error);
    ASSERT_TRUE(backend) << error.message();
    SerialBackend& line = *backend;
    SerialPort port(std::move(backend));
    const char* call = "";
    ASSERT_FALSE(port.Configure({}, call)) << call;
    const ChannelHandle peer = OpenNormal(2);
    ASSERT_NE(peer, 0);

    // Fill the pty until the port holds a write it cannot hand on.
    const std::string chunk = PatternBytes(kChannelBufferSize, 5);
    std::size_t written = 0;
    for (int tries = 0; tries < 200; ++tries) {
        const PortResult taken = line.WriteNow(chunk.data(), chunk.size());
        ASSERT_EQ(taken.status, PortStatus::kOk);
        written += taken.bytes;
        if (taken.bytes == 0) {
            break;
        }
        std::this_thread::sleep_for(5ms);
    }
    ASSERT_GT(written, 0u);
    auto start = Clock::now();
    EXPECT_EQ(port.DrainOutput(500ms), PortStatus::kTimedOut);
    EXPECT_GE(Since(start), 450ms);

    const std::string got = ReadUpTo(peer, written);
    EXPECT_EQ(got.size(), written);
    start = Clock::now();
    EXPECT_EQ(port.DrainOutput(5s), PortStatus::kOk);
    EXPECT_LT(Since(start), 4s);
    port.Shutdown();
    ComClose(peer);
}

}  // namespace
}  // namespace termload::test
