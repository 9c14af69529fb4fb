// The file download on real pseudo-terminals, with the test as the terminal: the bytes on the
// wire, the address and clock files, bad source files, a port that does not open, and stopping.
#include <sys/stat.h>
#include <unistd.h>
#include <zlib.h>

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <map>

#include "e2e/download_harness.h"
#include "engine/download_controller.h"
#include "engine/port_slot.h"

namespace termload::download_test {
namespace {

using Clock = std::chrono::steady_clock;

class DownloadFlow : public ::testing::Test {
  protected:
    static void SetUpTestSuite() { ChannelLibInit(); }

    // Checks the workspace's configuration and starts the download with it.
    void Start(Workspace& ws, int passes) {
        ws.options.passLimit = passes;
        const StartCheck check = CheckStart(ws.config, ws.options);
        ASSERT_TRUE(check.job) << (check.messages.empty() ? "" : check.messages[0].text);
        ASSERT_TRUE(controller.Start(check.job));
    }

    // Runs `passes` passes on every port and waits for the run to end.
    void Run(Workspace& ws, int passes) {
        Start(ws, passes);
        EXPECT_TRUE(host.WaitUntil([](const auto& h) { return !h.RunEndedSlots().empty(); }, 60s))
            << "last status: " << host.LastStatus(0).text;
        controller.Stop();
    }

    RecordingHost host;
    PortSlotTable table{host};
    DownloadController controller{table};
};

// The frame as the terminal expects it, assembled here field by field.
std::vector<std::uint8_t> ExpectedFrame(bool full, std::uint8_t fileCount, std::uint8_t block,
                                        std::uint8_t blocks, const std::string& name,
                                        const std::string& content) {
    std::vector<std::uint8_t> f = {0x55, 0x55, 0xAA, 0xAA, fileCount, block, blocks, 0x05, 0x10};
    std::string field = name;
    field.resize(full ? 51 : 15, '\0');
    f.insert(f.end(), field.begin(), field.end());
    const auto put32 = [&f](std::uint32_t v) {
        for (int shift = 24; shift >= 0; shift -= 8) {
            f.push_back(static_cast<std::uint8_t>(v >> shift));
        }
    };
    put32(static_cast<std::uint32_t>(content.size()));
    put32(static_cast<std::uint32_t>(
        crc32(0, reinterpret_cast<const Bytef*>(content.data()), content.size())));
    put32(block * 4096u);
    std::string data = content.substr(block * 4096u, 4096);
    data.resize(4096, '\0');
    f.insert(f.end(), data.begin(), data.end());
    unsigned sum = 0;
    for (std::size_t i = 4; i < f.size(); ++i) {
        sum += f[i];
    }
    f.insert(f.end(), {0x55, 0xAA, 0x55, 0xAA, static_cast<std::uint8_t>(sum)});
    return f;
}

class DownloadWire : public DownloadFlow, public ::testing::WithParamInterface<bool> {};

TEST_P(DownloadWire, EveryFrameMatchesTheLayoutByteForByte) {
    {
        const bool full = GetParam();
        Workspace ws;
        ws.config.settings.NewMachine = full;
        ws.WriteFile("empty.bin", 0);
        ws.WriteFile("b.bin", 4097, 1);
        ws.WriteFile("c.bin", 5000, 2);
        ws.AddRow("empty.bin", "empty.bin");
        ws.AddRow("b.bin", "b.bin");
        ws.AddRow("c.bin", "c.bin");
        PtyCapture capture;
        test::PortMapForTest map({&capture.Peer()});

        Run(ws, 1);
        const std::size_t frameSize = full ? 4173 : 4137;
        ASSERT_TRUE(capture.WaitForBytes(4 * frameSize, 5s)) << capture.Bytes().size();
        const auto frames = SplitFrames(capture.Bytes(), frameSize);
        ASSERT_EQ(frames.size(), 4u) << "no frame for the empty file, two for each other";

        const std::string b = PatternBytes(4097, 1);
        EXPECT_EQ(frames[1].bytes, ExpectedFrame(full, 3, 1, 2, "b.bin", b))
            << "the second block of 4097 bytes carries 1 byte and 4095 zeros";
        const std::string c = PatternBytes(5000, 2);
        EXPECT_EQ(frames[2].bytes, ExpectedFrame(full, 3, 0, 2, "c.bin", c));
        EXPECT_EQ(frames[3].bytes, ExpectedFrame(full, 3, 1, 2, "c.bin", c));
        const std::vector<std::uint8_t> head = {0x55, 0x55, 0xAA, 0xAA, 0x03,
                                                0x00, 0x02, 0x05, 0x10};
        EXPECT_TRUE(std::equal(head.begin(), head.end(), frames[2].bytes.begin()));

        // The empty file still completes, as does every other one.
        const auto files = host.Files(0);
        ASSERT_EQ(files.size(), 3u);
        EXPECT_TRUE(files[0].ok && files[1].ok && files[2].ok);
        EXPECT_EQ(files[0].text, "[[COM1]]empty.bin...OK");
        EXPECT_EQ(host.PassesFinished(0), 1);
    }
}

INSTANTIATE_TEST_SUITE_P(FullAndCompact, DownloadWire, ::testing::Bool());

TEST_F(DownloadFlow, LongFileWrapsItsBlockNumbersAndShowsItsProgress) {
    Workspace ws;
    ws.config.settings.LangBase = kLangEnglish;
    const std::size_t size = 300 * 4096 - 100;
    ws.WriteFile("big.bin", size, 3);
    ws.AddRow("big.bin", "a-name-longer-than-fourteen.bin");
    ws.config.settings.NewMachine = true;
    PtyCapture capture;
    test::PortMapForTest map({&capture.Peer()});

    Run(ws, 1);
    ASSERT_TRUE(capture.WaitForBytes(300 * 4173, 10s));
    const auto frames = SplitFrames(capture.Bytes(), 4173);
    ASSERT_EQ(frames.size(), 300u);
    EXPECT_EQ(frames[0].blockCount, 300 % 256);
    EXPECT_EQ(frames[256].blockNumber, 0);
    EXPECT_EQ(frames[256].offset, 256u * 4096u) << "the offset carries the true position";
    const auto files = FilesOf(frames);
    ASSERT_EQ(files.size(), 1u);
    EXPECT_TRUE(SameBytes(files[0].content, PatternBytes(size, 3)));
    EXPECT_EQ(files[0].name, "a-name-longer-than-fourteen.bin");

    const auto statuses = host.Statuses(0);
    ASSERT_GE(statuses.size(), 3u);
    EXPECT_EQ(statuses[0].text, "[COM1]big.bin...");
    EXPECT_EQ(statuses[2].text, "[COM1]DownLoad..  big.bin(9K/1200K)") << "the second block's text";
    EXPECT_EQ(statuses[2].colour, StatusColour::Black);
    const auto ok = std::find_if(statuses.begin(), statuses.end(), [](const StatusEntry& s) {
        return s.text == "[[COM1]]big.bin...OK";
    });
    ASSERT_NE(ok, statuses.end());
    EXPECT_EQ(ok->colour, StatusColour::Blue);
    EXPECT_EQ(host.LastStatus(0).text, "[COM1]Ready");

    // One step a block from 0, and the bar full at the end of the file.
    std::vector<int> positions;
    for (const ProgressState& p : host.Progress(0)) {
        if (p.maximum == 300) {
            positions.push_back(p.position);
        }
    }
    ASSERT_GE(positions.size(), 302u);
    for (int block = 0; block <= 300; ++block) {
        EXPECT_EQ(positions[static_cast<std::size_t>(block)], block) << "a step for each block";
    }
    EXPECT_EQ(positions[301], 300) << "the bar stays full at the end of the file";
}

TEST_F(DownloadFlow, CompactFramesCutLongNamesAndM868GetsItsAddressFileOncePerRun) {
    Workspace ws;
    ws.config.settings.NewMachine = false;
    ws.config.controls.modelItems = {"M868"};
    ws.config.settings.ModeCodes = {"05"};
    ws.config.settings.RootDir = "/home/";
    ws.WriteFile("telpay.bin", 1000, 4);
    ws.WriteFile("qtv.pk", 10, 5);
    ws.AddRow("telpay.bin", "telpay.bin");
    ws.AddRow("qtv.pk", "qtv.pk");
    PtyCapture capture;
    test::PortMapForTest map({&capture.Peer()});

    Run(ws, 2);
    ASSERT_TRUE(capture.WaitForBytes(5 * 4137, 5s));
    const auto files = FilesOf(SplitFrames(capture.Bytes(), 4137));
    ASSERT_EQ(files.size(), 5u) << "address file, then two files in each of two passes";
    EXPECT_EQ(files[0].name, "/home/file.adr");
    EXPECT_EQ(files[0].content,
              "[ADDR]\r\r\nName=telpay.bin\r\r\nStartAddr=0x0003b000\r\r\nEndAddr=0x0003b000\r\r\n"
              "App=telpay\r\r\n");
    EXPECT_EQ(files[0].content.size(), 84u);
    EXPECT_EQ(files[1].name, "/home/telpay.b") << "RootDir, then cut to 14 bytes";
    EXPECT_TRUE(SameBytes(files[1].content, PatternBytes(1000, 4)));
    EXPECT_EQ(files[2].name, "/home/qtv.pk");
    EXPECT_EQ(files[3].name, "/home/telpay.b") << "no address file in the second pass";
    for (const auto& file : files) {
        EXPECT_EQ(file.fileCount, 3) << "two rows and the address file";
    }
}

TEST_F(DownloadFlow, ClockFileGoesLastWithTheLocalTime) {
    Workspace ws;
    ws.config.settings.DownTimer = true;
    ws.WriteFile("a.bin", 10);
    ws.AddRow("a.bin", "a.bin");
    PtyCapture capture;
    test::PortMapForTest map({&capture.Peer()});

    const std::time_t before = std::time(nullptr);
    Run(ws, 1);
    ASSERT_TRUE(capture.WaitForBytes(2 * 4173, 5s));
    const auto files = FilesOf(SplitFrames(capture.Bytes(), 4173));
    ASSERT_EQ(files.size(), 2u);
    EXPECT_EQ(files[1].name, "timer.txt");
    EXPECT_EQ(files[0].fileCount, 2) << "one row, plus the clock file";
    EXPECT_EQ(files[1].fileCount, 2);
    ASSERT_EQ(files[1].content.size(), 14u);
    std::tm local{};
    localtime_r(&before, &local);
    char expectedDay[16];
    std::strftime(expectedDay, sizeof expectedDay, "%Y%m%d", &local);
    EXPECT_EQ(files[1].content.substr(0, 8), expectedDay);
    EXPECT_EQ(files[1].content.find_first_not_of("0123456789"), std::string::npos);
}

TEST_F(DownloadFlow, BadSourceFilesCostOnlyTheirRow) {
    Workspace ws;
    ws.config.settings.LangBase = kLangEnglish;
    ws.WriteFile("gone.bin", 100);
    ws.WriteFile("shrunk.bin", 9000, 6);
    ws.WriteFile("ok.bin", 100, 7);
    {
        std::ofstream big(ws.Dir() / "big.bin", std::ios::binary);
        big.seekp(0x3FC0000);
        big.put('x');  // one byte over the limit, sparse on disk
    }
    ws.AddRow("gone.bin", "gone.bin");
    ws.AddRow("big.bin", "big.bin");
    ws.AddRow("shrunk.bin", "shrunk.bin");
    ws.AddRow("ok.bin", "ok.bin");
    PtyCapture capture;
    test::PortMapForTest map({&capture.Peer()});

    ws.options.passLimit = 2;
    const StartCheck check = CheckStart(ws.config, ws.options);
    ASSERT_TRUE(check.job);
    // Between the start's checks and the send, one file goes and one shrinks.
    std::filesystem::remove(ws.Dir() / "gone.bin");
    std::filesystem::resize_file(ws.Dir() / "shrunk.bin", 5000);
    ASSERT_TRUE(controller.Start(check.job));
    EXPECT_TRUE(host.WaitUntil([](const auto& h) { return !h.RunEndedSlots().empty(); }, 60s));
    controller.Stop();

    ASSERT_TRUE(capture.WaitForBytes(6 * 4173, 5s));
    const auto files = FilesOf(SplitFrames(capture.Bytes(), 4173));
    ASSERT_EQ(files.size(), 4u) << "shrunk.bin and ok.bin in each pass";
    EXPECT_TRUE(SameBytes(files[0].content, PatternBytes(9000, 6).substr(0, 5000)));
    EXPECT_TRUE(SameBytes(files[1].content, PatternBytes(100, 7)));

    const auto statuses = host.Statuses(0);
    const auto has = [&](const std::string& text) {
        return std::count_if(statuses.begin(), statuses.end(), [&](const StatusEntry& s) {
            return s.text == text && s.colour == StatusColour::Red;
        });
    };
    EXPECT_EQ(has("[COM1]gone.bin...[COM1]File open failed"), 2);
    EXPECT_EQ(has("[COM1][COM1]big.bin...File size must less 64M"), 1)
        << "refused once, then skipped as an unchecked row";
    EXPECT_EQ(host.UncheckedRows(), std::vector<int>{1});
    EXPECT_EQ(host.PassesFinished(0), 2);
}

TEST_F(DownloadFlow, TerminalThatHangsUpMidFileGetsThatFileAgainFromItsFirstBlock) {
    Workspace ws;
    ws.config.settings.LangBase = kLangEnglish;
    ws.WriteFile("a.bin", 5000, 1);
    ws.WriteFile("b.bin", 64 * 4096, 2);
    ws.WriteFile("c.bin", 100, 3);
    ws.AddRow("a.bin", "a.bin");
    ws.AddRow("b.bin", "b.bin");
    ws.AddRow("c.bin", "c.bin");
    // The terminal goes away in the middle of b.bin and a new one answers on the same port.
    HangingPort port(ws.Dir() / "COM1", 12 * 4173 + 100);
    test::PortMapForTest map({}, {"COM1=" + port.Link().string()});

    Run(ws, 2);
    ASSERT_TRUE(port.HungUp());
    std::size_t stray = 0;
    const auto first = FilesOf(SplitFrames(port.BytesBefore(), 4173, &stray));
    ASSERT_GE(first.size(), 2u);
    EXPECT_TRUE(SameBytes(first[0].content, PatternBytes(5000, 1)));
    EXPECT_FALSE(first[1].Complete()) << "b.bin was cut short";

    // The new terminal gets b.bin from its first block, the rest of the pass, and a whole pass.
    ASSERT_TRUE(port.Second().WaitForBytes(132 * 4173, 10s));
    const auto files = FilesOf(SplitFrames(port.BytesAfter(), 4173));
    ASSERT_EQ(files.size(), 5u);
    const std::vector<std::string> names = {"b.bin", "c.bin", "a.bin", "b.bin", "c.bin"};
    const std::map<std::string, std::string> content = {{"a.bin", PatternBytes(5000, 1)},
                                                        {"b.bin", PatternBytes(64 * 4096, 2)},
                                                        {"c.bin", PatternBytes(100, 3)}};
    for (std::size_t i = 0; i < files.size(); ++i) {
        EXPECT_EQ(files[i].name, names[i]);
        EXPECT_TRUE(SameBytes(files[i].content, content.at(names[i]))) << names[i];
    }
    const auto statuses = host.Statuses(0);
    EXPECT_TRUE(std::any_of(statuses.begin(), statuses.end(), [](const StatusEntry& s) {
        return s.text == "[COM1] File read error4" && s.colour == StatusColour::Red;
    })) << "the failure is shown";
    EXPECT_EQ(host.PassesFinished(0), 2);
}

TEST_F(DownloadFlow, TerminalThatStopsTakingBytesGetsThatFileAgainFromItsFirstBlock) {
    Workspace ws;
    ws.WriteFile("a.bin", 5000, 1);
    ws.WriteFile("b.bin", 64 * 4096, 2);
    ws.AddRow("a.bin", "a.bin");
    ws.AddRow("b.bin", "b.bin");
    PtyCapture capture;
    // Longer than a write and the purge after it may wait for the port.
    capture.StallOnce(6 * 4173, 6s);
    test::PortMapForTest map({&capture.Peer()});

    Run(ws, 2);
    std::size_t stray = 0;
    const auto files = FilesOf(SplitFrames(capture.BytesWhenQuiet(), 4173, &stray));
    // a, b cut short by the stall, b again from its first block, then the second pass.
    ASSERT_GE(files.size(), 4u);
    const auto& lastPass = std::vector<CapturedFile>(files.end() - 3, files.end());
    EXPECT_TRUE(lastPass[0].Complete() && lastPass[0].name == "b.bin");
    EXPECT_TRUE(SameBytes(lastPass[0].content, PatternBytes(64 * 4096, 2)));
    EXPECT_TRUE(SameBytes(lastPass[1].content, PatternBytes(5000, 1)));
    EXPECT_TRUE(SameBytes(lastPass[2].content, PatternBytes(64 * 4096, 2)));
    EXPECT_FALSE(files[1].Complete()) << "the stalled copy of b.bin";
    const auto statuses = host.Statuses(0);
    EXPECT_TRUE(std::any_of(statuses.begin(), statuses.end(), [](const StatusEntry& s) {
        return s.text == "[COM1]文件读取失败4" && s.colour == StatusColour::Red;
    }));
}

TEST_F(DownloadFlow, PortThatDoesNotOpenEndsItsThreadAndKeepsTheFailureShown) {
    Workspace ws;
    ws.config.settings.LangBase = kLangEnglish;
    ws.WriteFile("a.bin", 10);
    ws.AddRow("a.bin", "a.bin");
    test::PortMapForTest map({}, {"COM1=" + (ws.Dir() / "no-such-tty").string()});

    // Running until stopped: the window stays in its downloading state, the text stays red.
    Start(ws, 0);
    ASSERT_TRUE(host.WaitUntil(
        [](const auto& h) { return h.LastStatus(0).text == "[COM1]Port open failed!"; }, 10s));
    EXPECT_EQ(host.LastStatus(0).colour, StatusColour::Red);
    ASSERT_TRUE(host.WaitUntil([&](const auto&) { return table[0].threadEnded.load(); }, 5s));
    EXPECT_TRUE(host.RunEndedSlots().empty());
    EXPECT_TRUE(controller.Running());
    controller.Stop();
    EXPECT_FALSE(controller.Running());
    EXPECT_EQ(host.LastStatus(0).text, "[COM1]Ready");

    // With a pass limit the run has an end: the last thread to finish reports it.
    Start(ws, 1);
    EXPECT_TRUE(host.WaitUntil([](const auto& h) { return h.RunEndedSlots().size() == 1; }, 10s));
    controller.Stop();
}

TEST_F(DownloadFlow, StopEndsEveryThreadPromptlyAndLeavesNothingOpen) {
    Workspace ws;
    ws.config.controls.portMode = PortMode::Multi;
    ws.config.controls.portNumIndex = 0;  // 9 ports
    ws.config.settings.USBDelay = 20;     // a pass of many seconds
    ws.WriteFile("a.bin", 200 * 4096);
    ws.AddRow("a.bin", "a.bin");
    std::vector<std::unique_ptr<PtyCapture>> captures;
    std::vector<const test::PtyPeer*> peers;
    for (int i = 0; i < 9; ++i) {
        captures.push_back(std::make_unique<PtyCapture>());
        peers.push_back(&captures.back()->Peer());
    }
    test::PortMapForTest map(peers);
    const std::size_t descriptors = test::OpenDescriptorCount();

    Start(ws, 0);
    for (const auto& capture : captures) {
        ASSERT_TRUE(capture->WaitForBytes(4173, 10s)) << "every port is under way";
    }
    const auto stopAt = Clock::now();
    controller.Stop();
    EXPECT_LT(Clock::now() - stopAt, 1s);
    for (int slot = 0; slot < 9; ++slot) {
        EXPECT_TRUE(table[slot].threadEnded);
        EXPECT_EQ(host.LastStatus(slot).text, "[COM" + std::to_string(slot + 1) + "]已就绪");
        EXPECT_EQ(host.LastStatus(slot).colour, StatusColour::Black);
        EXPECT_EQ(host.LastProgress(slot).position, 0);
    }
    EXPECT_TRUE(host.RunEndedSlots().empty()) << "a stop by the host is not reported back";
    EXPECT_EQ(test::OpenDescriptorCount(), descriptors);
    EXPECT_EQ(LiveReaderThreadCount(), 0u);
}

}  // namespace
}  // namespace termload::download_test
