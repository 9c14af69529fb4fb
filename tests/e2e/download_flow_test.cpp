// The file download on real pseudo-terminals with the test as the terminal: the bytes on the
// wire, bad source files, and terminals that hang up or stall once.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <thread>

#include "e2e/download_harness.h"
#include "engine/download_controller.h"
#include "engine/port_slot_table.h"

namespace termload::download_test {
namespace {

class DownloadFlow : public ::testing::Test {
  protected:
    static void SetUpTestSuite() { ChannelLibInit(); }
    DownloadFlow() { ws.config.settings.langBase = kLangEnglish; }

    void Start(const Workspace& ws) {
        const StartCheck check = CheckStart(ws.config, ws.options);
        ASSERT_TRUE(check.job);
        ASSERT_TRUE(controller.Start(check.job));
    }

    // Runs `passes` passes and waits for the run to end.
    void Run(Workspace& ws, int passes) {
        ws.options.passLimit = passes;
        Start(ws);
        EXPECT_TRUE(host.WaitUntil([](const auto& h) { return h.RunsEnded() > 0; }, 60s));
        controller.Stop();
    }

    // The workspace, in English, and a terminal on COM1 that takes every byte.
    Workspace ws;
    PtyCapture capture;
    test::PortMapForTest map{{&capture.Peer()}};
    RecordingHost host;
    PortSlotTable table{host};
    DownloadController controller{table};
};

class DownloadWire : public DownloadFlow, public ::testing::WithParamInterface<bool> {};

// Three files, the third of 5000 bytes (mode code 05, version 10): 55 55 AA AA 03 00 02 05 10...
TEST_P(DownloadWire, EveryFrameMatchesTheLayoutByteForByte) {
    const bool full = GetParam();
    ws.config.settings.newMachine = full;
    ws.config.settings.rootDir = "/home/";
    ws.AddFile("b.bin", 4097, 1);
    ws.AddFile("c.bin", 5000, 2, "eight.ch");

    Run(ws, 1);
    // RootDir goes in front: "/home/eight.ch" fills the compact frame's 14 bytes.
    const std::string expected = ExpectedFrames(full, 2, "/home/b.bin", PatternBytes(4097, 1)) +
                                 ExpectedFrames(full, 2, "/home/eight.ch", PatternBytes(5000, 2));
    EXPECT_TRUE(SameBytes(capture.BytesWhenQuiet(), expected))
        << "the second block of b.bin 1 byte and 4095 zeros";
    EXPECT_EQ(host.Shown(0, "[COM1]DownLoad..  c.bin(5K/5K)", StatusColour::Black), 2);
    EXPECT_EQ(host.Shown(0, "[[COM1]]c.bin...OK", StatusColour::Blue), 1);
    EXPECT_EQ(host.PassesOk(0), std::vector<bool>{true});
    EXPECT_TRUE(host.Failures(0).empty());
}

INSTANTIATE_TEST_SUITE_P(FullAndCompact, DownloadWire, ::testing::Bool());

TEST_F(DownloadFlow, BadSourceFilesCostOnlyTheirRow) {
    ws.AddFile("gone.bin", 100, 0);
    ws.AddFile("big.bin", 1, 0);
    ws.AddFile("shrunk.bin", 9000, 6);
    ws.AddFile("emptied.bin", 100, 8);
    ws.AddFile("ok.bin", 100, 7);
    ws.options.passLimit = 2;
    const StartCheck check = CheckStart(ws.config, ws.options);
    ASSERT_TRUE(check.job);
    // Between the start's checks and the send: one file goes, one shrinks, one becomes empty,
    // one grows past the limit by a byte (sparse on disk).
    std::filesystem::remove(ws.Dir() / "gone.bin");
    std::filesystem::resize_file(ws.Dir() / "shrunk.bin", 5000);
    std::filesystem::resize_file(ws.Dir() / "emptied.bin", 0);
    std::filesystem::resize_file(ws.Dir() / "big.bin", 0x3FC0001);
    ASSERT_TRUE(controller.Start(check.job));
    EXPECT_TRUE(host.WaitUntil([](const auto& h) { return h.RunsEnded() > 0; }, 60s));
    controller.Stop();

    const std::string pass =
        ExpectedFrames(true, 5, "shrunk.bin", PatternBytes(9000, 6).substr(0, 5000)) +
        ExpectedFrames(true, 5, "ok.bin", PatternBytes(100, 7));
    EXPECT_TRUE(SameBytes(capture.BytesWhenQuiet(), pass + pass)) << "no frame for emptied.bin";
    EXPECT_EQ(host.Shown(0, "[COM1] File read error1", StatusColour::Red), 2)
        << "the emptied file fails in every pass";
    EXPECT_EQ(host.Shown(0, "[[COM1]]emptied.bin...OK", StatusColour::Blue), 0);
    EXPECT_EQ(host.Shown(0, "[COM1]gone.bin...[COM1]File open failed", StatusColour::Red), 2);
    EXPECT_EQ(host.Shown(0, "[COM1][COM1]big.bin...File size must less 64M", StatusColour::Red), 2)
        << "a file grown past the limit fails in every pass it is in";
    EXPECT_EQ(host.PassesOk(0), (std::vector<bool>{false, false}));
}

// A source overwritten (same size) while it is sent: the frames announce the CRC of the old bytes,
// so the file goes again from block 0 with the new ones; one that never holds still fails.
TEST_F(DownloadFlow, SourceChangedDuringItsDownloadIsSentAgainOrFails) {
    ws.config.settings.frameDelayMs = 10;  // time to change the file while its blocks go out
    ws.AddFile("a.bin", 40 * 4096, 1);
    const auto overwrite = [&](unsigned seed) {
        // In place, never shorter for a moment: the reads see old or new bytes, nothing else.
        const std::string bytes = PatternBytes(40 * 4096, seed);
        std::fstream out(ws.Dir() / "a.bin", std::ios::in | std::ios::out | std::ios::binary);
        out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    };
    ws.options.passLimit = 1;
    Start(ws);
    ASSERT_TRUE(capture.WaitForBytes(10 * 4173, 20s));
    overwrite(2);
    EXPECT_TRUE(host.WaitUntil([](const auto& h) { return h.RunsEnded() == 1; }, 60s));
    controller.Stop();
    const std::string got = capture.BytesWhenQuiet();
    const std::string fresh = ExpectedFrames(true, 1, "a.bin", PatternBytes(40 * 4096, 2));
    EXPECT_TRUE(got.ends_with(fresh)) << "the new bytes, from block 0, under their own CRC";
    EXPECT_GT(got.size(), fresh.size()) << "part of the file went out before the change";
    EXPECT_LT(got.size(), 2 * fresh.size()) << "the last block of the mixed file never left";
    EXPECT_EQ(host.Shown(0, "[[COM1]]a.bin...OK", StatusColour::Blue), 1);
    EXPECT_EQ(host.PassesOk(0), std::vector<bool>{true});

    // Changed again and again: given up after a few sends, in red, and the pass fails.
    PtyCapture second;  // a fresh terminal in place of the fixture's
    test::PortMapForTest changing({&second.Peer()});
    std::atomic<bool> done{false};
    std::thread changer([&] {
        // Every few frames the tool sends, whatever the machine's load.
        for (unsigned seed = 3; !done; ++seed) {
            if (second.WaitForBytes((seed - 2) * 5 * 4173, 100ms)) {
                overwrite(seed);
            } else {
                --seed;
            }
        }
    });
    Start(ws);
    EXPECT_TRUE(host.WaitUntil([](const auto& h) { return h.RunsEnded() == 2; }, 60s));
    done = true;
    changer.join();
    controller.Stop();
    EXPECT_EQ(host.Shown(0, "[COM1] File read error1", StatusColour::Red), 1);
    EXPECT_EQ(host.Shown(0, "[[COM1]]a.bin...OK", StatusColour::Blue), 1) << "only the first run's";
    EXPECT_EQ(host.PassesOk(0), (std::vector<bool>{true, false}));
}

// The clock file lives in a directory of the run's own under TMPDIR, gone once the run is; when it
// cannot be written the pass fails in red.
TEST_F(DownloadFlow, ClockFileGoesThroughAPrivateDirectoryAndItsFailureFailsThePass) {
    ws.config.settings.sendTimerFile = true;
    ws.AddFile("a.bin", 100, 1);
    const std::filesystem::path tmp = ws.Dir() / "tmp";
    std::filesystem::create_directory(tmp);
    const char* oldTmp = std::getenv("TMPDIR");
    const std::string savedTmp = oldTmp != nullptr ? oldTmp : "";
    ::setenv("TMPDIR", tmp.c_str(), 1);
    const bool timerInCwd = std::filesystem::exists("timer.txt");

    Run(ws, 1);
    EXPECT_EQ(host.Shown(0, "[[COM1]]timer.txt...OK", StatusColour::Blue), 1);
    EXPECT_EQ(host.PassesOk(0), std::vector<bool>{true});
    const auto entries = [&] {
        int runs = 0;
        for (const auto& entry : std::filesystem::directory_iterator(tmp)) {
            runs += entry.path().filename().string().starts_with("termload-") ? 1 : 0;
        }
        return runs;
    };
    EXPECT_EQ(entries(), 1) << "the run's directory, while the run is kept";
    EXPECT_EQ(std::filesystem::exists("timer.txt"), timerInCwd) << "nothing in the working dir";

    // The next run replaces the last one, whose directory goes; this one has none to write in.
    ::setenv("TMPDIR", (ws.Dir() / "missing").c_str(), 1);
    Start(ws);
    EXPECT_TRUE(host.WaitUntil([](const auto& h) { return h.RunsEnded() == 2; }, 60s));
    controller.Stop();
    EXPECT_EQ(entries(), 0);
    EXPECT_EQ(host.Shown(0, "[COM1]timer.txt...[COM1]File open failed", StatusColour::Red), 1);
    EXPECT_EQ(host.PassesOk(0), (std::vector<bool>{true, false}));
    EXPECT_TRUE(host.FailedOnce(0, {.cause = FailureCause::TimerFile}));
    if (oldTmp != nullptr) {
        ::setenv("TMPDIR", savedTmp.c_str(), 1);
    } else {
        ::unsetenv("TMPDIR");
    }
}

// A terminal that goes away mid-file may come back as another one: the pass ends failed, and the
// next pass gives whoever is there every file, the M868 address file first.
TEST_F(DownloadFlow, TerminalThatHangsUpMidFileEndsThePassAndTheNextGetsEveryFile) {
    ws.config.controls.modelItems = {"M868"};
    ws.AddFile("a.bin", 5000, 1);
    ws.AddFile("b.bin", 64 * 4096, 2);
    ws.AddFile("c.bin", 100, 3);
    // The terminal goes away in the middle of b.bin and a new one answers on the same port.
    HangingPort port(ws.Dir() / "COM1", 12 * 4173 + 100);
    test::PortMapForTest hanging({}, {"COM1=" + port.Link().string()});

    Run(ws, 2);
    ASSERT_TRUE(port.HungUp());
    const std::string a = ExpectedFrames(true, 4, "a.bin", PatternBytes(5000, 1));
    const std::string b = ExpectedFrames(true, 4, "b.bin", PatternBytes(64 * 4096, 2));
    const std::string c = ExpectedFrames(true, 4, "c.bin", PatternBytes(100, 3));
    const std::string before = port.First().Bytes();
    ASSERT_GT(before.size(), 4173u);
    EXPECT_TRUE(SameBytes(before.substr(4173), (a + b).substr(0, before.size() - 4173)));
    EXPECT_LT(before.size(), 4173 + (a + b).size()) << "b.bin was cut short";
    // The new terminal gets the address file again, then every file: nothing of the failed pass.
    const std::string after = port.Second().BytesWhenQuiet();
    ASSERT_EQ(after.size(), 4173 + (a + b + c).size());
    EXPECT_EQ(after.substr(0, 9), before.substr(0, 9)) << "the address frame's header";
    EXPECT_EQ(after.substr(9, 51), std::string(51, '\0')) << "the address file has no name";
    EXPECT_TRUE(SameBytes(after.substr(4173), a + b + c));
    EXPECT_EQ(host.Shown(0, "[COM1] File read error4", StatusColour::Red), 1);
    EXPECT_EQ(host.PassesOk(0), (std::vector<bool>{false, true}));
    EXPECT_TRUE(host.FailedOnce(0, {.cause = FailureCause::HangUp,
                                    .restart = PassRestart::NextPass,
                                    .file = "b.bin",
                                    .text = "[COM1] File read error4"}));
}

TEST_F(DownloadFlow, TerminalThatStopsTakingBytesGetsThatFileAgainFromItsFirstBlock) {
    ws.config.settings.langBase = Settings{}.langBase;
    ws.AddFile("a.bin", 5000, 1);
    ws.AddFile("b.bin", 64 * 4096, 2);
    // Longer than a write and the purge after it wait for the port.
    capture.StallOnce(6 * 4173, 6s);

    Run(ws, 2);
    const std::string a = ExpectedFrames(true, 2, "a.bin", PatternBytes(5000, 1));
    const std::string b = ExpectedFrames(true, 2, "b.bin", PatternBytes(64 * 4096, 2));
    const std::string got = capture.BytesWhenQuiet();
    // a.bin, part of b.bin, then b.bin from its first block and the whole second pass.
    EXPECT_TRUE(got.starts_with(a + b.substr(0, 6 * 4173 - a.size())));
    EXPECT_TRUE(got.ends_with(b + a + b));
    EXPECT_GT(got.size(), 2 * (a.size() + b.size())) << "b.bin came twice in the first pass";
    EXPECT_GE(host.Shown(0, "[COM1]文件读取失败4", StatusColour::Red), 1);
    // Whether a.bin was stored by whoever took b.bin again cannot be known: the pass failed.
    EXPECT_EQ(host.PassesOk(0), (std::vector<bool>{false, true}));
    ASSERT_FALSE(host.Failures(0).empty());
    EXPECT_EQ(host.Failures(0)[0].cause, FailureCause::TimeOut);
    EXPECT_EQ(host.Failures(0)[0].restart, PassRestart::File);
}

}  // namespace
}  // namespace termload::download_test
