// termsim's frame receiver and the terminal around it, fed with frames assembled here by hand.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <nlohmann/json.hpp>
#include <tuple>

#include "checksums.hpp"
#include "frame_receiver.hpp"
#include "support/files.h"
#include "support/termsim_frames.h"
#include "terminal.hpp"

namespace termsim {
namespace {

// Collects what the receiver reports.
struct Recorder : FrameListener {
    std::vector<ReceivedFile> ended;
    std::vector<Bytes> contents;
    Bytes current;
    std::vector<FrameVerdict> rejected;
    int accepted = 0;

    void FileStarted(const ReceivedFile&) override { current.clear(); }
    void FileData(std::span<const uint8_t> bytes) override {
        current.insert(current.end(), bytes.begin(), bytes.end());
    }
    void FileEnded(const ReceivedFile& file) override {
        ended.push_back(file);
        contents.push_back(current);
    }
    bool FrameAccepted(const FrameFields&) override {
        ++accepted;
        return true;
    }
    void FrameRejected(FrameVerdict verdict, const std::string&) override {
        rejected.push_back(verdict);
    }
    int Good() const {
        return static_cast<int>(std::count_if(ended.begin(), ended.end(),
                                              [](const ReceivedFile& f) { return f.Good(); }));
    }
    // Feeds `stream` at once to a receiver in `format` that reports here.
    Recorder& Receive(FrameFormat format, std::span<const uint8_t> stream, bool flush = false) {
        FrameReceiver receiver(format, *this);
        receiver.Feed(stream);
        if (flush) {
            receiver.Flush();
        }
        return *this;
    }
};

TEST(SimFrames, GoldenFilesInBothFormatsArriveWhole) {
    // The 5000-byte file as the third of three files, mode code 05, hardware version 10.
    const Bytes file = Pattern(5000, 7);
    const FrameHead frameHead{3, 0x05, 0x10, "param.dat"};
    const Bytes first = FullFrame(frameHead, file, 0);
    ASSERT_EQ(Bytes(first.begin(), first.begin() + 9),
              (Bytes{0x55, 0x55, 0xAA, 0xAA, 0x03, 0x00, 0x02, 0x05, 0x10}));

    // The 4096-byte file: one frame, block count 1, length 00 00 10 00.
    const Bytes page = Pattern(4096, 9);
    const Bytes frame = FullFrame({}, page, 0);
    EXPECT_EQ(Bytes(frame.begin() + 60, frame.begin() + 64), (Bytes{0x00, 0x00, 0x10, 0x00}));

    for (FrameFormat format : {FrameFormat::Full, FrameFormat::Compact}) {
        const Bytes stream = Frames(frameHead, file, format);
        ASSERT_EQ(stream.size(), 2 * LayoutOf(format).size);
        Recorder recorder;
        ASSERT_EQ(recorder.Receive(format, stream).ended.size(), 1u);
        const ReceivedFile& got = recorder.ended[0];
        EXPECT_TRUE(got.Good());
        EXPECT_EQ(std::tie(got.name, got.length, got.fileCount, got.modeCode, got.hardwareVersion,
                           got.blocksReceived),
                  std::make_tuple("param.dat", 5000u, 3, 0x05, 0x10, 2u));
        EXPECT_EQ(recorder.contents[0], file);  // padding of the second block is not stored

        Recorder whole;
        ASSERT_EQ(whole.Receive(format, Frames({}, page, format)).Good(), 1);
        EXPECT_EQ(whole.contents[0], page);
    }
}

TEST(SimFrames, EverySingleByteCorruptionOfSyncTrailerSumOrCrcIsRejected) {
    const Bytes file = Pattern(5000, 3);
    for (FrameFormat format : {FrameFormat::Full, FrameFormat::Compact}) {
        const FrameLayout& layout = LayoutOf(format);
        std::vector<size_t> positions = {0, 1, 2, 3, layout.sumAt};
        for (size_t i = 0; i < 4; ++i) {
            positions.push_back(layout.trailerAt + i);
            positions.push_back(layout.crcAt + i);
        }
        positions.push_back(layout.dataAt + 100);  // a data byte: the frame sum catches it
        const Bytes frames = Frames({}, file, format);
        for (size_t position : positions) {
            for (uint32_t frameIndex : {0u, 1u}) {
                Bytes stream = frames;
                stream[frameIndex * layout.size + position] ^= 0x01;
                EXPECT_EQ(Recorder().Receive(format, stream, true).Good(), 0)
                    << "byte " << position << " of frame " << frameIndex << " flipped";
            }
        }
        // A CRC field that is wrong but summed correctly passes the frame checks and fails the
        // file check.
        Bytes frame = FullFrame({}, Pattern(100, 1), 0);
        frame[66] ^= 0x40;
        frame = Resummed(frame);
        if (format == FrameFormat::Compact) {
            frame = CompactFrame(frame);
        }
        Recorder recorder;
        ASSERT_EQ(recorder.Receive(format, frame).ended.size(), 1u);
        EXPECT_TRUE(recorder.ended[0].complete);
        EXPECT_FALSE(recorder.ended[0].crcOk);
        EXPECT_TRUE(recorder.rejected.empty());
    }
}

TEST(SimFrames, LostBytesCostOnlyTheirFileAndRestartsAreFollowed) {
    const Bytes first = Pattern(3 * 4096, 11);
    const Bytes second = Pattern(6000, 12);
    Bytes stream = Frames({2, 5, 0x10, "one.bin"}, first, FrameFormat::Full);
    stream.erase(stream.begin() + 4173 + 2000);  // one byte lost in the middle frame
    const Bytes next = Frames({2, 5, 0x10, "two.bin"}, second, FrameFormat::Full);
    stream.insert(stream.end(), next.begin(), next.end());

    Recorder recorder;
    FrameReceiver receiver(FrameFormat::Full, recorder);
    // Fed in odd pieces, as a pty delivers them.
    for (size_t at = 0; at < stream.size(); at += 777) {
        receiver.Feed(std::span<const uint8_t>(stream).subspan(
            at, std::min<size_t>(777, stream.size() - at)));
    }
    ASSERT_EQ(recorder.ended.size(), 2u);
    EXPECT_FALSE(recorder.ended[0].Good());
    EXPECT_FALSE(recorder.ended[0].problems.empty());
    EXPECT_TRUE(recorder.ended[1].Good());
    EXPECT_EQ(recorder.contents[1], second);
    EXPECT_FALSE(recorder.rejected.empty());

    // The sender begins a file again after two blocks: the first attempt ends as restarted.
    const Bytes file = Pattern(3 * 4096 + 1, 13);
    Bytes again = Frames({}, file, FrameFormat::Full);
    Bytes partial(again.begin(), again.begin() + 2 * 4173);
    partial.insert(partial.end(), again.begin(), again.end());
    Recorder restart;
    ASSERT_EQ(restart.Receive(FrameFormat::Full, partial).ended.size(), 2u);
    EXPECT_TRUE(restart.ended[0].restarted);
    EXPECT_TRUE(restart.ended[1].Good());
    EXPECT_EQ(restart.contents[1], file);
}

TEST(SimFrames, BlockNumbersWrapAndInconsistentOrHostileFramesAreRefused) {
    // 300 blocks: byte 6 holds 44 and byte 5 wraps after 255; offsets carry the true position.
    const Bytes big = Pattern(300 * 4096, 21);
    Recorder recorder;
    ASSERT_EQ(recorder.Receive(FrameFormat::Compact, Frames({}, big, FrameFormat::Compact)).Good(),
              1);
    EXPECT_EQ(recorder.contents[0], big);

    // Fields that contradict each other, each with a correct frame sum.
    const Bytes file = Pattern(5000, 4);
    Bytes wrongCount = FullFrame({}, file, 0);
    wrongCount[6] = 3;
    Bytes wrongNumber = FullFrame({}, file, 1);
    wrongNumber[5] = 0;
    Bytes hugeLength = FullFrame({}, file, 0);
    Put32(hugeLength, 60, 0xFFFFFFF0u);
    Bytes emptyFile = FullFrame({}, file, 0);
    Put32(emptyFile, 60, 0);
    for (const Bytes& bad : {wrongCount, wrongNumber, hugeLength, emptyFile}) {
        Recorder r;
        EXPECT_EQ(r.Receive(FrameFormat::Full, Resummed(bad), true).accepted, 0);
        ASSERT_EQ(r.rejected.size(), 1u);
        EXPECT_EQ(r.rejected[0], FrameVerdict::BadFields);
    }

    // Noise full of sync patterns and half frames: nothing accepted, nothing stored.
    Bytes noise = Pattern(200000, 5);
    for (size_t i = 0; i + 4 < noise.size(); i += 997) {
        std::memcpy(noise.data() + i, kFrameSync, 4);
    }
    Recorder r;
    EXPECT_EQ(r.Receive(FrameFormat::Full, noise, true).Good(), 0);
    EXPECT_EQ(r.accepted, 0);
}

// The terminal around the receiver: storage, results and units.
class FakeHost : public TerminalHost {
  public:
    void Send(std::string_view bytes) override { sent.append(bytes); }
    void HangUp() override { ++hangups; }
    void StopReading() override { ++stalls; }
    std::string sent;
    int hangups = 0;
    int stalls = 0;
};

class SimTerminal : public ::testing::Test {
  protected:
    void SetUp() override {
        setup.port = "COM4";
        setup.dir = dir / "COM4";
    }

    std::vector<nlohmann::json> Lines(const std::string& event) {
        return termload::test::JsonLines(termload::test::ReadFile(dir / "results.jsonl"), event);
    }

    static Bytes ReadFile(const std::filesystem::path& path) {
        return AsBytes(termload::test::ReadFile(path));
    }

    // A port opened for `stream` and closed after it, as the tool sends each file.
    void Send(Terminal& terminal, const Bytes& stream) {
        terminal.PortOpened(now);
        terminal.Receive(stream, now);
        terminal.PortClosed(now);
    }
    // Each file on an opening of its own, announced as one of `fileCount`.
    void SendFiles(Terminal& terminal, uint8_t fileCount,
                   const std::vector<std::pair<std::string, Bytes>>& files) {
        for (const auto& [name, content] : files) {
            Send(terminal, Frames({fileCount, 5, 0x10, name}, content, FrameFormat::Full));
        }
    }

    termload::test::ScratchDir dir{"sim-terminal"};
    TimePoint now = Clock::now();
    ResultsLog log{dir / "results.jsonl", Verbosity::Quiet, now};
    TerminalSetup setup;
    FakeHost host;
    Tally tally;
};

TEST_F(SimTerminal, PassesBecomeUnitsWithTheirFilesStoredSafely) {
    Terminal terminal(setup, host, log, tally);
    const Bytes adr = Pattern(300, 1), app = Pattern(9000, 2), evil = Pattern(10, 3);
    // First pass: the nameless address file, a file with a hostile path, a file in a directory;
    // the port is re-opened for every file, as the tool does.
    SendFiles(terminal, 3, {{"", adr}, {"../../../outside.bin", evil}, {"/home/app.bin", app}});
    const auto unit1 = setup.dir / "unit-1";
    EXPECT_EQ(ReadFile(unit1 / "file.adr"), adr);
    EXPECT_EQ(ReadFile(unit1 / "outside.bin"), evil);
    EXPECT_EQ(ReadFile(unit1 / "home" / "app.bin"), app);
    EXPECT_FALSE(std::filesystem::exists(dir / "outside.bin"));
    EXPECT_FALSE(std::filesystem::exists(setup.dir / "outside.bin"));

    // Second pass announces three files but sends two (no address file); the third pass's first
    // file repeats a name and so belongs to the next terminal.
    for (int passNumber = 2; passNumber <= 3; ++passNumber) {
        SendFiles(terminal, 3, {{"/home/app.bin", app}, {"logo.bmp", evil}});
    }
    terminal.Shutdown(now);

    const auto units = Lines("unit");
    ASSERT_EQ(units.size(), 3u);
    EXPECT_TRUE(units[0]["complete"]);
    EXPECT_EQ(units[0]["files_good"], 3);
    EXPECT_EQ(units[1]["files_good"], 2);
    EXPECT_FALSE(units[1]["complete"]);  // three were announced
    EXPECT_EQ(units[2]["unit"], 3);
    EXPECT_EQ(ReadFile(setup.dir / "unit-3" / "logo.bmp"), evil);

    const auto files = Lines("file");
    ASSERT_EQ(files.size(), 7u);
    for (const auto& file : files) {
        EXPECT_TRUE(file["good"]);
        // The recorded CRC is the stored content's, so a verifier can compare with its source.
        const Bytes stored = ReadFile(file["stored"].get<std::string>());
        char crc[12];
        std::snprintf(crc, sizeof crc, "%08x", Crc32(0, stored));
        EXPECT_EQ(file["crc"], crc);
        EXPECT_EQ(file["received"], stored.size());
    }
    EXPECT_EQ(tally.units, 3u);
    EXPECT_EQ(tally.filesGood, 7u);
}

// termsim may see a close and the next open before it has read the bytes written before the
// close: a frame and a file left midway then take those bytes in the same unit, and the next
// pass's first file still starts the next unit.
TEST_F(SimTerminal, BytesReadAfterALateSeenReopenFinishTheFileTheyBelongTo) {
    Terminal terminal(setup, host, log, tally);
    const Bytes a = Pattern(9000, 11), b = Pattern(100, 12);
    const Bytes framesA = Frames({2, 5, 0x10, "a.bin"}, a, FrameFormat::Full);
    const Bytes framesB = Frames({2, 5, 0x10, "b.bin"}, b, FrameFormat::Full);
    const auto cut = framesA.begin() + 4173 + 1000;  // inside the second frame
    terminal.PortOpened(now);
    terminal.Receive(Bytes(framesA.begin(), cut), now);
    terminal.PortClosed(now, true);
    terminal.PortOpened(now);
    Bytes late(cut, framesA.end());
    late.insert(late.end(), framesB.begin(), framesB.end());
    terminal.Receive(late, now);
    terminal.PortClosed(now, true);
    Send(terminal, framesA);
    terminal.Shutdown(now);

    EXPECT_EQ(ReadFile(setup.dir / "unit-1" / "a.bin"), a);
    EXPECT_EQ(ReadFile(setup.dir / "unit-1" / "b.bin"), b);
    EXPECT_EQ(ReadFile(setup.dir / "unit-2" / "a.bin"), a);
    const auto units = Lines("unit");
    ASSERT_EQ(units.size(), 2u);
    EXPECT_TRUE(units[0]["complete"]);
    EXPECT_EQ(units[0]["frames_bad"], 0);
    EXPECT_EQ(units[0]["stray_bytes"], 0);
    EXPECT_TRUE(Lines("frame-rejected").empty());
}

TEST_F(SimTerminal, AFileNamedLikeAnotherOnesTemporaryIsKept) {
    Terminal terminal(setup, host, log, tally);
    const Bytes first = Pattern(5000, 7), second = Pattern(300, 8);
    SendFiles(terminal, 2, {{"x.part", first}, {"x", second}});
    const auto unit1 = setup.dir / "unit-1";
    EXPECT_EQ(ReadFile(unit1 / "x.part"), first);
    EXPECT_EQ(ReadFile(unit1 / "x"), second);
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(unit1), {}), 2);
}

TEST_F(SimTerminal, BadFramesAreRecordedAndNeverStoredAndHangUpEndsTheUnit) {
    setup.hangupAfterFrames = 3;
    Terminal terminal(setup, host, log, tally);
    Bytes stream = Frames({1, 5, 0x10, "app.bin"}, Pattern(8192, 5), FrameFormat::Full);
    stream[4173 + 500] ^= 0xFF;  // second frame's sum fails
    Send(terminal, stream);
    EXPECT_FALSE(std::filesystem::exists(setup.dir / "unit-1" / "app.bin"));
    const auto unit1 = setup.dir / "unit-1";  // nothing stored, no temporary left
    EXPECT_TRUE(!std::filesystem::exists(unit1) || std::filesystem::is_empty(unit1));
    const auto files = Lines("file");
    ASSERT_EQ(files.size(), 1u);
    EXPECT_FALSE(files[0]["good"]);
    EXPECT_TRUE(files[0]["stored"].is_null());
    EXPECT_EQ(Lines("frame-rejected").size(), 1u);

    // Three good frames on the next unit, then the terminal hangs up mid-file.
    terminal.PortOpened(now);
    terminal.Receive(Frames({1, 5, 0x10, "big.bin"}, Pattern(5 * 4096, 6), FrameFormat::Full), now);
    EXPECT_EQ(host.hangups, 1);
    const auto units = Lines("unit");
    ASSERT_EQ(units.size(), 2u);
    EXPECT_EQ(units[1]["ended"], "hang-up");
    EXPECT_EQ(units[1]["frames_good"], 3);

    // A stalling terminal stops taking bytes after its frames; the next open is a new unit.
    setup.hangupAfterFrames = -1;
    setup.stallAfterFrames = 2;
    setup.port = "COM5";
    setup.dir = dir / "COM5";
    Terminal stalling(setup, host, log, tally);
    stalling.PortOpened(now);
    stalling.Receive(Frames({1, 5, 0x10, "big.bin"}, Pattern(5 * 4096, 6), FrameFormat::Full), now);
    EXPECT_EQ(host.stalls, 1);
    stalling.PortClosed(now);
    stalling.PortOpened(now);
    stalling.Receive(Frames({1, 5, 0x10, "ok.bin"}, Pattern(10, 7), FrameFormat::Full), now);
    stalling.Shutdown(now);
    const auto stalled = Lines("unit");
    ASSERT_EQ(stalled.size(), 4u);
    EXPECT_EQ(stalled[2]["ended"], "stalled");
    EXPECT_EQ(stalled[2]["frames_good"], 2);
    EXPECT_TRUE(stalled[3]["complete"]);
}

// A hang-up or a stall hits as many units as it is given (the first one by default): a terminal
// that failed is swapped for one that works, so the units after it get every file.
TEST_F(SimTerminal, HangUpsAndStallsHitAsManyUnitsAsGivenAndTheNextOnesAreHealthy) {
    const Bytes big = Pattern(5 * 4096 - 7, 6);
    const Bytes stream = Frames({1, 5, 0x10, "big.bin"}, big, FrameFormat::Full);
    struct Case {
        int hangupAfter, hangupUnits, stallAfter, stallUnits;
        std::vector<std::string> ended;  // of four units, each sent the whole file once
    };
    const std::vector<Case> cases = {
        {3, 1, -1, 1, {"hang-up", "files", "files", "files"}},
        {3, 2, -1, 1, {"hang-up", "hang-up", "files", "files"}},
        {3, 0, -1, 1, {"hang-up", "hang-up", "hang-up", "hang-up"}},
        {-1, 1, 2, 1, {"stalled", "files", "files", "files"}},
        {-1, 1, 2, 0, {"stalled", "stalled", "stalled", "stalled"}},
        // Both on one frame: the hang-up wins, and the stall waits for a unit it can hit.
        {3, 1, 3, 1, {"hang-up", "stalled", "files", "files"}},
        // The stall comes first and keeps the unit from reaching the hang-up.
        {4, 1, 2, 1, {"stalled", "hang-up", "files", "files"}},
    };
    for (size_t n = 0; n < cases.size(); ++n) {
        const Case& c = cases[n];
        const std::string port = "COM" + std::to_string(10 + n);
        SCOPED_TRACE(port);
        setup.port = port;
        setup.dir = dir / port;
        setup.hangupAfterFrames = c.hangupAfter;
        setup.hangupUnits = c.hangupUnits;
        setup.stallAfterFrames = c.stallAfter;
        setup.stallUnits = c.stallUnits;
        FakeHost line;
        Terminal terminal(setup, line, log, tally);
        for (size_t unit = 0; unit < c.ended.size(); ++unit) {
            Send(terminal, stream);
            now += milliseconds(10);
        }
        terminal.Shutdown(now);

        auto units = Lines("unit");
        std::erase_if(units, [&](const nlohmann::json& unit) { return unit["port"] != port; });
        ASSERT_EQ(units.size(), c.ended.size());
        for (size_t i = 0; i < units.size(); ++i) {
            EXPECT_EQ(units[i]["unit"], i + 1);
            EXPECT_EQ(units[i]["ended"], c.ended[i]) << "unit " << i + 1;
            const bool healthy = c.ended[i] == "files";
            EXPECT_EQ(units[i]["complete"], healthy) << "unit " << i + 1;
            const auto stored = setup.dir / ("unit-" + std::to_string(i + 1)) / "big.bin";
            if (healthy) {
                EXPECT_EQ(ReadFile(stored), big) << "unit " << i + 1;
            } else {
                EXPECT_FALSE(std::filesystem::exists(stored)) << "unit " << i + 1;
                EXPECT_EQ(units[i]["frames_good"],
                          c.ended[i] == "hang-up" ? c.hangupAfter : c.stallAfter);
            }
        }
        EXPECT_EQ(line.hangups, std::count(c.ended.begin(), c.ended.end(), "hang-up"));
        EXPECT_EQ(line.stalls, std::count(c.ended.begin(), c.ended.end(), "stalled"));
    }
}

TEST_F(SimTerminal, PacketsAndTypingAreToldApartFromFrames) {
    setup.versions = {{0, "B002"}, {7, "SDK-1.105"}};
    setup.console.bootTime = milliseconds(0);
    Terminal terminal(setup, host, log, tally);
    terminal.PortOpened(now);
    terminal.Advance(now);
    ASSERT_NE(host.sent.find("Board"), std::string::npos);
    host.sent.clear();

    // "UpNand" starts with 'U' = 0x55, the first sync byte: still typing.
    const std::string typed = "UUpNand";
    terminal.Receive(Bytes(typed.begin(), typed.end()), now);
    EXPECT_EQ(host.sent, "UUpNand");
    terminal.Receive(Bytes{0x1B}, now);  // ESC drops the line

    const Bytes clock = {0x01, 0x01, 0x01, 0x01, 0x10, 0x50, 0x08, 0x07, 0x05,
                         0x09, 0x01, 0x30, 0x10, 0x16, 0x20, 0x03, 0xF8};
    terminal.Receive(clock, now);
    const auto clocks = Lines("clock");
    ASSERT_EQ(clocks.size(), 1u);
    EXPECT_EQ(clocks[0]["time"], "2016-10-30T09:05:07");
    EXPECT_TRUE(clocks[0]["valid"]);

    host.sent.clear();
    const Bytes request = {0x01, 0x01, 0x01, 0x01, 0x15, 0xDC, 0x00, 0x05,
                           0x01, 0x10, 0x10, 0x18, 0x00, 0x03, 0x33};
    // Split across two reads, as a slow line delivers it.
    terminal.Receive(std::span<const uint8_t>(request).first(6), now);
    terminal.Receive(std::span<const uint8_t>(request).subspan(6), now);
    EXPECT_EQ(AsBytes(host.sent), BuildVersionReply(setup.versions));
    ASSERT_EQ(Lines("version").size(), 1u);

    // A truncated packet is given up after the hold time, not left hanging.
    terminal.Receive(std::span<const uint8_t>(clock).first(9), now);
    ASSERT_TRUE(terminal.NextDeadline().has_value());
    terminal.Advance(*terminal.NextDeadline());
    EXPECT_EQ(Lines("packet-rejected").size(), 1u);
}

}  // namespace
}  // namespace termsim
