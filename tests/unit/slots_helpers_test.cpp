#include <gtest/gtest.h>

#include <array>
#include <atomic>
#include <chrono>
#include <cstring>
#include <string>
#include <thread>

#include "engine/download_controller.h"
#include "engine/hex_bytes.h"
#include "engine/message_pump.h"
#include "engine/model_class.h"
#include "engine/port_slot_table.h"
#include "engine/slot_events.h"
#include "engine/stop_signal.h"
#include "engine/timings.h"
#include "support/recording_host.h"
#include "support/scripted_link.h"

namespace termload {
namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

TEST(SlotHelpers, ModelNamesClassesAndFieldSize) {
    EXPECT_EQ(ModelClass("M868"), kModelClassM868);
    EXPECT_EQ(ModelClass("m868"), kModelClassOther);
    EXPECT_EQ(ModelClass("M862PCX"), kModelClassM862);
    EXPECT_EQ(ModelClass("M862P"), kModelClassOther);
    EXPECT_EQ(ModelClass(""), kModelClassOther);

    EXPECT_TRUE(ModelNameFits(std::string(29, 'M')));
    EXPECT_FALSE(ModelNameFits(std::string(30, 'M')));
    EXPECT_EQ(StatusPrefix(0), "[COM0]");
}

TEST(SlotHelpers, HexDigitsAndBigEndian) {
    EXPECT_EQ(HexDigitValue('a'), 0);
    EXPECT_EQ(HexByte("1A"), 0x1A);
    EXPECT_EQ(HexByte("1a"), 0x10);
    EXPECT_EQ(HexByte("FF77"), 0xFF);
    EXPECT_EQ(HexByte("5"), 0x50);  // a missing character counts as 0
    EXPECT_EQ(HexByte(""), 0x00);

    std::array<std::uint8_t, 6> bytes{0xEE, 0, 0, 0, 0, 0xEE};
    PutBigEndian32(0x00001388, bytes.data() + 1);
    EXPECT_EQ(bytes, (std::array<std::uint8_t, 6>{0xEE, 0x00, 0x00, 0x13, 0x88, 0xEE}));
}

TEST(SlotHelpers, ScaledTimingsCoverEveryField) {
    // Every field is a millisecond count: a zero factor must reach all of them.
    const Timings zero = Timings::Scaled(0.0);
    static_assert(sizeof(Timings) % sizeof(std::uint32_t) == 0);
    std::array<std::uint32_t, sizeof(Timings) / sizeof(std::uint32_t)> fields{};
    std::memcpy(fields.data(), &zero, sizeof(Timings));
    for (std::uint32_t ms : fields) {
        EXPECT_EQ(ms, 0u);
    }
    const Timings tenth = Timings::Scaled(0.1);
    EXPECT_EQ(tenth.consoleByteGapMs, 10u);
    EXPECT_EQ(tenth.kernelRunTimeoutMs, 30000u);
    EXPECT_EQ(Timings{}.waitBoardTimeoutMs, 10000u);
}

TEST(SlotHelpers, DelayCountsStepsAndEndsOnStop) {
    static std::atomic<int> pumped;
    pumped = 0;
    SetMessagePump([] { ++pumped; });
    EXPECT_EQ(DelayWithMessages(9), 0u);
    const auto start = Clock::now();
    EXPECT_EQ(DelayWithMessages(25), 2u);
    EXPECT_GE(Clock::now() - start, 20ms);
    SetMessagePump(nullptr);
    EXPECT_EQ(pumped.load(), 2);  // once before each step

    // On a download thread a stop ends a long delay early; the steps waited are reported.
    StopSignal stop;
    std::atomic<std::uint32_t> steps{0};
    std::thread worker([&] {
        const WorkerStopScope scope(stop);
        steps = DelayWithMessages(60000);
    });
    std::this_thread::sleep_for(50ms);
    stop.Request();
    worker.join();
    EXPECT_LT(steps.load(), 6000u);

    // A stop raised before the delay makes it return at once with no step.
    std::thread late([&] {
        const WorkerStopScope scope(stop);
        steps = DelayWithMessages(60000);
    });
    late.join();
    EXPECT_EQ(steps.load(), 0u);
    EXPECT_EQ(CurrentWorkerStop(), nullptr);
}

// The waits learn to ask for an early wake-up; none may end before its time for that.
TEST(SlotHelpers, TimedWaitsNeverEndEarly) {
    const StopSignal never;
    for (int i = 0; i < 150; ++i) {
        const auto start = Clock::now();
        EXPECT_FALSE(never.WaitFor(2ms));
        ASSERT_GE(Clock::now() - start, 2ms) << "wait " << i;
    }
}

// The pacing's 10 ms pauses are timed waits, which Windows ends only on a tick of its timer: a run
// holds 1 ms ticks from its start to its stop.
TEST(SlotHelpers, ARunHoldsMillisecondTimerTicksUntilItsStop) {
    test::RecordingHost host;
    PortSlotTable table(host);
    test::ScriptedLinks links;
    DownloadController controller(table, links.Factory());
    auto job = std::make_shared<DownloadJob>();
    job->passLimit = 1;
    job->timings = Timings::Scaled(0);
    EXPECT_FALSE(controller.FineTimerHeld());
    ASSERT_TRUE(controller.Start(job));
    EXPECT_TRUE(controller.FineTimerHeld());
    ASSERT_TRUE(host.WaitUntil([](const auto& h) { return h.RunsEnded() > 0; }, 10s));
    EXPECT_TRUE(controller.FineTimerHeld()) << "until the host stops the run";
    controller.Stop();
    EXPECT_FALSE(controller.FineTimerHeld());
}

TEST(SlotHelpers, ReceiveTextDropsTheOlderHalf) {
    ReceiveText text;
    std::string old;
    for (int i = 0; i < 2000; ++i) {
        old.push_back(static_cast<char>('a' + i % 26));
    }
    text.Append(old.data(), old.size());
    const std::string chunk(100, '#');
    const std::string after = text.Append(chunk.data(), chunk.size());
    EXPECT_EQ(after.size(), 1100u);
    EXPECT_EQ(after, old.substr(1000) + chunk);
    EXPECT_EQ(text.Text(), after);

    // A chunk exactly at the threshold keeps everything.
    text.Clear();
    text.Append(old.data(), 2000);
    EXPECT_EQ(text.Append(chunk.data(), 48).size(), 2048u);

    // Chunks of any size never take the text past its buffer; the newest bytes survive.
    std::string huge(10000, 'x');
    huge.replace(huge.size() - 5, 5, "Board");
    const std::string kept = text.Append(huge.data(), huge.size());
    EXPECT_EQ(kept.size(), ReceiveText::kCapacity - 1);
    EXPECT_EQ(kept.substr(kept.size() - 5), "Board");
    for (int i = 0; i < 10; ++i) {
        const std::string big(3000, static_cast<char>('0' + i));
        const std::string now = text.Append(big.data(), big.size());
        EXPECT_LE(now.size(), ReceiveText::kCapacity - 1);
        EXPECT_EQ(now.substr(now.size() - big.size()), big);
    }
    text.Clear();
    EXPECT_EQ(text.Length(), 0u);
}

TEST(SlotHelpers, ConsoleEventsAreAutoResetPairs) {
    SlotEvents events;
    EXPECT_EQ(events.Wait(1h), EventWait::Closed);  // never created
    events.SetReceive();
    events.Create();
    EXPECT_EQ(events.Wait(10ms), EventWait::TimedOut);  // a set before creation is lost

    events.SetAbort();
    events.SetReceive();
    EXPECT_EQ(events.Wait(1h), EventWait::Received);
    EXPECT_EQ(events.Wait(1h), EventWait::Aborted);
    EXPECT_EQ(events.Wait(10ms), EventWait::TimedOut);

    // A close (even one followed at once by a re-create) wakes a waiter.
    std::atomic<EventWait> result{EventWait::TimedOut};
    std::thread waiter([&] { result = events.Wait(1h); });
    while (events.Waiters() == 0) {
        std::this_thread::yield();  // until the waiter is inside its wait
    }
    events.Close();
    events.Create();
    waiter.join();
    EXPECT_EQ(result.load(), EventWait::Closed);
    events.Close();
    EXPECT_FALSE(events.Exist());
}

}  // namespace
}  // namespace termload
