// The BIOS, kernel and root rows with a scripted boot console and a scripted USB device: which
// exchanges run how often, what the operator is shown, and how a stop or a silent device ends a
// transfer.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "config/string_table.h"
#include "engine/download_job.h"
#include "engine/port_slot_table.h"
#include "engine/slot_channel.h"
#include "engine/usb_pipe_flow.h"
#include "support/files.h"
#include "support/recording_host.h"

namespace termload {
namespace {

using namespace std::chrono_literals;
using Strings = std::vector<std::string>;

// Answers each exchange from its script, logging the calls. A script is a string of answers, 't'
// for success and 'f' for failure; one that has run out answers 't'.
struct ScriptedConsole : UsbFlowConsole {
    bool UsbDown() override { return Next("usbdown", usbDown); }
    bool NandErase(char region) override { return Next(std::string("erase ") + region, erase); }
    bool NandSolidify(char region) override {
        return Next(std::string("solidify ") + region, solidify);
    }
    bool Next(std::string call, std::string& script) {
        log.push_back(std::move(call));
        const bool result = script.empty() || script.front() == 't';
        script.erase(0, 1);
        return result;
    }
    std::string usbDown, erase, solidify;
    Strings log;
};

// What the device's pipes took, over every open of a test.
struct PipeRecord {
    std::vector<std::uint8_t> received;
    std::vector<std::size_t> chunks;
    std::vector<UsbPipe::Milliseconds> timeouts;
};

// A device's pipe that takes `takes` bytes, then nothing until its time-out or a cancel.
class ScriptedPipe : public UsbPipe {
  public:
    ScriptedPipe(PipeRecord& record, std::size_t takes, std::function<void()> onFirstWrite)
        : record_(record), takes_(takes), onFirstWrite_(std::move(onFirstWrite)) {}

    UsbPipeResult Write(std::span<const std::uint8_t> data, Milliseconds timeout) override {
        std::unique_lock lock(mutex_);
        record_.timeouts.push_back(timeout);
        if (onFirstWrite_) {
            std::exchange(onFirstWrite_, nullptr)();
        }
        if (taken_ + data.size() <= takes_) {
            taken_ += data.size();
            record_.received.insert(record_.received.end(), data.begin(), data.end());
            record_.chunks.push_back(data.size());
            return {UsbPipeStatus::kOk, data.size(), {}};
        }
        const bool cancelled = changed_.wait_for(lock, timeout, [this] { return cancelled_; });
        return {cancelled ? UsbPipeStatus::kCancelled : UsbPipeStatus::kTimedOut, 0, {}};
    }
    void Cancel() override {
        std::lock_guard lock(mutex_);
        cancelled_ = true;
        changed_.notify_all();
    }

  private:
    PipeRecord& record_;
    std::mutex mutex_;
    std::condition_variable changed_;
    bool cancelled_ = false;
    std::size_t takes_;
    std::size_t taken_ = 0;
    std::function<void()> onFirstWrite_;
};

class UsbFlow : public ::testing::Test {
  protected:
    UsbFlow() {
        auto job = std::make_shared<DownloadJob>();
        job->langBase = kLangEnglish;
        job->kernelMode = true;
        job->cmdDelayMs = 0;
        job->timings = Timings::Scaled(0);
        job->timings.usbPipeChunkTimeoutMs = 150;
        job_ = job;
        table.Reset(job_);
        slot().Fill(1);
        slot().channel = 7;
        source = dir.Path() / "bios.bin";
        test::WriteFile(source, test::PatternBytes(10000, 3));
    }

    PortSlot& slot() { return table[0]; }
    const DownloadJob& job() const { return *job_; }

    UsbPipeAccess Usb() {
        return {[this](std::string&) {
                    ++probes;
                    return present ? UsbPipeStatus::kOk : UsbPipeStatus::kNotFound;
                },
                [this](UsbPipeStatus& status, std::string&) -> std::unique_ptr<UsbPipe> {
                    ++opens;
                    if (!openable) {
                        status = UsbPipeStatus::kOpenFailed;
                        return nullptr;
                    }
                    return std::make_unique<ScriptedPipe>(pipe, takes, onFirstWrite);
                }};
    }

    FlowOutcome Run(int kind) {
        return RunUsbPipeFlow(slot(), job(), kind, {2, source, "bios.bin", "bios.bin"}, console,
                              Usb());
    }

    Strings Texts() const {
        Strings texts;
        for (const auto& entry : host.Statuses(0)) {
            texts.push_back(entry.text);
        }
        return texts;
    }

    test::ScratchDir dir{"usb-flow"};
    std::filesystem::path source;
    test::RecordingHost host;
    PortSlotTable table{host};
    std::shared_ptr<const DownloadJob> job_;
    ScriptedConsole console;
    bool present = true;
    bool openable = true;
    std::size_t takes = SIZE_MAX;
    std::function<void()> onFirstWrite;
    PipeRecord pipe;
    int probes = 0;
    int opens = 0;
};

TEST_F(UsbFlow, BiosImageGoesInChunksWithItsProgressThenIsSolidified) {
    table.checksumWatch =
        ChecksumWatch::ErrorSeen;  // left from an earlier row: the transfer re-arms it
    EXPECT_EQ(Run(3), FlowOutcome::NextRow);
    EXPECT_EQ(console.log, (Strings{"usbdown", "solidify 0"}));
    // Address, length 10010, the file, its sum: 8192 + 1818 bytes.
    EXPECT_EQ(pipe.chunks, (std::vector<std::size_t>{8192, 1818}));
    EXPECT_EQ(std::vector<std::uint8_t>(pipe.received.begin(), pipe.received.begin() + 8),
              (std::vector<std::uint8_t>{0x00, 0x00, 0x20, 0x30, 0x1A, 0x27, 0x00, 0x00}));
    EXPECT_EQ(pipe.timeouts.front(), 150ms);
    EXPECT_EQ(Texts(), (Strings{"Download BIOS...", "Connect USB equipment Success",
                                "Downloading bios.bin(8K/9K)", "Downloading bios.bin(9K/9K)",
                                "Download BIOS...OK"}));
    EXPECT_EQ(host.LastProgress(0).position, 9);
    EXPECT_EQ(host.LastProgress(0).maximum, 9);
    EXPECT_EQ(host.ErrorCount(), 0u);
    EXPECT_EQ(table.checksumWatch, ChecksumWatch::Idle);
}

// Each failing step shows its own text to the operator, costs the pass, and starts over.
TEST_F(UsbFlow, EveryFailingStepShowsItsTextAndStartsOver) {
    // `firstText` is the flow's first status.
    struct Case {
        int kind;
        std::string erase, solidify;
        Strings calls;
        std::string error, firstText;
    };
    const std::string kernel = "Erasing kernel ...", root = "[COM1]Erasing root file...";
    const std::vector<Case> cases = {
        {4, "fff", "", Strings(3, "erase 1"), "Erase kernel error！", kernel},
        {5, "fff", "", Strings(3, "erase 2"), "Erase root file failed！ ", root},
        {5,
         "ft",
         "f",
         {"erase 2", "erase 2", "usbdown", "solidify 2"},
         "Solidify Root File failed！",
         root},
        {3, "", "f", {"usbdown", "solidify 0"}, " Solidify BIOS failed！", "Download BIOS..."},
        {4, "", "f", {"erase 1", "usbdown", "solidify 1"}, "Solidify kernel failed！", kernel},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.error);
        console = {};
        console.erase = c.erase;
        console.solidify = c.solidify;
        const std::size_t errorsBefore = host.ErrorCount();
        const std::size_t textsBefore = host.Statuses(0).size();
        EXPECT_EQ(Run(c.kind), FlowOutcome::StartOver);
        EXPECT_EQ(console.log, c.calls);
        ASSERT_EQ(host.ErrorCount(), errorsBefore + 1);
        EXPECT_EQ(host.ErrorTextAt(errorsBefore), c.error + "    ");
        EXPECT_EQ(host.Statuses(0).at(textsBefore).text, c.firstText);
    }
}

TEST_F(UsbFlow, ConnectTriesUsbDownThreeTimesAndTellsWhenTheDeviceIsMissing) {
    // A boot loader that never switches: no text at all.
    console.usbDown = "fff";
    EXPECT_FALSE(UsbConnect(slot(), job(), console, Usb()));
    EXPECT_EQ(console.log, (Strings{"usbdown", "usbdown", "usbdown"}));
    EXPECT_TRUE(host.Statuses(0).empty());
    EXPECT_EQ(probes, 0);

    // Switched, but no device shows: three looks per attempt, string 72 each time.
    console = {};
    present = false;
    EXPECT_FALSE(UsbConnect(slot(), job(), console, Usb()));
    EXPECT_EQ(probes, 9);
    EXPECT_EQ(Texts(), Strings(3, "Connect USB equipment failed, please try later..."));

    // Two download attempts, then the row fails.
    console = {};
    EXPECT_EQ(Run(3), FlowOutcome::StartOver);
    EXPECT_EQ(console.log, Strings(6, "usbdown"));
    EXPECT_EQ(host.ErrorTextAt(0), "DownLoad File failed Or Crc Error    ");
}

TEST_F(UsbFlow, DownloadFailsWhenThePipeCannotOpenOrTheImageIsRefused) {
    openable = false;
    EXPECT_EQ(Run(4), FlowOutcome::StartOver);
    EXPECT_EQ(opens, 6);  // three tries in each of two attempts
    EXPECT_EQ(host.LastStatus(0).text, "Open USB Equipment failed,please try later...");
    EXPECT_EQ(host.ErrorTextAt(0), "DownLoad File failed Or Crc Error    ");

    // The pipe took the whole image but the terminal printed "Checksum Error" meanwhile.
    openable = true;
    console = {};
    onFirstWrite = [this] {
        const std::string reply = "\r\nChecksum Error\r\n";
        SlotReceive(table, 7, reply.data(), reply.size());
    };
    EXPECT_EQ(Run(5), FlowOutcome::StartOver);
    EXPECT_EQ(console.log, (Strings{"erase 2", "usbdown"}));  // one attempt sent it: no solidify
    EXPECT_EQ(host.ErrorTextAt(1), "DownLoad File failed Or Crc Error    ");

    // A source that went away.
    console = {};
    onFirstWrite = nullptr;
    std::filesystem::remove(source);
    EXPECT_EQ(Run(3), FlowOutcome::StartOver);
    EXPECT_EQ(host.LastStatus(0).text, "Open file：bios.binFailed");
}

TEST_F(UsbFlow, DeviceThatStopsTakingDataFailsTheChunkAfterItsTimeOut) {
    takes = 8192;
    EXPECT_EQ(Run(3), FlowOutcome::StartOver);
    // Each attempt: the first chunk, then the one the device never takes.
    EXPECT_EQ(pipe.timeouts, std::vector<UsbPipe::Milliseconds>(4, 150ms));
    EXPECT_EQ(console.log, (Strings{"usbdown", "usbdown"}));  // two attempts, no solidify
    EXPECT_EQ(host.LastStatus(0).text, "Downloading bios.bin(8K/9K)");
}

TEST_F(UsbFlow, StopDuringAChunkEndsTheTransferAtOnceWithoutAnErrorBox) {
    auto longer = std::make_shared<DownloadJob>(job());
    longer->timings.usbPipeChunkTimeoutMs =
        90000;  // well past the bound below: only a cancel meets it
    job_ = longer;
    takes = 0;
    std::thread stopper;
    onFirstWrite = [&] { stopper = std::thread([this] { slot().RequestStop(); }); };
    const auto began = std::chrono::steady_clock::now();
    EXPECT_EQ(Run(3), FlowOutcome::NextRow);
    stopper.join();
    EXPECT_LT(std::chrono::steady_clock::now() - began, 60s);  // a hang, not a speed check
    EXPECT_EQ(console.log, (Strings{"usbdown"}));
    EXPECT_EQ(host.ErrorCount(), 0u);
}

}  // namespace
}  // namespace termload
