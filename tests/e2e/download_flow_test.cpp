// The file download on real pseudo-terminals with the test as the terminal: the bytes on the
// wire, bad source files, a port that does not open, and terminals that hang up or stall once.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <thread>

#include "e2e/download_harness.h"
#include "engine/download_controller.h"
#include "engine/port_slot.h"

namespace termload::download_test {
namespace {

class DownloadFlow : public ::testing::Test {
  protected:
    static void SetUpTestSuite() { ChannelLibInit(); }

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

    RecordingHost host;
    PortSlotTable table{host};
    DownloadController controller{table};
};

class DownloadWire : public DownloadFlow, public ::testing::WithParamInterface<bool> {};

// Three files, the third of 5000 bytes (mode code 05, version 10): 55 55 AA AA 03 00 02 05 10...
TEST_P(DownloadWire, EveryFrameMatchesTheLayoutByteForByte) {
    const bool full = GetParam();
    Workspace ws;
    ws.config.settings.NewMachine = full;
    ws.config.settings.LangBase = kLangEnglish;
    ws.config.settings.RootDir = "/home/";
    ws.AddFile("b.bin", 4097, 1);
    ws.AddFile("c.bin", 5000, 2, "eight.ch");
    PtyCapture capture;
    test::PortMapForTest map({&capture.Peer()});

    Run(ws, 1);
    // RootDir goes in front: "/home/eight.ch" fills the compact frame's 14 bytes.
    const std::string expected = ExpectedFrames(full, 2, "/home/b.bin", PatternBytes(4097, 1)) +
                                 ExpectedFrames(full, 2, "/home/eight.ch", PatternBytes(5000, 2));
    EXPECT_TRUE(SameBytes(capture.BytesWhenQuiet(), expected))
        << "the second block of b.bin 1 byte and 4095 zeros";
    EXPECT_EQ(host.Shown(0, "[COM1]DownLoad..  c.bin(5K/5K)", StatusColour::Black), 2);
    EXPECT_EQ(host.Shown(0, "[[COM1]]c.bin...OK", StatusColour::Blue), 1);
    EXPECT_EQ(host.PassesFinished(0), 1);
}

INSTANTIATE_TEST_SUITE_P(FullAndCompact, DownloadWire, ::testing::Bool());

TEST_F(DownloadFlow, BadSourceFilesCostOnlyTheirRow) {
    Workspace ws;
    ws.config.settings.LangBase = kLangEnglish;
    ws.AddFile("gone.bin", 100, 0);
    ws.AddFile("big.bin", 1, 0);
    ws.AddFile("shrunk.bin", 9000, 6);
    ws.AddFile("ok.bin", 100, 7);
    ws.options.passLimit = 2;
    PtyCapture capture;
    test::PortMapForTest map({&capture.Peer()});
    const StartCheck check = CheckStart(ws.config, ws.options);
    ASSERT_TRUE(check.job);
    // Between the start's checks and the send: one file goes, one shrinks, one grows past the
    // limit by a byte (sparse on disk).
    std::filesystem::remove(ws.Dir() / "gone.bin");
    std::filesystem::resize_file(ws.Dir() / "shrunk.bin", 5000);
    std::filesystem::resize_file(ws.Dir() / "big.bin", 0x3FC0001);
    ASSERT_TRUE(controller.Start(check.job));
    EXPECT_TRUE(host.WaitUntil([](const auto& h) { return h.RunsEnded() > 0; }, 60s));
    controller.Stop();

    const std::string pass =
        ExpectedFrames(true, 4, "shrunk.bin", PatternBytes(9000, 6).substr(0, 5000)) +
        ExpectedFrames(true, 4, "ok.bin", PatternBytes(100, 7));
    EXPECT_TRUE(SameBytes(capture.BytesWhenQuiet(), pass + pass));
    EXPECT_EQ(host.Shown(0, "[COM1]gone.bin...[COM1]File open failed", StatusColour::Red), 2);
    EXPECT_EQ(host.Shown(0, "[COM1][COM1]big.bin...File size must less 64M", StatusColour::Red), 1)
        << "refused once, then skipped as an unchecked row";
    EXPECT_EQ(host.UncheckedRows(), std::vector<int>{1});
    EXPECT_EQ(host.PassesFinished(0), 2);
}

TEST_F(DownloadFlow, PortThatDoesNotOpenEndsItsThreadAndKeepsTheFailureShown) {
    Workspace ws;
    ws.config.settings.LangBase = kLangEnglish;
    ws.AddFile("a.bin", 10, 0);
    test::PortMapForTest map({}, {"COM1=" + (ws.Dir() / "no-such-tty").string()});

    // Running until stopped, the window stays in its downloading state and the text stays red.
    Start(ws);
    ASSERT_TRUE(host.WaitUntil([](const auto& h) { return h.LastStatus(0).text.size() > 0; }, 10s));
    // The thread ends right after its last report.
    for (int i = 0; i < 500 && !table[0].threadEnded; ++i) {
        std::this_thread::sleep_for(10ms);
    }
    EXPECT_TRUE(table[0].threadEnded);
    EXPECT_EQ(host.Shown(0, "[COM1]Port open failed!", StatusColour::Red), 1);
    EXPECT_EQ(host.RunsEnded(), 0);
    EXPECT_TRUE(controller.Running());
    controller.Stop();
    EXPECT_FALSE(controller.Running());
    EXPECT_EQ(host.LastStatus(0).text, "[COM1]Ready");

    // With a pass limit the run has an end: the last thread to finish reports it.
    ws.options.passLimit = 1;
    Start(ws);
    EXPECT_TRUE(host.WaitUntil([](const auto& h) { return h.RunsEnded() == 1; }, 10s));
    controller.Stop();
}

TEST_F(DownloadFlow, TerminalThatHangsUpMidFileGetsThatFileAgainFromItsFirstBlock) {
    Workspace ws;
    ws.config.settings.LangBase = kLangEnglish;
    ws.AddFile("a.bin", 5000, 1);
    ws.AddFile("b.bin", 64 * 4096, 2);
    ws.AddFile("c.bin", 100, 3);
    // The terminal goes away in the middle of b.bin and a new one answers on the same port.
    HangingPort port(ws.Dir() / "COM1", 12 * 4173 + 100);
    test::PortMapForTest map({}, {"COM1=" + port.Link().string()});

    Run(ws, 2);
    ASSERT_TRUE(port.HungUp());
    const std::string a = ExpectedFrames(true, 3, "a.bin", PatternBytes(5000, 1));
    const std::string b = ExpectedFrames(true, 3, "b.bin", PatternBytes(64 * 4096, 2));
    const std::string c = ExpectedFrames(true, 3, "c.bin", PatternBytes(100, 3));
    const std::string before = port.First().Bytes();
    EXPECT_TRUE(SameBytes(before, (a + b).substr(0, before.size())));
    EXPECT_LT(before.size(), (a + b).size()) << "b.bin was cut short";
    // The new terminal gets b.bin from its first block, the rest of the pass, and a whole pass.
    EXPECT_TRUE(SameBytes(port.Second().BytesWhenQuiet(), b + c + a + b + c));
    EXPECT_GE(host.Shown(0, "[COM1] File read error4", StatusColour::Red), 1);
    EXPECT_EQ(host.PassesFinished(0), 2);
}

TEST_F(DownloadFlow, TerminalThatStopsTakingBytesGetsThatFileAgainFromItsFirstBlock) {
    Workspace ws;
    ws.AddFile("a.bin", 5000, 1);
    ws.AddFile("b.bin", 64 * 4096, 2);
    PtyCapture capture;
    // Longer than a write and the purge after it wait for the port.
    capture.StallOnce(6 * 4173, 6s);
    test::PortMapForTest map({&capture.Peer()});

    Run(ws, 2);
    const std::string a = ExpectedFrames(true, 2, "a.bin", PatternBytes(5000, 1));
    const std::string b = ExpectedFrames(true, 2, "b.bin", PatternBytes(64 * 4096, 2));
    const std::string got = capture.BytesWhenQuiet();
    // a.bin, part of b.bin, then b.bin from its first block and the whole second pass.
    EXPECT_TRUE(got.starts_with(a + b.substr(0, 6 * 4173 - a.size())));
    EXPECT_TRUE(got.ends_with(b + a + b));
    EXPECT_GT(got.size(), 2 * (a.size() + b.size())) << "b.bin came twice in the first pass";
    EXPECT_GE(host.Shown(0, "[COM1]文件读取失败4", StatusColour::Red), 1);
}

}  // namespace
}  // namespace termload::download_test
