// The YMODEM sender on real ptys: into lrzsz's rb through termsim's paced relay, and into
// termsim's boot loader with its faults, a hang-up, silence and the operator's stop.
#include <gtest/gtest.h>

#include <atomic>
#include <csignal>
#include <future>

#include "channels/port_map.h"
#include "channels/serial_channel.h"
#include "engine/ymodem_progress.h"
#include "engine/ymodem_sender.h"
#include "engine/ymodem_serial_port.h"
#include "support/files.h"
#include "support/lrzsz.h"
#include "support/process.h"
#include "support/termsim.h"

namespace termload {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;
using test::PatternBytes;
using test::ReadFile;
using test::Termsim;
using SteadyClock = std::chrono::steady_clock;

// The sender on COM1 of the current port map, on a thread of its own, cancelled by `cancel`.
class SenderRun {
  public:
    SenderRun(const std::string& path, std::atomic<bool>& cancel, int comPort = 1)
        : cancel_(cancel) {
        channel_ = ComOpen(comPort, 115200, 8, 0, 0, 0, {}, false);
        if (channel_ == 0) {
            return;
        }
        result_ = std::async(std::launch::async, [this, path] {
            SerialYmodemPort port(channel_);
            YModem sender(port, channel_, [this](const YmodemProgressRecord& record, YmodemEvent) {
                sent_ = record.total - record.remaining;
                return cancel_.load() ? 1 : 0;
            });
            return sender.Transfer(path, 0);
        });
    }
    ~SenderRun() {
        cancel_ = true;
        if (result_.valid()) {
            result_.wait();
        }
        ComClose(channel_);
    }
    bool Open() const { return channel_ != 0; }
    ChannelHandle Channel() const { return channel_; }
    std::uint64_t Sent() const { return sent_; }
    // The result, or nothing while the sender still runs after `limit`.
    std::optional<YmodemResult> Result(std::chrono::milliseconds limit) {
        if (result_.wait_for(limit) != std::future_status::ready) {
            return std::nullopt;
        }
        if (!done_) {
            done_ = result_.get();
        }
        return done_;
    }

  private:
    std::atomic<bool>& cancel_;
    ChannelHandle channel_ = 0;
    std::atomic<std::uint64_t> sent_{0};
    std::future<YmodemResult> result_;
    std::optional<YmodemResult> done_;
};

class YmodemE2e : public ::testing::Test {
  protected:
    static void SetUpTestSuite() { ChannelLibInit(); }
    void SetUp() override {
        ASSERT_TRUE(test::Installed("rb", "lrzsz"));
        fs::create_directories(dir_ / "src");
        // rb stores what the header names (and crashes on an absolute path): the sender is given
        // names relative to the sources' directory.
        home_ = fs::current_path();
        fs::current_path(dir_ / "src");
    }
    void TearDown() override {
        fs::current_path(home_);
        SetPortMapFile({});
    }
    // termsim fails the test itself when it does not write its port map.
    std::unique_ptr<Termsim> StartTermsim(std::vector<std::string> args,
                                          const std::vector<std::string>& faults = {}) {
        args.push_back("--quiet");
        auto sim = std::make_unique<Termsim>(dir_.Path(), std::move(args), 1, faults);
        SetPortMapFile(sim->Map());
        return sim;
    }

    // Reads COM1 until `text` has come (the boot console, in normal mode).
    static bool ReadUntil(ChannelHandle channel, const std::string& text) {
        std::string seen;
        const auto end = SteadyClock::now() + 10s;
        while (seen.find(text) == std::string::npos && SteadyClock::now() < end) {
            char buffer[2049];
            std::uint32_t count = 2048;
            if (ComRead(channel, buffer, &count) == ChannelResult::Failed) {
                return false;
            }
            seen.append(buffer, count);
        }
        return seen.find(text) != std::string::npos;
    }

    // A file in a terminal of termsim (with `faults`), sent after "comload": the result and the
    // texts the port would show.
    YmodemResult SendIntoTerminal(std::vector<std::string> faults, std::size_t size) {
        const auto sim =
            StartTermsim({"--ports", "1", "--boot-ms", "50", "--baud", "1000000"}, faults);
        const fs::path source = dir_.Write("src/kernel.img", PatternBytes(size, 9));
        const ChannelHandle console = ComOpen(1, 115200, 8, 0, 0, 0, {}, false);
        EXPECT_NE(console, 0);
        EXPECT_TRUE(ReadUntil(console, "\\>"));
        ComWrite(console, "comload\r", 8);
        EXPECT_TRUE(ReadUntil(console, "protocol...\r\n"));
        SerialYmodemPort port(console);
        YModem sender(port, console, [](const YmodemProgressRecord&, YmodemEvent) { return 0; });
        const YmodemResult result = sender.Transfer(source.string(), 0);
        ComClose(console);
        return result;
    }

    test::ScratchDir dir_{"ymodem_e2e", true};  // kept when a test failed: rb.log says why
    fs::path home_;
};

// Byte-identical into rb, around every block boundary: one relay, rb and sender per file, all at
// once (rb answers a sender only after its first "C" has timed out, about 10 s). Small files at
// 115200 baud; the 3 MiB one at 4 Mbaud, so that it takes seconds, not minutes. rb flushes its
// line as it exits, which often drops its last ACK on a pty: once rb has finished, a sender still
// waiting is stopped.
TEST_F(YmodemE2e, IntoLrzszThroughThePacedRelayByteForByte) {
    const std::vector<std::size_t> sizes = {0, 1, 127, 128, 129, 1023, 1024, 1025, 3u << 20};
    struct Session {
        std::size_t size;
        std::string name;
        std::string content;
        fs::path into;
        std::unique_ptr<Termsim> relay;
        std::unique_ptr<test::Process> rb;
        std::atomic<bool> cancel{false};
        std::unique_ptr<SenderRun> sender;
    };
    std::vector<std::unique_ptr<Session>> sessions;
    std::string map = "[Ports]\n";
    for (std::size_t size : sizes) {
        auto& s = *sessions.emplace_back(std::make_unique<Session>());
        s.size = size;
        s.name = "f" + std::to_string(size) + ".bin";
        s.content = PatternBytes(size, static_cast<unsigned>(size));
        dir_.Write("src/" + s.name, s.content);
        const fs::path relayDir = dir_ / ("relay-" + std::to_string(size));
        s.relay = std::make_unique<Termsim>(
            relayDir,
            std::vector<std::string>{"--relay", "--baud", size > 65536 ? "4000000" : "115200",
                                     "--quiet"},
            2);
        ASSERT_TRUE(s.relay->Started());
        s.into = relayDir / "received";
        s.rb = test::StartRb(s.relay->Link(2), s.into, relayDir / "rb.log");
        map += "COM" + std::to_string(sessions.size()) + "=" + s.relay->Link(1).string() + "\n";
    }
    SetPortMapFile(dir_.Write("ports.ini", map));
    for (std::size_t i = 0; i < sessions.size(); ++i) {
        Session& s = *sessions[i];
        ASSERT_TRUE(test::TakeFirstCall(s.relay->Link(1), 10s)) << s.size;
        s.sender = std::make_unique<SenderRun>(s.name, s.cancel, static_cast<int>(i + 1));
        ASSERT_TRUE(s.sender->Open()) << s.size;
    }
    int acknowledged = 0;
    int rbAborted = 0;
    for (auto& session : sessions) {
        Session& s = *session;
        SCOPED_TRACE(s.size);
        // rb (lrzsz 0.12.21) now and then aborts ("double free") after it has stored the whole
        // file: a header with only a name and a size leaves its other fields unset (the stored file
        // gets a 1901 date). Its abort handler then sends CAN CAN, which the sender reports.
        const std::optional<int> rbStatus = s.rb->Wait(180s);
        const bool aborted = rbStatus == 128 + SIGABRT;
        rbAborted += aborted ? 1 : 0;
        EXPECT_TRUE(rbStatus == 0 || aborted) << "rb ended with " << rbStatus.value_or(-1);
        EXPECT_EQ(ReadFile(s.into / s.name), s.content);
        std::optional<YmodemResult> result = s.sender->Result(3s);
        if (!result) {
            s.cancel = true;
            result = s.sender->Result(5s);
            ASSERT_TRUE(result) << "the sender did not end on its stop";
            EXPECT_EQ(*result, YmodemResult::UserCancel);
        } else if (aborted) {
            EXPECT_TRUE(*result == YmodemResult::Sent || *result == YmodemResult::RemoteCancel)
                << static_cast<int>(*result);
        } else {
            EXPECT_EQ(*result, YmodemResult::Sent);
            ++acknowledged;
        }
    }
    std::printf("rb aborted after storing the file in %d of %zu sessions\n", rbAborted,
                sizes.size());
    std::printf("end-of-batch ACK seen by the sender in %d of %zu sessions\n", acknowledged,
                sizes.size());
}

TEST_F(YmodemE2e, TerminalFaultsEndWithTheirResults) {
    // termsim NAKs the first data packet 11 times: ten resends, then "Max error".
    EXPECT_EQ(SendIntoTerminal({"1:nak=11"}, 5000), YmodemResult::MaxErrors);
    EXPECT_EQ(YmodemResultText(1000, YmodemResult::MaxErrors), "Max error");
    // Ten NAKs are survived.
    EXPECT_EQ(SendIntoTerminal({"1:nak=10"}, 5000), YmodemResult::Sent);
    // CAN CAN after two data packets: "Cancel".
    EXPECT_EQ(SendIntoTerminal({"1:can=2"}, 5000), YmodemResult::RemoteCancel);
    EXPECT_EQ(YmodemResultText(1000, YmodemResult::RemoteCancel), "Cancel");
}

// A terminal that hangs up in the middle of the image: the line fails and the sender ends with
// "Timeout" by itself, without a stop. (termsim's own receiver, so that no third program's timing
// decides when the transfer is under way.)
TEST_F(YmodemE2e, AHangUpEndsWithTimeout) {
    auto sim = StartTermsim({"--ports", "1", "--boot-ms", "50", "--baud", "115200"});
    dir_.Write("src/big.bin", PatternBytes(200000, 5));
    const ChannelHandle console = ComOpen(1, 115200, 8, 0, 0, 0, {}, false);
    ASSERT_NE(console, 0);
    ASSERT_TRUE(ReadUntil(console, "\\>"));
    ComWrite(console, "comload\r", 8);
    ASSERT_TRUE(ReadUntil(console, "protocol...\r\n"));
    std::atomic<std::uint64_t> sent{0};
    auto result = std::async(std::launch::async, [&] {
        SerialYmodemPort port(console);
        YModem sender(port, console, [&](const YmodemProgressRecord& record, YmodemEvent) {
            sent = record.total - record.remaining;
            return 0;
        });
        return sender.Transfer("big.bin", 0);
    });
    test::WaitUntil([&] { return sent >= 8192; }, 20s);
    EXPECT_GE(sent.load(), 8192u);
    ::kill(sim->Program().Pid(), SIGKILL);  // the line hangs up
    ASSERT_EQ(result.wait_for(10s), std::future_status::ready)
        << "the sender did not end on a hung-up line";
    EXPECT_EQ(result.get(), YmodemResult::Timeout);
    ComClose(console);
    EXPECT_EQ(YmodemResultText(1000, YmodemResult::Timeout), "Timeout");
}

// A silent terminal never ends the transfer by itself; the operator's stop ends it at once, both
// through TransferCancel alone (within one read's wait) and with the channel closed under it as
// the stop of a slot does.
TEST_F(YmodemE2e, SilenceWaitsUntilTheOperatorStops) {
    const auto sim = StartTermsim({"--ports", "1"}, {"1:silent"});
    for (bool closeChannel : {false, true}) {
        SCOPED_TRACE(closeChannel);
        const fs::path source = dir_.Write("src/k.bin", PatternBytes(3000, 1));
        std::atomic<bool> cancel{false};
        SenderRun sender(source.string(), cancel);
        ASSERT_TRUE(sender.Open());
        EXPECT_FALSE(sender.Result(5s));  // more than two reads' waits
        const auto stop = SteadyClock::now();
        cancel = true;
        if (closeChannel) {
            ComClose(sender.Channel());
        }
        const auto result = sender.Result(10s);
        ASSERT_TRUE(result);
        EXPECT_EQ(*result, YmodemResult::UserCancel);
        // Bounded generously: one read's wait (2 s) without the close, at once with it.
        EXPECT_LT(SteadyClock::now() - stop, closeChannel ? 1s : 4s);
    }
    EXPECT_EQ(YmodemResultText(1000, YmodemResult::UserCancel), "User Cancel");
}

}  // namespace
}  // namespace termload
