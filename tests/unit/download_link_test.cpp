// The download flows over a scripted link, at no pacing: what follows a refused frame (for each
// recovery a link may have), a port that goes away in the middle of a pass, and stops that come
// in the middle of a frame or during the pause after a file.
#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <vector>

#include "e2e/download_harness.h"
#include "engine/download_controller.h"
#include "engine/file_frame.h"
#include "engine/port_slot.h"
#include "support/scripted_link.h"

namespace termload::download_test {
namespace {

using test::LinkAction;
using test::LinkCall;
using Strings = std::vector<std::string>;

class DownloadLink : public ::testing::Test {
  protected:
    DownloadLink() {
        ws.config.settings.LangBase = kLangEnglish;
        ws.options.timings = Timings::Scaled(0);
        ws.options.portTable = PortTable{};
        ws.AddFile("a.bin", 5000, 1);      // frames a.bin/0, a.bin/1: writes 1-4
        ws.AddFile("b.bin", 3 * 4096, 2);  // frames b.bin/0-2: writes 5-10
    }

    void Start(int passes) {
        ws.options.passLimit = passes;
        const StartCheck check = CheckStart(ws.config, ws.options);
        ASSERT_TRUE(check.job);
        ASSERT_TRUE(controller.Start(check.job));
    }

    void Run(int passes) {
        Start(passes);
        EXPECT_TRUE(host.WaitUntil([](const auto& h) { return h.RunsEnded() > 0; }, 10s));
        controller.Stop();
    }

    // How long the operator's stop takes to end the run.
    std::chrono::milliseconds TimedStop() {
        const auto began = std::chrono::steady_clock::now();
        controller.Stop();
        return std::chrono::duration_cast<std::chrono::milliseconds>(
            std::chrono::steady_clock::now() - began);
    }

    Workspace ws;
    test::ScriptedLinks links;
    RecordingHost host;
    PortSlotTable table{host};
    DownloadController controller{table, links.Factory()};
};

const Strings kFileA = {"open", "frame a.bin/0", "frame a.bin/1", "close"};

Strings Concat(std::initializer_list<Strings> parts) {
    Strings all;
    for (const Strings& part : parts) {
        all.insert(all.end(), part.begin(), part.end());
    }
    return all;
}

TEST_F(DownloadLink, RefusedFrameRestartsTheFileFromBlockZeroOnAFreshOpen) {
    links.At(LinkCall::Write, 8, LinkAction::Fail, FailureCause::TimeOut);  // b.bin/1
    Run(1);
    EXPECT_EQ(links.Log(),
              Concat({kFileA,
                      {"open", "frame b.bin/0", "frame b.bin/1 failed", "purge", "close", "open",
                       "frame b.bin/0", "frame b.bin/1", "frame b.bin/2", "close"}}));
    EXPECT_EQ(host.Shown(0, "[COM1] File read error4", StatusColour::Red), 1);
    EXPECT_EQ(host.Shown(0, "[[COM1]]b.bin...OK", StatusColour::Blue), 1);
    // Every file arrived whole, but the pass cannot vouch for what the terminal made of it.
    EXPECT_EQ(host.PassesOk(0), std::vector<bool>{false});
    ASSERT_EQ(host.Failures(0).size(), 1u);
    EXPECT_EQ(host.Failures(0)[0].cause, FailureCause::TimeOut);
    EXPECT_EQ(host.Failures(0)[0].restart, PassRestart::File);
    EXPECT_EQ(host.Failures(0)[0].file, "b.bin");
    EXPECT_EQ(host.Failures(0)[0].text, "[COM1] File read error4");
}

TEST_F(DownloadLink, LinkThatGivesUpTheFileGoesOnWithTheNextShowingItsOwnDigit) {
    links.failureDigit = '2';
    links.recovery = FrameRecovery::GiveUpFile;
    links.At(LinkCall::Write, 2, LinkAction::Fail, FailureCause::Transport);  // a.bin/0
    Run(1);
    EXPECT_EQ(links.Log(), (Strings{"open", "frame a.bin/0 failed", "close", "open",
                                    "frame b.bin/0", "frame b.bin/1", "frame b.bin/2", "close"}));
    EXPECT_EQ(host.Shown(0, "[COM1] File read error2", StatusColour::Red), 1);
    EXPECT_EQ(host.PassesOk(0), std::vector<bool>{false});
    ASSERT_EQ(host.Failures(0).size(), 1u);
    EXPECT_EQ(host.Failures(0)[0].cause, FailureCause::Transport);
    EXPECT_EQ(host.Failures(0)[0].restart, PassRestart::None);
}

TEST_F(DownloadLink, HangUpEndsThePassAndTheNextStartsFromTheFirstFile) {
    links.At(LinkCall::Write, 3, LinkAction::Fail, FailureCause::HangUp);  // a.bin/1
    Run(2);
    const Strings fileB = {"open", "frame b.bin/0", "frame b.bin/1", "frame b.bin/2", "close"};
    EXPECT_EQ(links.Log(),
              Concat({{"open", "frame a.bin/0", "frame a.bin/1 failed", "close"}, kFileA, fileB}));
    EXPECT_EQ(host.PassesOk(0), (std::vector<bool>{false, true}));
    ASSERT_EQ(host.Failures(0).size(), 1u);
    EXPECT_EQ(host.Failures(0)[0].cause, FailureCause::HangUp);
    EXPECT_EQ(host.Failures(0)[0].restart, PassRestart::NextPass);
}

// A port that cannot be opened, at the start or in the middle of a pass: the failure stays shown
// and the thread ends; running until stopped, the host hears that no port is left; with a pass
// limit, the run has ended.
TEST_F(DownloadLink, PortThatDoesNotOpenFailsThePassAndEndsItsThread) {
    links.At(LinkCall::Open, 2, LinkAction::Vanish);  // b.bin's open
    Start(0);
    ASSERT_TRUE(host.WaitUntil([](const auto& h) { return h.AllSlotsEndedCount() > 0; }, 10s));
    EXPECT_EQ(links.Log(), Concat({kFileA, {"open failed"}}));
    EXPECT_EQ(host.LastStatus(0).text, "[COM1]Port open failed!");
    EXPECT_EQ(host.LastStatus(0).colour, StatusColour::Red);
    EXPECT_EQ(host.PassesOk(0), std::vector<bool>{false});
    ASSERT_EQ(host.Failures(0).size(), 1u);
    EXPECT_EQ(host.Failures(0)[0].cause, FailureCause::PortOpen);
    EXPECT_EQ(host.Failures(0)[0].restart, PassRestart::None);
    EXPECT_EQ(host.Failures(0)[0].text, "[COM1]Port open failed!");
    EXPECT_EQ(host.RunsEnded(), 0);
    EXPECT_TRUE(controller.Running());
    controller.Stop();
    EXPECT_FALSE(controller.Running());
    EXPECT_EQ(host.LastStatus(0).text, "[COM1]Ready");

    Run(1);  // the device is still gone: the first open fails
    EXPECT_EQ(host.RunsEnded(), 1);
    EXPECT_EQ(host.PassesOk(0), (std::vector<bool>{false, false}));
    EXPECT_EQ(links.Log().back(), "open failed");
}

// The operator's stop while a frame's second half waits on a terminal that takes nothing, and a
// slot's own stop between the halves: the frame does not count, nothing follows it, and neither
// is a fault of the terminal.
TEST_F(DownloadLink, StopInTheMiddleOfAFrameEndsTheRunAtOnce) {
    links.At(LinkCall::Write, 4, LinkAction::Hold);  // a.bin/1, second half
    Start(0);
    ASSERT_TRUE(links.WaitUntilHeld(10s));
    EXPECT_LT(TimedStop(), 5s);
    EXPECT_EQ(links.Log(), (Strings{"open", "frame a.bin/0", "close", "frame a.bin/1 cut short"}));
    EXPECT_EQ(links.Written().size(), FileFrame::kSize + FileFrame::kSize / 2);
    EXPECT_EQ(host.Shown(0, "[COM1] File read error4", StatusColour::Red), 0);
    EXPECT_TRUE(host.PassesOk(0).empty());
    EXPECT_TRUE(host.Failures(0).empty());
    EXPECT_EQ(host.LastStatus(0).text, "[COM1]Ready");
    EXPECT_EQ(table[0].channel.load(), 0);

    links.At(LinkCall::Write, 7, LinkAction::Stop);  // the next run's a.bin/1, first half
    Start(0);
    ASSERT_TRUE(host.WaitUntil([](const auto& h) { return h.RunsEnded() > 0; }, 10s));
    const Strings log = links.Log();
    EXPECT_EQ(Strings(log.begin() + 4, log.end()),
              (Strings{"open", "frame a.bin/0", "frame a.bin/1 cut short", "close"}));
    EXPECT_TRUE(host.PassesOk(0).empty());
    EXPECT_TRUE(host.Failures(0).empty());
    controller.Stop();
}

// The operator's stop refuses an open that has not begun: the pass is cut short, not failed.
TEST_F(DownloadLink, StopThatRefusesAnOpenIsNoPortFailure) {
    links.At(LinkCall::Open, 2, LinkAction::Stop);  // b.bin's open
    Start(0);
    ASSERT_TRUE(host.WaitUntil([](const auto& h) { return h.RunsEnded() > 0; }, 10s));
    controller.Stop();
    EXPECT_EQ(links.Log(), Concat({kFileA, {"open failed"}}));
    EXPECT_EQ(host.Shown(0, "[COM1]Port open failed!", StatusColour::Red), 0);
    EXPECT_TRUE(host.PassesOk(0).empty());
    EXPECT_TRUE(host.Failures(0).empty());
    EXPECT_EQ(host.AllSlotsEndedCount(), 0);
}

TEST_F(DownloadLink, StopDuringThePauseAfterAFileEndsAtOnce) {
    ws.config.settings.FILE_INTERVAL_ = kMaxDelayMs;  // a minute after every file
    Start(0);
    ASSERT_TRUE(host.WaitUntil(
        [](const auto& h) { return h.Shown(0, "[[COM1]]a.bin...OK", StatusColour::Blue) > 0; },
        10s));
    EXPECT_LT(TimedStop(), 5s);
    EXPECT_EQ(links.Log(), kFileA);
    EXPECT_TRUE(host.PassesOk(0).empty());
    EXPECT_EQ(host.LastStatus(0).text, "[COM1]Ready");
}

}  // namespace
}  // namespace termload::download_test
