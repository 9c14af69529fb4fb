#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <future>
#include <stdexcept>
#include <string>
#include <thread>

#include "engine/download_job.h"
#include "engine/message_pump.h"
#include "engine/model_class.h"
#include "engine/port_slot_table.h"
#include "engine/show_error.h"
#include "engine/slot_channel.h"
#include "support/recording_host.h"

namespace termload {
namespace {

using namespace std::chrono_literals;

// Handles that no channel library ever handed out: SlotReceive only compares them.
constexpr ChannelHandle kFakeChannel = 4242;

std::shared_ptr<DownloadJob> MultiPortRun(int slotsInUse) {
    auto job = std::make_shared<DownloadJob>();
    job->portCount = slotsInUse;
    job->langBase = 1000;
    job->timings = Timings::Scaled(0.1);
    return job;
}

class SlotTable : public ::testing::Test {
  protected:
    // A run on nine ports with every slot filled.
    void NinePorts() {
        table.Reset(MultiPortRun(9));
        for (int index = 0; index < PortSlotTable::kSlotCount; ++index) {
            table[index].Fill(index + 1);
        }
    }

    test::RecordingHost sink{test::RecordingHost::Errors::LeaveOpen};  // errors stay open
    PortSlotTable table{sink};
};

TEST_F(SlotTable, StatusKeepsTextColourAndProgress) {
    PortSlot& slot = table[4];
    EXPECT_FALSE(ModelNameFits(std::string(30, 'M')));
    EXPECT_TRUE(ModelNameFits(std::string(29, 'M')));
    slot.Fill(5);

    slot.status.ShowWithPrefix("Port open failed", StatusColour::Red);
    EXPECT_EQ(sink.StatusOf(4)->text, "[COM5]Port open failed");
    EXPECT_EQ(sink.StatusOf(4)->colour, StatusColour::Red);
    // No colour given: the host is told to keep its colour, the engine still knows it.
    slot.status.Show(slot.status.Text() + " undefined error");
    EXPECT_EQ(sink.StatusOf(4)->text, "[COM5]Port open failed undefined error");
    EXPECT_EQ(sink.StatusOf(4)->colour, std::nullopt);
    EXPECT_EQ(slot.status.Colour(), StatusColour::Red);

    slot.status.SetProgressPosition(0);
    slot.status.SetProgressRange(0, 3);
    slot.status.StepProgress();
    EXPECT_EQ(sink.ProgressOf(4)->position, 1);
    slot.status.SetProgressPosition(100);  // "100 at the end of the file" means full
    EXPECT_EQ(sink.ProgressOf(4)->position, 3);
    slot.status.StepProgress();
    EXPECT_EQ(slot.status.Progress().position, 3);
}

TEST_F(SlotTable, ReceiveFeedsTheOwningSlot) {
    NinePorts();
    PortSlot& slot = table[2];
    slot.channel = kFakeChannel;
    slot.events.Create();

    EXPECT_EQ(SlotReceive(table, kFakeChannel + 1, "lost", 4), 0);
    EXPECT_EQ(SlotReceive(table, kFakeChannel, "Board", 0), 0);
    EXPECT_EQ(slot.events.Wait(0ms), EventWait::TimedOut);

    EXPECT_EQ(SlotReceive(table, kFakeChannel, "U-Boot ", 7), 0);
    EXPECT_EQ(SlotReceive(table, kFakeChannel, "Board", 5), 0);
    EXPECT_EQ(slot.received.Text(), "U-Boot Board");
    EXPECT_EQ(sink.Console(), "U-Boot Board");
    EXPECT_EQ(slot.events.Wait(0ms), EventWait::Received);
    EXPECT_EQ(slot.events.Wait(0ms), EventWait::TimedOut);

    // "Checksum Error" counts only while a USB-pipe transfer is watched.
    const std::string error = "Checksum Error\r\n";
    SlotReceive(table, kFakeChannel, error.data(), static_cast<std::uint32_t>(error.size()));
    EXPECT_EQ(table.checksumWatch.load(), ChecksumWatch::Idle);
    table.checksumWatch = ChecksumWatch::Watching;
    SlotReceive(table, kFakeChannel, "\r\n", 2);
    EXPECT_EQ(table.checksumWatch.load(), ChecksumWatch::ErrorSeen);

    slot.channel = 0;
}

TEST_F(SlotTable, OpenRefusesUnknownPortsAndUsbHid) {
    NinePorts();
    table[0].received.Append("kept", 4);
    EXPECT_EQ(SlotIndexOfPort(table, 9), 8);
    EXPECT_EQ(SlotIndexOfPort(table, 28), -1);
    EXPECT_FALSE(SlotOpenChannel(table, 28, kChannelConsole));

    const auto hid = MultiPortRun(1);
    hid->channel.transport = Transport::UsbHid;
    table.Reset(hid);
    table[0].received.Append("kept", 4);
    EXPECT_FALSE(SlotOpenChannel(table, 0, kChannelConsole));
    EXPECT_FALSE(table[0].events.Exist());
    EXPECT_EQ(table[0].channel.load(), 0);
    EXPECT_EQ(table[0].received.Text(), "kept");
}

TEST_F(SlotTable, StopAllWakesEveryWaitAndResetsTheSlotsInUse) {
    NinePorts();
    std::atomic<bool> errorAcknowledged{true};
    std::atomic<EventWait> consoleWait{EventWait::Received};

    table[1].events.Create();
    ASSERT_TRUE(table[0].StartThread([&] { DelayWithMessages(600000); }));
    ASSERT_TRUE(table[1].StartThread([&] { consoleWait = WaitReceiveOrAbort(table[1], 600000); }));
    ASSERT_TRUE(
        table[2].StartThread([&] { errorAcknowledged = ShowError(table[2], "Erase failed"); }));
    ASSERT_TRUE(table[3].StartThread([] { throw std::runtime_error("escaped"); }));
    for (int index = 4; index < 9; ++index) {
        ASSERT_TRUE(table[index].StartThread([this, index] {
            while (!table[index].stop.IsRequested()) {
                DelayWithMessages(100);
            }
        }));
    }
    while (sink.ErrorCount() == 0) {
        std::this_thread::sleep_for(1ms);
    }
    std::this_thread::sleep_for(50ms);

    const auto start = std::chrono::steady_clock::now();
    SlotStopAll(table);
    EXPECT_LT(std::chrono::steady_clock::now() - start, 5s);  // a hang, not a speed figure

    EXPECT_EQ(consoleWait.load(), EventWait::Aborted);
    EXPECT_FALSE(errorAcknowledged.load());
    EXPECT_EQ(sink.ErrorTextAt(0), "Erase failed    ");
    for (int index = 0; index < 9; ++index) {
        SCOPED_TRACE(index);
        EXPECT_FALSE(table[index].HasThread());
        EXPECT_TRUE(table[index].threadEnded.load());
        EXPECT_TRUE(table[index].transferCancel.load());
        EXPECT_EQ(sink.StatusOf(index)->text, StatusPrefix(index + 1) + "Ready");
        EXPECT_EQ(sink.StatusOf(index)->colour, StatusColour::Black);
        EXPECT_EQ(sink.ProgressOf(index)->position, 0);
        EXPECT_FALSE(table[index].events.Exist());
    }
    EXPECT_FALSE(sink.StatusOf(9).has_value());  // filled, but not in use
    EXPECT_FALSE(table[9].stop.IsRequested());
}

TEST_F(SlotTable, DownloadThreadEndingTheRunDoesNotJoinItself) {
    NinePorts();
    std::atomic<bool> stopReturned{false};
    for (int index = 1; index < 9; ++index) {
        ASSERT_TRUE(table[index].StartThread([] { DelayWithMessages(600000); }));
    }
    ASSERT_TRUE(table[0].StartThread([&] {
        SlotStopAll(table);
        stopReturned = true;
    }));
    // Its stop joins the other eight threads, not its own.
    while (!stopReturned) {
        std::this_thread::sleep_for(1ms);
    }
    for (int index = 1; index < 9; ++index) {
        EXPECT_TRUE(table[index].threadEnded.load());
    }
    SlotStopAll(table);  // the host's stop that follows
    for (int index = 0; index < 9; ++index) {
        EXPECT_FALSE(table[index].HasThread());
    }
}

// The stop and the open of a port exclude each other: a stop waits for an open that has begun
// (the handle is then in the slot, where the stop's sweep closes it), and no open follows it.
TEST_F(SlotTable, AStopWaitsOutAnOpenUnderWayAndNoOpenFollowsIt) {
    PortSlot& slot = table[0];
    // Promises rather than std::latch: the C++ library of Debian's mingw-w64 (GCC 12) can lose the
    // wake-up of an atomic wait, which std::latch is built on.
    std::promise<void> opening;
    std::promise<void> finishOpen;
    std::thread opener([&] {
        slot.OpenUnlessStopped([&] {
            opening.set_value();
            finishOpen.get_future().wait();
            return kFakeChannel;
        });
    });
    opening.get_future().wait();
    std::atomic<bool> stopReturned{false};
    std::thread stopper([&] {
        slot.RequestStop();
        stopReturned = true;
    });
    std::this_thread::sleep_for(50ms);
    EXPECT_FALSE(stopReturned.load()) << "the stop did not wait for the open";
    EXPECT_TRUE(slot.stop.IsRequested());
    finishOpen.set_value();
    stopper.join();
    opener.join();
    EXPECT_EQ(slot.channel.load(), kFakeChannel);
    EXPECT_TRUE(slot.transferCancel.load());

    bool opened = false;
    EXPECT_EQ(slot.OpenUnlessStopped([&] {
        opened = true;
        return kFakeChannel;
    }),
              ChannelHandle{0});
    EXPECT_FALSE(opened);
    slot.channel = 0;  // no channel library ever handed this one out
}

}  // namespace
}  // namespace termload
