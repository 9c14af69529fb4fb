// The download flows over a scripted link, at no pacing: what follows a refused frame (for each
// recovery a link may have) or an output that does not drain, a terminal that keeps stalling, a
// port that goes away in the middle of a pass or cannot be opened again for a while, the M868
// address file of every pass, and stops that come in the middle of a frame, during the pause
// after a file or while a port is waited for.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <string>
#include <vector>

#include "engine/download_controller.h"
#include "engine/file_frame.h"
#include "engine/port_slot_table.h"
#include "support/download_workspace.h"
#include "support/pass_shapes.h"
#include "support/scripted_link.h"

namespace termload::download_test {
namespace {

using test::LinkAction;
using test::LinkCall;
using Strings = std::vector<std::string>;

class DownloadLink : public ::testing::Test {
  protected:
    DownloadLink() {
        ws.config.settings.langBase = kLangEnglish;
        ws.options.timings = Timings::Scaled(0);
        ws.options.portTable = PortTable{};
        ws.AddFile("a.bin", 5000, 1);      // frames a.bin/0, a.bin/1: writes 1-4
        ws.AddFile("b.bin", 3 * 4096, 2);  // frames b.bin/0-2: writes 5-10
    }

    void Start(int passes, std::uint32_t absentLimitMs = 0) {
        ws.options.passLimit = passes;
        const StartCheck check = CheckStart(ws.config, ws.options);
        ASSERT_TRUE(check.job);
        auto job = std::make_shared<DownloadJob>(*check.job);
        job->absentLimitMs = absentLimitMs;
        ASSERT_TRUE(controller.Start(job));
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

const Strings kFileA = {"open", "frame a.bin/0", "frame a.bin/1", "drain", "close"};
const Strings kFileB = {"open",          "frame b.bin/0", "frame b.bin/1",
                        "frame b.bin/2", "drain",         "close"};

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
    EXPECT_EQ(
        links.Log(),
        Concat(
            {kFileA, {"open", "frame b.bin/0", "frame b.bin/1 failed", "purge", "close"}, kFileB}));
    EXPECT_EQ(host.Shown(0, "[COM1] File read error4", StatusColour::Red), 1);
    EXPECT_EQ(host.Shown(0, "[[COM1]]b.bin...OK", StatusColour::Blue), 1);
    // Every file arrived whole, but the pass cannot vouch for what the terminal made of it.
    EXPECT_EQ(host.PassesOk(0), std::vector<bool>{false});
    EXPECT_TRUE(host.FailedOnce(0, {.cause = FailureCause::TimeOut,
                                    .restart = PassRestart::File,
                                    .file = "b.bin",
                                    .text = "[COM1] File read error4"}));
}

TEST_F(DownloadLink, LinkThatGivesUpTheFileGoesOnWithTheNextShowingItsOwnDigit) {
    links.failureDigit = '2';
    links.recovery = FrameRecovery::GiveUpFile;
    links.At(LinkCall::Write, 2, LinkAction::Fail, FailureCause::Transport);  // a.bin/0
    Run(1);
    EXPECT_EQ(links.Log(), Concat({{"open", "frame a.bin/0 failed", "close"}, kFileB}));
    EXPECT_EQ(host.Shown(0, "[COM1] File read error2", StatusColour::Red), 1);
    EXPECT_EQ(host.PassesOk(0), std::vector<bool>{false});
    EXPECT_TRUE(
        host.FailedOnce(0, {.cause = FailureCause::Transport, .restart = PassRestart::None}));
}

TEST_F(DownloadLink, HangUpEndsThePassAndTheNextStartsFromTheFirstFile) {
    links.At(LinkCall::Write, 3, LinkAction::Fail, FailureCause::HangUp);  // a.bin/1
    Run(2);
    EXPECT_EQ(links.Log(),
              Concat({{"open", "frame a.bin/0", "frame a.bin/1 failed", "close"}, kFileA, kFileB}));
    EXPECT_EQ(host.PassesOk(0), (std::vector<bool>{false, true}));
    EXPECT_TRUE(
        host.FailedOnce(0, {.cause = FailureCause::HangUp, .restart = PassRestart::NextPass}));
}

// The last frame counts only once the port's output has drained: a queue that does not empty in
// time is the time-out of a write that gets nowhere, and the file goes again from block 0.
TEST_F(DownloadLink, OutputThatDoesNotDrainIsATimeOutAndTheFileGoesAgain) {
    links.At(LinkCall::Drain, 1, LinkAction::Fail, FailureCause::TimeOut);  // a.bin's end
    Run(1);
    EXPECT_EQ(links.Log(),
              Concat({{"open", "frame a.bin/0", "frame a.bin/1", "drain failed", "purge", "close"},
                      kFileA,
                      kFileB}));
    EXPECT_EQ(host.Shown(0, "[COM1] File read error4", StatusColour::Red), 1);
    EXPECT_EQ(host.PassesOk(0), std::vector<bool>{false});
    EXPECT_TRUE(host.FailedOnce(
        0, {.cause = FailureCause::TimeOut, .restart = PassRestart::File, .file = "a.bin"}));
}

// A terminal that stalls on every attempt at a file: its third time-out in a row ends the pass,
// and the next pass serves whoever is on the port from the first file on.
TEST_F(DownloadLink, ThirdTimeOutOfOneFileEndsThePass) {
    for (const int write : {8, 12, 16}) {  // b.bin/1's second half, attempt after attempt
        links.At(LinkCall::Write, write, LinkAction::Fail, FailureCause::TimeOut);
    }
    Run(2);
    const Strings stalled = {"open", "frame b.bin/0", "frame b.bin/1 failed", "purge", "close"};
    EXPECT_EQ(links.Log(),
              Concat({kFileA,
                      stalled,
                      {"open", "frame b.bin/0", "frame b.bin/1 failed", "purge", "close"},
                      {"open", "frame b.bin/0", "frame b.bin/1 failed", "close"},
                      kFileA,
                      kFileB}));
    EXPECT_EQ(host.PassesOk(0), (std::vector<bool>{false, true}));
    const auto failures = host.Failures(0);
    ASSERT_EQ(failures.size(), 3u);
    for (std::size_t i = 0; i < failures.size(); ++i) {
        EXPECT_EQ(failures[i].cause, FailureCause::TimeOut);
        EXPECT_EQ(failures[i].restart, i < 2 ? PassRestart::File : PassRestart::NextPass);
    }
}

// Every pass serves a terminal of its own: each M868 terminal gets the address file first.
TEST_F(DownloadLink, M868AddressFileOpensEveryPass) {
    ws.config.controls.modelItems = {"M868"};
    Run(3);
    const Strings log = links.Log();
    const Strings addressFile = {"open", "frame /0", "drain", "close"};
    EXPECT_EQ(log, Concat({addressFile, kFileA, kFileB, addressFile, kFileA, kFileB, addressFile,
                           kFileA, kFileB}));
    EXPECT_EQ(host.PassesOk(0), (std::vector<bool>{true, true, true}));
}

// The engine decides each pass once: a pass is ok only when nothing in it failed, the M868
// address file included; a stopped pass has no verdict. The window's tally and the command line's
// report read this verdict (gui_tally_test, cli_records_test run the same table).
TEST(PassShapes, TheEngineFailsEveryPassInWhichSomethingFailed) {
    for (const test::PassShape& shape : test::PassShapes()) {
        SCOPED_TRACE(shape.name);
        RecordingHost host;
        test::RunPassShape(shape, host);
        const std::vector<bool> verdicts = host.PassesOk(0);
        switch (shape.verdict) {
            case test::PassVerdict::Ok:
                EXPECT_EQ(verdicts, std::vector<bool>{true});
                EXPECT_TRUE(host.Failures(0).empty());
                break;
            case test::PassVerdict::Failed:
                EXPECT_EQ(verdicts, std::vector<bool>{false});
                EXPECT_EQ(host.Failures(0).size(), 1u);
                break;
            case test::PassVerdict::Stopped:
                EXPECT_TRUE(verdicts.empty());
                break;
        }
    }
}

// A port that cannot be opened again in the middle of a run (a terminal swapped on a line of USB
// serial adapters) fails its pass, keeps its red text and is tried again every second; once it
// opens, the next pass begins. The operator's stop ends the wait at once.
TEST_F(DownloadLink, PortThatDoesNotOpenFailsThePassAndIsWaitedFor) {
    ws.options.timings.portRetryMs = 20;
    links.At(LinkCall::Open, 2, LinkAction::Fail);  // b.bin's open
    links.At(LinkCall::Open, 3, LinkAction::Fail);  // the first retry
    Run(2);
    EXPECT_EQ(links.Log(),
              Concat({kFileA, {"open failed", "open failed", "open", "close"}, kFileA, kFileB}));
    EXPECT_EQ(host.PassesOk(0), (std::vector<bool>{false, true}));
    EXPECT_TRUE(host.FailedOnce(0, {.cause = FailureCause::PortOpen,
                                    .restart = PassRestart::NextPass,
                                    .text = "[COM1]Port open failed!"}));

    links.At(LinkCall::Open, 7, LinkAction::Vanish);  // the next run's first open, and every later
    Start(0);
    ASSERT_TRUE(host.WaitUntil(
        [&](const auto&) {
            const Strings log = links.Log();
            return std::count(log.begin(), log.end(), "open failed") >= 6;
        },
        10s));
    EXPECT_EQ(host.LastStatus(0).text, "[COM1]Port open failed!");
    EXPECT_EQ(host.LastStatus(0).colour, StatusColour::Red);
    EXPECT_EQ(host.PassesOk(0), (std::vector<bool>{false, true, false})) << "one failed pass";
    EXPECT_TRUE(controller.Running());
    EXPECT_LT(TimedStop(), 5s);
    EXPECT_EQ(host.LastStatus(0).text, "[COM1]Ready");
}

// A scripted line's bound: a port away for longer than the absence limit fails the passes it has
// left at once, and its run ends instead of waiting for ever.
TEST_F(DownloadLink, PortAbsentLongerThanItsLimitFailsTheRemainingPasses) {
    ws.options.timings.portRetryMs = 20;
    links.At(LinkCall::Open, 2, LinkAction::Vanish);  // b.bin's open, and every later one
    Start(3, 100);
    EXPECT_TRUE(host.WaitUntil([](const auto& h) { return h.RunsEnded() > 0; }, 10s));
    controller.Stop();
    const Strings log = links.Log();
    EXPECT_GE(std::count(log.begin(), log.end(), "open failed"), 3) << "tried for a while";
    EXPECT_EQ(host.PassesOk(0), (std::vector<bool>{false, false, false}));
    const auto failures = host.Failures(0);
    EXPECT_EQ(std::count_if(failures.begin(), failures.end(),
                            [](const auto& f) { return f.cause == FailureCause::PortOpen; }),
              3);
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
}

TEST_F(DownloadLink, StopDuringThePauseAfterAFileEndsAtOnce) {
    ws.config.settings.fileIntervalFixedMs = kMaxDelayMs;  // a minute after every file
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
