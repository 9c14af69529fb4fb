// The serial port's portable rules over a scripted backend: what an unfinished write may drop and
// what a drain waits for. A pty cannot show these, as it always reports its output queue empty.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <thread>

#include "channels/serial_backend.h"

namespace termload {
namespace {

using namespace std::chrono_literals;

class ScriptedBackend final : public SerialBackend {
  public:
    std::size_t room = 1 << 20;    // bytes WriteNow still takes
    std::size_t queued = 0;        // what OutputQueued reports
    std::size_t sentPerSleep = 0;  // bytes that leave the queue during each sleep
    int outputDiscards = 0;
    bool shutDown = false;

    std::error_code Configure(const SerialSettings&, const char*&) override { return {}; }
    PortResult ReadNow(void*, std::size_t) override { return {}; }
    PortResult WriteNow(const void*, std::size_t count) override {
        const std::size_t taken = std::min(count, room);
        room -= taken;
        queued += taken;
        return {taken, PortStatus::kOk, {}, ""};
    }
    WaitResult Wait(Direction, Clock::time_point) override {
        return shutDown ? WaitResult::kShutDown : WaitResult::kTimedOut;
    }
    bool WaitForShutdown(Clock::time_point deadline) override {
        if (!shutDown) {
            std::this_thread::sleep_until(deadline);
            queued -= std::min(queued, sentPerSleep);
        }
        return shutDown;
    }
    std::size_t OutputQueued() override { return queued; }
    void DiscardInput() override {}
    void DiscardOutput() override {
        ++outputDiscards;
        queued = 0;
    }
    void Shutdown() override { shutDown = true; }
    bool HungUp() const override { return false; }
    bool ProbeHungUp() override { return false; }
    std::string Identity() override { return {}; }
};

struct PortUnderTest {
    ScriptedBackend* backend = new ScriptedBackend;
    SerialPort port{std::unique_ptr<SerialBackend>(backend)};
    PortUnderTest() {
        // 115200 8N1: the drain sleeps about 87 us per queued byte.
        const char* call = "";
        EXPECT_FALSE(port.Configure({}, call));
    }
};

const std::string kData(300, 'x');

TEST(SerialPortRules, UnfinishedWriteDropsOnlyWhatIsProvablyItsOwn) {
    // Alone in the queue: its unsent bytes go, and the result counts what went out.
    PortUnderTest alone;
    alone.backend->room = 100;
    PortResult result = alone.port.WriteAll(kData.data(), kData.size(), 20ms);
    EXPECT_EQ(result.status, PortStatus::kTimedOut);
    EXPECT_EQ(result.bytes, 0u);
    EXPECT_EQ(alone.backend->outputDiscards, 1);

    // Bytes of an earlier write were queued: they were reported as written, so nothing is dropped.
    PortUnderTest behind;
    behind.backend->queued = 50;
    behind.backend->room = 100;
    result = behind.port.WriteAll(kData.data(), kData.size(), 20ms);
    EXPECT_EQ(result.status, PortStatus::kTimedOut);
    EXPECT_EQ(behind.backend->outputDiscards, 0);
    EXPECT_EQ(behind.backend->queued, 150u);

    // Closed while waiting for room: the same rule, and the write ends as shut down.
    PortUnderTest closed;
    closed.backend->room = 100;
    closed.port.Shutdown();
    result = closed.port.WriteAll(kData.data(), kData.size(), 10s);
    EXPECT_EQ(result.status, PortStatus::kShutDown);
    EXPECT_EQ(closed.backend->outputDiscards, 1);
}

TEST(SerialPortRules, DrainWaitsForQueuedBytesAndNeverDropsThem) {
    // A write is done once its bytes have left the queue, not when the queue took them.
    PortUnderTest draining;
    draining.backend->sentPerSleep = 100;
    PortResult result = draining.port.WriteAll(kData.data(), kData.size(), 5s);
    EXPECT_EQ(result.status, PortStatus::kOk);
    EXPECT_EQ(result.bytes, kData.size());
    EXPECT_EQ(draining.backend->queued, 0u);

    // A purge's drain that runs out of time leaves the queue as it was.
    PortUnderTest stuck;
    stuck.backend->queued = 40;
    EXPECT_EQ(stuck.port.DrainOutput(30ms), PortStatus::kTimedOut);
    EXPECT_EQ(stuck.backend->queued, 40u);
    EXPECT_EQ(stuck.backend->outputDiscards, 0);

    // A write whose bytes were all taken but not sent when time ran out: reported as not sent,
    // and dropped only because nothing else was queued.
    PortUnderTest late;
    result = late.port.WriteAll(kData.data(), kData.size(), 30ms);
    EXPECT_EQ(result.status, PortStatus::kTimedOut);
    EXPECT_EQ(result.bytes, 0u);
    EXPECT_EQ(late.backend->outputDiscards, 1);

    stuck.port.Shutdown();
    EXPECT_EQ(stuck.port.DrainOutput(10s), PortStatus::kShutDown);
}

}  // namespace
}  // namespace termload
