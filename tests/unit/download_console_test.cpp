// The boot console's exchanges against a scripted terminal: what is typed, which replies complete
// an exchange, and how a stop or closed events end a wait.
#include <gtest/gtest.h>

#include <chrono>
#include <condition_variable>
#include <deque>
#include <functional>
#include <future>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "engine/boot_console.h"
#include "engine/download_job.h"
#include "engine/port_slot_table.h"
#include "support/process.h"
#include "support/recording_host.h"
#include "support/scripted_link.h"

namespace termload {
namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

// The terminal's side: a script of (typed text, reply chunks) steps taken in order. When what was
// typed since the last step ends with the next step's text, its chunks come in, `gap` apart, on a
// thread of their own, through the console's receive callback.
class ScriptedTerminal {
  public:
    ScriptedTerminal(PortSlotTable& table, test::ScriptedLinks& links) : table_(table) {
        links.onWrite = [this](std::span<const std::uint8_t> bytes) { Typed(bytes); };
        feeder_ = std::thread([this] { Feed(); });
    }
    ~ScriptedTerminal() {
        {
            const std::lock_guard lock(mutex_);
            quit_ = true;
        }
        changed_.notify_all();
        feeder_.join();
    }

    void On(std::string typed, std::vector<std::string> chunks,
            std::chrono::milliseconds gap = 0ms) {
        const std::lock_guard lock(mutex_);
        steps_.push_back({std::move(typed), std::move(chunks), gap});
    }
    // A chunk `after` from now (queued behind what is already on its way).
    void Say(std::string text, std::chrono::milliseconds after = 0ms) {
        {
            const std::lock_guard lock(mutex_);
            queue_.push_back({after, std::move(text)});
        }
        changed_.notify_all();
    }
    std::string TypedText() const {
        const std::lock_guard lock(mutex_);
        return typed_;
    }

  private:
    struct Step {
        std::string typed;
        std::vector<std::string> chunks;
        std::chrono::milliseconds gap;
    };
    struct Chunk {
        std::chrono::milliseconds after;
        std::string text;
    };

    void Typed(std::span<const std::uint8_t> bytes) {
        {
            const std::lock_guard lock(mutex_);
            typed_.append(bytes.begin(), bytes.end());
            pending_.append(bytes.begin(), bytes.end());
            if (steps_.empty() || !pending_.ends_with(steps_.front().typed)) {
                return;
            }
            for (std::string& chunk : steps_.front().chunks) {
                queue_.push_back({steps_.front().gap, std::move(chunk)});
            }
            steps_.pop_front();
            pending_.clear();
        }
        changed_.notify_all();
    }

    void Feed() {
        std::unique_lock lock(mutex_);
        for (;;) {
            changed_.wait(lock, [this] { return quit_ || !queue_.empty(); });
            if (quit_) {
                return;
            }
            Chunk chunk = std::move(queue_.front());
            queue_.pop_front();
            lock.unlock();
            std::this_thread::sleep_for(chunk.after);
            SlotReceive(table_, table_[0].channel, chunk.text.data(),
                        static_cast<std::uint32_t>(chunk.text.size()));
            lock.lock();
        }
    }

    PortSlotTable& table_;
    mutable std::mutex mutex_;
    std::condition_variable changed_;
    std::deque<Step> steps_;
    std::deque<Chunk> queue_;
    std::string typed_;
    std::string pending_;
    bool quit_ = false;
    std::thread feeder_;
};

class ConsoleExchanges : public ::testing::Test {
  protected:
    ConsoleExchanges() { Use(false); }

    // Slot 0 on COM1, its console open; no CMDDelay, scaled times unless given.
    void Use(bool kernelMode, const Timings& timings = Timings::Scaled(0.05)) {
        auto job = std::make_shared<DownloadJob>();
        job->kernelMode = kernelMode;
        job->cmdDelayMs = 0;
        job->timings = timings;
        table.Reset(job, links.Factory());
        table[0].Fill(1);
        ASSERT_TRUE(table[0].Link().Open(LinkMode::Console));
    }
    ConsoleContext Console() { return {table[0], table.Job()}; }

    test::ScriptedLinks links;  // outlives the table's links
    test::RecordingHost host;
    PortSlotTable table{host};
    ScriptedTerminal terminal{table, links};
};

TEST(ConsoleText, MatchingSizeCommandsAndTheEraseDecision) {
    const std::string banner30 = "TS boot Board: rev C, 64 MB...";
    ASSERT_EQ(banner30.size(), 30u);
    EXPECT_FALSE(ReplyComplete(banner30, 32, "Board")) << "not above the minimum length";
    EXPECT_TRUE(ReplyComplete(banner30 + "\r\n\\", 32, "Board"));
    EXPECT_FALSE(ReplyComplete(std::string(40, 'x') + "Boar", 32, "Board"));
    EXPECT_TRUE(ConsoleContains(std::string("\0\0Board", 7), "Board"))
        << "bytes of noise before the keyword";

    EXPECT_EQ(NandWriteCommand(0), "DownNand c008000 400\r");
    EXPECT_EQ(NandWriteCommand(1000000), "DownNand c008000 f4640\r");
    EXPECT_EQ(UpNandCommand(0xFFFFFFFFull), "UpNand c000000 1000003ff\r") << "no wrap-around";

    const std::string both = "select region (3 user): 1f0:";
    EXPECT_EQ(NandEraseNext(both, true), NandEraseStep::ChooseRegion);
    EXPECT_EQ(NandEraseNext(both, false), NandEraseStep::QuitScan);
    EXPECT_EQ(NandEraseNext("region 1f0:", true), NandEraseStep::ChooseRegion);
    EXPECT_EQ(NandEraseNext("1f0:", false), NandEraseStep::Wait) << "10 bytes or fewer";
    EXPECT_EQ(NandEraseNext("select a region, please", false), NandEraseStep::Wait);
}

TEST_F(ConsoleExchanges, CommandsAreTypedAsTheBootLoaderExpectsThem) {
    terminal.On("ramtest\r", {"ramtest\r\nSDRAM test ...\r\n", "ram OK\r\n"}, 10ms);
    EXPECT_TRUE(RamTest(Console()));
    terminal.On("usbdown\r", {"USB download mode, host connected\r\n"});
    EXPECT_TRUE(UsbDown(Console()));
    terminal.On("DownNand\r", {"Solidify, select 0 [bios], 2 [root], 3 [user-fs]: "});
    terminal.On("2y", {"2\r\nWriting partition 2 ...\r\n", "Solidify partition 2 success\r\n"},
                10ms);
    EXPECT_TRUE(NandSolidify(Console(), kRegionRoot));
    terminal.On("comload\r", {"Ready to receive the kernel image by YMODEM protocol...\r\n"});
    EXPECT_TRUE(ComLoad(Console()));
    EXPECT_EQ(terminal.TypedText(),
              "\r\rramtest\r"
              "\x1b\rusbdown\r"
              "n\x1b\rDownNand\r2y"
              "\rcomload\r");
    EXPECT_EQ(table[0].received.Length(), 0u) << "a matched reply is cleared";

    // Outside kernel mode the plain scan is quit at its last block; its text is kept.
    terminal.On("nandtest\r", {"NAND bad block scan\r\n 0: ok\r\n1f0:"});
    EXPECT_TRUE(NandErase(Console(), kRegionNandTest));
    EXPECT_TRUE(terminal.TypedText().ends_with("\rcomload\r\rnandtest\rq\r"));
    EXPECT_NE(table[0].received.Text().find("1f0:"), std::string::npos);
}

TEST_F(ConsoleExchanges, KernelModeTypesEscAndChoosesTheRegion) {
    Use(true);
    terminal.On("nandtest\r", {"NAND erase, select region (0 bios, 3 user, r all): 1f0:"});
    terminal.On("3y", {"3\r\nErasing region 3 ...\r\n", "Erase region 3 done\r\n\\>"}, 10ms);
    EXPECT_TRUE(NandErase(Console(), kRegionUserArea));
    terminal.On("DownNand c008000 400\r",
                {"DownNand c008000 400\r\nWrite 0x400 bytes from RAM c008000 (y/n)? "});
    terminal.On("y\r", {"y\r\nWriting NAND ...\r\n", "NAND write OK\r\n\\>"}, 10ms);
    EXPECT_TRUE(NandWriteImage(Console(), 0)) << "an empty image still names 1024 bytes";
    EXPECT_EQ(terminal.TypedText(),
              "\x1b\rnandtest\r3y"
              "\x1b\rDownNand c008000 400\ry\r");
    EXPECT_EQ(table[0].received.Length(), 0u);
}

TEST_F(ConsoleExchanges, RepliesTooShortOrWithoutTheKeywordFailAfterTheSilence) {
    // A 30-byte banner holds "Board" but is not long enough until more comes.
    terminal.Say("TS boot Board: rev C, 64 MB...", 20ms);
    EXPECT_FALSE(WaitBoard(Console()));
    terminal.Say("TS boot Board: rev C, 64 MB...", 20ms);
    terminal.Say("\r\n\\>", 20ms);
    EXPECT_TRUE(WaitBoard(Console()));
    EXPECT_EQ(table[0].received.Length(), 0u);

    terminal.On("ramtest\r", {"ram OK\r\n"});
    EXPECT_FALSE(RamTest(Console())) << "8 bytes: not above 10";
    // A chatty terminal keeps an exchange alive: the time-out is the longest silence.
    const std::uint32_t silence = table.Job().timings.comLoadTimeoutMs;
    std::vector<std::string> chatter(3, "booting...\r\n");
    chatter.push_back("Ready to receive by YMODEM protocol...\r\n");
    terminal.On("comload\r", chatter, std::chrono::milliseconds(silence / 2));
    const auto began = Clock::now();
    EXPECT_TRUE(ComLoad(Console()));
    EXPECT_GT(Clock::now() - began, std::chrono::milliseconds(silence));
}

TEST_F(ConsoleExchanges, StartKernelAnswersAtMostThreeMoreTimes) {
    Use(true);
    const auto script = [&](std::vector<std::string> whileBooting) {
        terminal.On("UpNand c000000 f4640\r",
                    {"UpNand c000000 f4640\r\nRead 0xf4640 bytes to RAM c000000 (y/n)? "});
        terminal.On("run c000000\r", {"run c000000\r\nJump to 0xc000000 (y/n)? "});
        terminal.On("y\r\r\r", {whileBooting.front()});
        for (std::size_t i = 1; i < whileBooting.size(); ++i) {
            terminal.On("y\r", {whileBooting[i]});
        }
    };
    const std::string kStart = "\x1b\r\r\rUpNand c000000 f4640\ry\r\r\rrun c000000\ry\r\r\r";

    // The kernel keeps talking without mounting: three more "y\r", then the fourth wake-up ends it.
    script({"Starting kernel at 0xc000000 ...\r\n", "Uncompressing Linux... done\r\n",
            "Freeing init memory: 108K\r\n", "console [ttyS0] enabled, still no root\r\n"});
    EXPECT_FALSE(StartKernel(Console(), 1000000));
    EXPECT_EQ(terminal.TypedText(), kStart + "y\ry\ry\r");

    // Mounted at the first wake-up: nothing more is typed.
    Use(true);
    const std::size_t before = terminal.TypedText().size();
    script({"Starting kernel\r\nVFS: Mounted root\r\nMTD mount /dev/mtdblock4 ok\r\n"});
    EXPECT_TRUE(StartKernel(Console(), 1000000));
    EXPECT_EQ(terminal.TypedText().substr(before), kStart);
    EXPECT_EQ(table[0].received.Length(), 0u);
}

TEST_F(ConsoleExchanges, StopOrClosedEventsEndAWaitAtOnceAndAFreeSlotHasNoConsole) {
    Use(false, Timings{});  // the banner wait is 10 s
    const auto timedWaitBoard = [&](const std::function<void()>& interrupt) {
        auto result = std::async(std::launch::async, [&] { return WaitBoard(Console()); });
        test::WaitUntil([&] { return table[0].events.Waiters() > 0; }, 2s);
        const auto began = Clock::now();
        interrupt();
        EXPECT_EQ(result.wait_for(5s), std::future_status::ready);
        EXPECT_FALSE(result.get());
        return Clock::now() - began;
    };
    EXPECT_LT(timedWaitBoard([&] { table[0].RequestStop(); }), 1s);
    table[0].stop.Clear();
    table[0].transferCancel = false;
    EXPECT_LT(timedWaitBoard([&] { table[0].events.Close(); }), 1s);
    // Closed events fail every later wait at once instead of spinning on them.
    EXPECT_FALSE(ComLoad(Console()));

    // Slot 3 is not in use: no port of the table leads to it.
    const std::size_t typed = terminal.TypedText().size();
    EXPECT_FALSE(WaitBoard({table[3], table.Job()}));
    EXPECT_FALSE(RamTest({table[3], table.Job()}));
    EXPECT_EQ(terminal.TypedText().size(), typed);
}

}  // namespace
}  // namespace termload
