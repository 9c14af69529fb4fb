// Console-mode channels on real pseudo-terminals: the reader thread delivers what arrives while
// writes from other threads go out, survives a throwing callback and a vanished terminal, and
// ends promptly on close.
#include <sys/syscall.h>
#include <unistd.h>

#include <condition_variable>
#include <fstream>
#include <mutex>
#include <sstream>
#include <thread>

#include "channels_pty_peer.h"

namespace termload::test {
namespace {

// Collects the deliveries of one console-mode port.
class Deliveries {
  public:
    ReceiveCallback Callback() {
        return [this](ChannelHandle handle, const char* bytes, std::uint32_t count) {
            std::lock_guard lock(mutex_);
            handle_ = handle;
            readerThread_ = static_cast<pid_t>(syscall(SYS_gettid));
            sizes_.push_back(count);
            terminated_ = terminated_ && bytes[count] == '\0';
            text_.append(bytes, count);
            changed_.notify_all();
            return 0;
        };
    }
    // Waits until `size` bytes have come, or `limit` has passed.
    std::string WaitFor(std::size_t size, std::chrono::milliseconds limit = 5s) {
        std::unique_lock lock(mutex_);
        changed_.wait_for(lock, limit, [&] { return text_.size() >= size; });
        return text_;
    }
    // One of the fields below (the reader thread writes them), read under the lock.
    template <typename T>
    T Get(T Deliveries::*field) {
        std::lock_guard lock(mutex_);
        return this->*field;
    }

    std::string text_;
    std::vector<std::uint32_t> sizes_;
    bool terminated_ = true;
    ChannelHandle handle_ = 0;
    pid_t readerThread_ = 0;

  private:
    std::mutex mutex_;
    std::condition_variable changed_;
};

// CPU time a thread of this process has used so far.
std::chrono::milliseconds ThreadCpuTime(pid_t thread) {
    std::ifstream stat("/proc/self/task/" + std::to_string(thread) + "/stat");
    std::string all((std::istreambuf_iterator<char>(stat)), std::istreambuf_iterator<char>());
    // Fields after the command name in parentheses; utime and stime are fields 14 and 15.
    std::istringstream rest(all.substr(all.rfind(')') + 2));
    std::string field;
    long long ticks = 0;
    for (int index = 3; index <= 15 && rest >> field; ++index) {
        if (index >= 14) {
            ticks += std::stoll(field);
        }
    }
    return std::chrono::milliseconds(ticks * 1000 / sysconf(_SC_CLK_TCK));
}

class ChannelConsoleMode : public OnePortTest {
  protected:
    Deliveries deliveries;
};

TEST_F(ChannelConsoleMode, DeliversEveryByteInOrderInBoundedZeroTerminatedPieces) {
    ASSERT_GT(handle = OpenPort(1, deliveries.Callback()), 0);
    EXPECT_EQ(LiveReaderThreadCount(), 1u);

    peer.Write("ram OK\r\n");
    EXPECT_EQ(deliveries.WaitFor(8), "ram OK\r\n");
    EXPECT_EQ(deliveries.Get(&Deliveries::handle_), handle);

    // A burst several times the 2048-byte bound arrives whole, over several deliveries.
    const std::string burst = Pattern(20000, 3);
    peer.Write(burst);
    const std::string all = deliveries.WaitFor(8 + burst.size());
    EXPECT_EQ(all, "ram OK\r\n" + burst);
    const auto sizes = deliveries.Get(&Deliveries::sizes_);
    EXPECT_GE(sizes.size(), 1 + burst.size() / kChannelBufferSize);
    for (std::uint32_t size : sizes) {
        EXPECT_GE(size, 1u);
        EXPECT_LE(size, kChannelBufferSize);
    }
    EXPECT_TRUE(deliveries.Get(&Deliveries::terminated_));

    // Reads belong to the reader thread: ComRead refuses the port, even for 0 bytes.
    char buffer[8];
    std::uint32_t count = 0;
    EXPECT_EQ(ComRead(handle, buffer, &count), ChannelResult::Failed);
    count = 4;
    EXPECT_EQ(ComRead(handle, buffer, &count), ChannelResult::Failed);

    ComClose(handle);
    EXPECT_EQ(LiveReaderThreadCount(), 0u);
}

TEST_F(ChannelConsoleMode, WritesFromOtherThreadsGoOutWhileTheReaderWaits) {
    ASSERT_GT(handle = OpenPort(1, deliveries.Callback()), 0);

    // Typed commands, one byte at a time as the boot console takes them.
    for (char c : std::string("boot\r")) {
        EXPECT_EQ(ComWrite(handle, &c, 1), ChannelResult::Done);
    }
    EXPECT_EQ(peer.Read(5), "boot\r");
    const std::string tooMany = Pattern(kChannelBufferSize + 1);
    EXPECT_EQ(ComWrite(handle, tooMany.data(), kChannelBufferSize + 1), ChannelResult::Failed);

    // Four writers at once, each with whole 2048-byte writes, while the terminal talks back:
    // writes are not mixed with one another and receiving goes on.
    std::vector<std::thread> writers;
    for (unsigned w = 0; w < 4; ++w) {
        writers.emplace_back([this, w] {
            const std::string block(kChannelBufferSize, static_cast<char>('A' + w));
            for (int i = 0; i < 5; ++i) {
                EXPECT_EQ(ComWrite(handle, block.data(), kChannelBufferSize), ChannelResult::Done);
            }
        });
    }
    const std::string answer = Pattern(6000, 11);
    peer.Write(answer);
    const std::string sent = peer.Read(4 * 5 * kChannelBufferSize, 10s);
    for (auto& writer : writers) {
        writer.join();
    }
    ASSERT_EQ(sent.size(), 4u * 5 * kChannelBufferSize);
    for (std::size_t at = 0; at < sent.size(); at += kChannelBufferSize) {
        EXPECT_EQ(sent.substr(at, kChannelBufferSize), std::string(kChannelBufferSize, sent[at]));
    }
    EXPECT_EQ(deliveries.WaitFor(answer.size()), answer);
    ComClose(handle);
}

// The terminal does not read: a write runs out of its 4000 ms without losing what was reported
// written before it, and a write waiting on a full port fails when another thread closes
// the channel.
TEST_F(ChannelConsoleMode, StalledWritesTimeOutOrEndOnCloseAndLoseNothing) {
    ASSERT_GT(handle = OpenPort(1, deliveries.Callback()), 0);

    std::string written;
    std::string lastBlock;
    ChannelResult result = ChannelResult::Done;
    for (unsigned i = 0; i < 100 && result == ChannelResult::Done; ++i) {
        lastBlock = Pattern(kChannelBufferSize, i);
        result = ComWrite(handle, lastBlock.data(), kChannelBufferSize);
        if (result == ChannelResult::Done) {
            written += lastBlock;
        }
    }
    EXPECT_EQ(result, ChannelResult::Timeout);

    // The terminal reads again: every byte reported written arrives, then at most a part of
    // the write that timed out.
    const std::string received = peer.ReadUntilQuiet();
    ASSERT_GE(received.size(), written.size());
    EXPECT_EQ(received.substr(0, written.size()), written);
    const std::string tail = received.substr(written.size());
    EXPECT_EQ(tail, lastBlock.substr(0, tail.size()));
    EXPECT_EQ(ComWrite(handle, "ok", 2), ChannelResult::Done);
    EXPECT_EQ(peer.Read(2), "ok");

    // Fill the port again; the write left waiting ends when the channel is closed.
    ChannelResult stoppedResult = ChannelResult::Done;
    std::thread stalled([&] {
        const std::string block = Pattern(kChannelBufferSize, 99);
        while (stoppedResult == ChannelResult::Done) {
            stoppedResult = ComWrite(handle, block.data(), kChannelBufferSize);
        }
    });
    std::this_thread::sleep_for(500ms);
    const auto closing = Clock::now();
    ComClose(handle);
    stalled.join();
    EXPECT_EQ(stoppedResult, ChannelResult::Failed);
    EXPECT_LT(Clock::now() - closing, 2s);
    EXPECT_EQ(LiveReaderThreadCount(), 0u);
}

TEST_F(ChannelConsoleMode, ThrowingCallbackIsLoggedAndReceivingGoesOn) {
    TraceLogForTest log;
    auto collect = deliveries.Callback();
    std::atomic<int> calls{0};
    handle = OpenPort(1, [&](ChannelHandle h, const char* bytes, std::uint32_t count) {
        collect(h, bytes, count);
        if (++calls == 1) {
            throw std::runtime_error("display gone");
        }
        return 0;
    });
    ASSERT_GT(handle, 0);

    peer.Write("first");
    EXPECT_EQ(deliveries.WaitFor(5), "first");
    peer.Write("second");
    EXPECT_EQ(deliveries.WaitFor(11), "firstsecond");
    EXPECT_EQ(ComWrite(handle, "x", 1), ChannelResult::Done);
    ComClose(handle);

    // With tracing off that line is all the log ever gets.
    const std::string contents = log.Contents();
    const std::string line = "> lpfnCallBack() failed!\n";
    ASSERT_EQ(contents.size(), 20 + line.size()) << contents;
    EXPECT_EQ(contents.substr(20), line);
}

TEST_F(ChannelConsoleMode, VanishedTerminalFailsWritesAndLeavesTheReaderIdle) {
    ASSERT_GT(handle = OpenPort(1, deliveries.Callback()), 0);
    peer.Write("hi");
    ASSERT_EQ(deliveries.WaitFor(2), "hi");
    const pid_t reader = deliveries.Get(&Deliveries::readerThread_);

    peer.HangUp();
    const auto start = Clock::now();
    EXPECT_EQ(ComWrite(handle, "x", 1), ChannelResult::Failed);
    EXPECT_LT(Clock::now() - start, 2s);

    // The thread waits to be closed without spinning: over a second it uses next to no CPU.
    std::this_thread::sleep_for(100ms);
    const auto cpuBefore = ThreadCpuTime(reader);
    std::this_thread::sleep_for(1s);
    EXPECT_LT(ThreadCpuTime(reader) - cpuBefore, 200ms);
    EXPECT_EQ(LiveReaderThreadCount(), 1u);
    EXPECT_EQ(ComWrite(handle, "x", 1), ChannelResult::Failed);

    ComClose(handle);
    EXPECT_EQ(LiveReaderThreadCount(), 0u);
}

TEST_F(ChannelConsoleMode, CallbackMayWriteToAndCloseItsOwnChannel) {
    const std::size_t descriptorsBefore = OpenDescriptorCount();
    std::atomic<ChannelResult> writeResult{ChannelResult::Failed};  // until the callback writes
    std::atomic<bool> closed{false};
    handle = OpenPort(1, [&](ChannelHandle h, const char*, std::uint32_t) {
        writeResult = ComWrite(h, "ack", 3);
        ComClose(h);
        closed = true;
        return 0;
    });
    ASSERT_GT(handle, 0);
    peer.Write("bye");
    EXPECT_EQ(peer.Read(3), "ack");
    // The reader thread released the port as it ended.
    WaitUntil(
        [&] {
            return LiveReaderThreadCount() == 0 && closed &&
                   OpenDescriptorCount() == descriptorsBefore;
        },
        5s);
    EXPECT_EQ(writeResult.load(), ChannelResult::Done);
    EXPECT_EQ(LiveReaderThreadCount(), 0u);
    EXPECT_EQ(RegisteredChannelCount(), 0u);
    EXPECT_EQ(ComWrite(handle, "x", 1), ChannelResult::Failed);
    EXPECT_EQ(OpenDescriptorCount(), descriptorsBefore);
}

// Many ports at once, with traffic both ways, closed from another thread mid-stream, as the
// stop of a multi-port download does.
TEST_F(ChannelConsoleMode, ManyPortsCloseCleanlyUnderTraffic) {
    constexpr int kPorts = 9;
    std::vector<std::unique_ptr<PtyPeer>> peers;
    std::vector<const PtyPeer*> peerList;
    for (int i = 0; i < kPorts; ++i) {
        peers.push_back(std::make_unique<PtyPeer>());
        peerList.push_back(peers.back().get());
    }
    PortMapForTest ports(peerList);  // in place of the fixture's
    const std::size_t descriptorsBefore = OpenDescriptorCount();

    std::vector<std::unique_ptr<Deliveries>> received;
    std::vector<ChannelHandle> handles;
    for (int i = 0; i < kPorts; ++i) {
        received.push_back(std::make_unique<Deliveries>());
        handles.push_back(OpenPort(i + 1, received.back()->Callback()));
        ASSERT_GT(handles.back(), 0);
    }
    EXPECT_EQ(LiveReaderThreadCount(), static_cast<std::size_t>(kPorts));

    std::atomic<bool> running{true};
    std::vector<std::thread> traffic;
    for (int i = 0; i < kPorts; ++i) {
        traffic.emplace_back([&, i] {
            const std::string chunk = Pattern(300, static_cast<unsigned>(i));
            while (running) {
                // Once the channels are shut, nobody reads the slave side: a write may then wait
                // for room that never comes.
                if (ComWrite(handles[static_cast<std::size_t>(i)], chunk.data(), 300) !=
                        ChannelResult::Done ||
                    !peers[static_cast<std::size_t>(i)]->WriteWithin(chunk, 500ms)) {
                    break;
                }
                peers[static_cast<std::size_t>(i)]->Read(300, 100ms);
            }
        });
    }
    std::this_thread::sleep_for(300ms);
    const auto start = Clock::now();
    ChannelLibShutdown();
    EXPECT_LT(Clock::now() - start, 3s);
    running = false;
    for (auto& thread : traffic) {
        thread.join();
    }
    EXPECT_EQ(LiveReaderThreadCount(), 0u);
    EXPECT_EQ(RegisteredChannelCount(), 0u);
    EXPECT_EQ(OpenDescriptorCount(), descriptorsBefore);
}

}  // namespace
}  // namespace termload::test
