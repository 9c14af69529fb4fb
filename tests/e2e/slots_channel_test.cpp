// Slot channels on real pseudo-terminals: console and normal mode, re-opening, and stopping every
// slot while its thread waits or writes. The ports come from an explicit port map only.
#include <fcntl.h>
#include <pty.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include "channels/port_map.h"
#include "channels/serial_channel.h"
#include "engine/download_controller.h"
#include "engine/download_job.h"
#include "engine/port_slot_table.h"
#include "engine/slot_channel.h"
#include "support/files.h"
#include "support/process.h"
#include "support/recording_host.h"

namespace termload {
namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;
// Nobody answers an error: it stays open until the slot is stopped.
struct RecordingSink : test::RecordingHost {
    RecordingSink() : RecordingHost(Errors::LeaveOpen) {}
};

// Terminals on COM1..COMn: the test holds each pty's master side; the slave is reopened by path
// by the channel library. The port map names these ptys and nothing else.
class PtyPorts {
  public:
    explicit PtyPorts(int count) {
        std::ofstream map(mapFile_);
        map << "[Ports]\n";
        for (int port = 1; port <= count; ++port) {
            int master = -1;
            int slave = -1;
            char name[128] = {};
            if (::openpty(&master, &slave, name, nullptr, nullptr) != 0) {
                ADD_FAILURE() << "openpty failed";
                return;
            }
            ::close(slave);
            ::fcntl(master, F_SETFL, ::fcntl(master, F_GETFL) | O_NONBLOCK);
            masters_.push_back(master);
            map << "COM" << port << "=" << name << "\n";
        }
        map.close();
        SetPortMapFile(mapFile_);
    }
    // The map stays set with its file gone (with the scratch directory), so that COM numbers
    // resolve to nothing afterwards rather than to the machine's own ports.
    ~PtyPorts() {
        for (const int master : masters_) {
            ::close(master);
        }
    }
    PtyPorts(const PtyPorts&) = delete;
    PtyPorts& operator=(const PtyPorts&) = delete;

    void Send(int port, std::string_view text) const {
        ASSERT_EQ(::write(masters_.at(port - 1), text.data(), text.size()),
                  static_cast<ssize_t>(text.size()));
    }
    std::string Drain(int port) const {
        std::string got;
        char buffer[4096];
        for (ssize_t n; (n = ::read(masters_.at(port - 1), buffer, sizeof buffer)) > 0;) {
            got.append(buffer, static_cast<std::size_t>(n));
        }
        return got;
    }

  private:
    test::ScratchDir dir_{"termload-slots-ports"};
    std::filesystem::path mapFile_ = dir_ / "ports.ini";
    std::vector<int> masters_;  // closed with the object
};

using test::OpenDescriptorCount;

std::shared_ptr<DownloadJob> RunSettings(int slotsInUse, const Timings& timings) {
    auto job = std::make_shared<DownloadJob>();
    job->portCount = slotsInUse;
    job->langBase = 1000;
    job->timings = timings;
    return job;
}

using test::WaitUntil;

TEST(SlotChannels, ConsoleModeReceivesAndReopensCleanly) {
    PtyPorts ports(1);
    RecordingSink sink;
    PortSlotTable table(sink);
    table.Reset(RunSettings(1, Timings::Scaled(0.1)));
    PortSlot& slot = table[0];
    slot.Fill(1);
    EXPECT_FALSE(SlotOpenChannel(table, 2, kChannelConsole));  // no slot has COM2

    ASSERT_TRUE(SlotOpenChannel(table, 1, kChannelConsole));
    ASSERT_TRUE(slot.events.Exist());
    const std::size_t descriptorsOpen = OpenDescriptorCount();
    ports.Send(1, "U-Boot 2010.03 Board: M862\r\n");
    ASSERT_TRUE(WaitUntil([&] {
        return WaitReceiveOrAbort(slot, 5000) == EventWait::Received &&
               slot.received.Text().find("Board: M862") != std::string::npos;
    }));
    EXPECT_NE(sink.Console().find("Board: M862"), std::string::npos);

    // A re-open closes the old port first and starts with an empty text.
    ASSERT_TRUE(SlotOpenChannel(table, 1, kChannelConsole));
    EXPECT_EQ(slot.received.Length(), 0u);
    EXPECT_EQ(OpenDescriptorCount(), descriptorsOpen);
    ports.Send(1, "ram OK\r\n");
    ASSERT_TRUE(
        WaitUntil([&] { return slot.received.Text().find("ram OK") != std::string::npos; }));

    // Normal mode: no events, nothing is fed into the text, writes reach the terminal.
    ports.Drain(1);
    ASSERT_TRUE(SlotOpenChannel(table, 1, kChannelNormal));
    EXPECT_FALSE(slot.events.Exist());
    EXPECT_EQ(WaitReceiveOrAbort(slot, 60000), EventWait::Closed);
    EXPECT_EQ(ComWrite(slot.channel, "comload\r", 8), ChannelResult::Done);
    std::string typed;
    ASSERT_TRUE(WaitUntil([&] { return (typed += ports.Drain(1)) == "comload\r"; }));

    SlotCloseChannel(slot);
    EXPECT_EQ(slot.channel.load(), 0);
    EXPECT_EQ(LiveReaderThreadCount(), 0u);
}

TEST(SlotChannels, StopAllEndsTwentySevenConsoleWaitsAndClosesEverything) {
    PtyPorts ports(PortSlotTable::kSlotCount);
    RecordingSink sink;
    const std::size_t descriptorsBefore = OpenDescriptorCount();
    {
        PortSlotTable table(sink);
        table.Reset(RunSettings(PortSlotTable::kSlotCount, Timings{}));  // the production times
        std::atomic<int> waiting{0};
        for (int index = 0; index < PortSlotTable::kSlotCount; ++index) {
            PortSlot& slot = table[index];
            slot.Fill(index + 1);
            ASSERT_TRUE(slot.StartThread([&table, &slot, &waiting] {
                if (!SlotOpenChannel(table, slot.portNumber, kChannelConsole)) {
                    return;
                }
                ++waiting;
                // Like a console exchange: wait for text that never comes.
                while (WaitReceiveOrAbort(slot, 600000) == EventWait::Received) {
                }
            }));
        }
        ASSERT_TRUE(WaitUntil([&] { return waiting == PortSlotTable::kSlotCount; }));
        EXPECT_EQ(LiveReaderThreadCount(), static_cast<std::size_t>(PortSlotTable::kSlotCount));
        std::this_thread::sleep_for(100ms);

        const auto start = Clock::now();
        SlotStopAll(table);
        const auto took = Clock::now() - start;
        EXPECT_LT(took, 1s);
        RecordProperty(
            "stop_all_us",
            static_cast<int>(std::chrono::duration_cast<std::chrono::microseconds>(took).count()));

        for (int index = 0; index < PortSlotTable::kSlotCount; ++index) {
            SCOPED_TRACE(index);
            EXPECT_FALSE(table[index].HasThread());
            EXPECT_TRUE(table[index].threadEnded.load());
            EXPECT_EQ(table[index].channel.load(), 0);
            EXPECT_FALSE(table[index].events.Exist());
            EXPECT_EQ(sink.StatusOf(index)->text, "[COM" + std::to_string(index + 1) + "]Ready");
        }
        EXPECT_EQ(LiveReaderThreadCount(), 0u);
    }
    EXPECT_EQ(OpenDescriptorCount(), descriptorsBefore);
}

TEST(SlotChannels, StopAllEndsAWriteThatTheTerminalDoesNotRead) {
    for (const int mode : {kChannelNormal, kChannelConsole}) {
        SCOPED_TRACE(mode);
        PtyPorts ports(1);
        RecordingSink sink;
        PortSlotTable table(sink);
        table.Reset(RunSettings(1, Timings::Scaled(0.1)));
        PortSlot& slot = table[0];
        slot.Fill(1);
        std::atomic<int> written{0};
        ASSERT_TRUE(slot.StartThread([&] {
            if (!SlotOpenChannel(table, 1, mode)) {
                return;
            }
            const std::string piece(512, 'U');
            while (!slot.stop.IsRequested() &&
                   ComWrite(slot.channel, piece.data(), 512) == ChannelResult::Done) {
                ++written;
            }
        }));
        // The pty takes some KiB and then the writer blocks: wait until it stops making progress.
        int last = -1;
        ASSERT_TRUE(WaitUntil([&] {
            const int now = written;
            const bool stalled = now > 0 && now == last;
            last = now;
            std::this_thread::sleep_for(100ms);
            return stalled;
        }));
        const auto start = Clock::now();
        SlotStopAll(table);
        const auto took = Clock::now() - start;
        EXPECT_LT(took, 1s);
        RecordProperty(
            "stop_all_us",
            static_cast<int>(std::chrono::duration_cast<std::chrono::microseconds>(took).count()));
        EXPECT_FALSE(slot.HasThread());
        EXPECT_EQ(slot.channel.load(), 0);
    }
}

// A cancel from another thread while Start pauses between two thread starts: the pause ends at
// once and no further thread starts; a cancelled controller starts nothing again.
TEST(SlotChannels, CancelDuringStartEndsThePauseAndStartsNothingMore) {
    PtyPorts ports(PortSlotTable::kSlotCount);
    RecordingSink sink;
    PortSlotTable table(sink);
    DownloadController controller(table);
    auto job = std::make_shared<DownloadJob>();
    job->portMode = PortMode::Multi;
    job->portCount = PortSlotTable::kSlotCount;
    job->fileCount = 1;
    job->rows.push_back({0, 1, std::filesystem::temp_directory_path() / "no-such-source", "a.bin"});
    job->timings.threadStartGapMs = 10000;  // only a stop can cut the start short

    std::thread canceller([&] {
        std::this_thread::sleep_for(300ms);
        controller.Cancel();
    });
    const auto start = Clock::now();
    EXPECT_TRUE(controller.Start(job));
    canceller.join();
    EXPECT_LT(Clock::now() - start, 5s);  // a hang bound: the pause alone is 10 s
    EXPECT_TRUE(table[0].HasThread());
    EXPECT_TRUE(table[0].stop.IsRequested());
    for (int index = 1; index < PortSlotTable::kSlotCount; ++index) {
        EXPECT_FALSE(table[index].HasThread()) << index;
    }
    controller.Stop();
    EXPECT_FALSE(table[0].HasThread());
    EXPECT_FALSE(controller.Start(job));
    EXPECT_FALSE(table[0].HasThread());
}

}  // namespace
}  // namespace termload
