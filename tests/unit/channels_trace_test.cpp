// The trace log's layout: time-stamped lines, hex dumps, warnings, and lines from many threads
// that stay whole.
#include <algorithm>
#include <filesystem>
#include <numeric>
#include <regex>
#include <sstream>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "channels/trace_log.h"
#include "support/files.h"

namespace termload {
namespace {

class TraceLogTest : public ::testing::Test {
  protected:
    TraceLogTest() { SetTraceLogPath(file_.string()); }

    std::string Contents() const { return test::ReadFile(file_); }
    // A fresh log with only the dump of the first `count` bytes of 00 01 02 ...
    std::string Dump(std::size_t count) {
        std::filesystem::remove(file_);
        std::string bytes(count, '\0');
        std::iota(bytes.begin(), bytes.end(), '\0');
        TraceHex(bytes.data(), count);
        return Contents();
    }

    test::ScratchDir dir_{"channels-trace"};
    std::filesystem::path file_ = dir_ / "trace.txt";
};

TEST_F(TraceLogTest, HexDumpsBreakEvery16BytesAndLeaveABlankLineEvery256) {
    EXPECT_EQ(Dump(17), "00 01 02 03 04 05 06 07 08 09 0A 0B 0C 0D 0E 0F \n10 \n");
    EXPECT_EQ(Dump(16), "00 01 02 03 04 05 06 07 08 09 0A 0B 0C 0D 0E 0F \n");
    EXPECT_EQ(Dump(0), "");
    const std::string dump = Dump(257);
    // 16 full lines, the blank line after the 256th byte, then the 257th byte.
    const std::string lastFull = "F0 F1 F2 F3 F4 F5 F6 F7 F8 F9 FA FB FC FD FE FF \n";
    const std::size_t end = dump.find(lastFull);
    ASSERT_NE(end, std::string::npos);
    EXPECT_EQ(dump.substr(end + lastFull.size()), "\n00 \n");
    EXPECT_EQ(std::count(dump.begin(), dump.end(), '\n'), 18);

    EXPECT_TRUE(Dump(256).ends_with(lastFull + "\n"));
}

TEST_F(TraceLogTest, LinesCarryTheLocalTimeAndTheTextsOwnEndings) {
    TraceText("COM3 write succeed.\r\n");
    TraceText("COM3 closed.");
    const std::regex expected(
        "<\\d{4}-\\d{2}-\\d{2} \\d{2}:\\d{2}:\\d{2}> COM3 write succeed\\.\r\n\n"
        "<\\d{4}-\\d{2}-\\d{2} \\d{2}:\\d{2}:\\d{2}> COM3 closed\\.\n");
    EXPECT_TRUE(std::regex_match(Contents(), expected)) << Contents();
    EXPECT_EQ(TraceFormat("COM%d read bytes(%d) succeed.", 27, 2048),
              "COM27 read bytes(2048) succeed.");
}

// An error category whose text is long and multi-byte, as a translated system text can be.
class VerboseCategory : public std::error_category {
  public:
    const char* name() const noexcept override { return "verbose"; }
    std::string message(int) const override {
        std::string text;
        for (int i = 0; i < 150; ++i) {
            text += "\xC3\xA9";  // é
        }
        return text + "\r\n";
    }
};

TEST_F(TraceLogTest, WarningsNameThePortAndCallAndStayWithin200Bytes) {
    TraceWarning(4, "tcsetattr()", std::make_error_code(std::errc::invalid_argument));
    std::string line = Contents();
    EXPECT_NE(line.find("> WARNING: COM4 tcsetattr()  failed with error: Invalid argument.\n"),
              std::string::npos)
        << line;

    std::filesystem::remove(file_);
    static const VerboseCategory verbose;
    TraceWarning(12, "read()", std::error_code(5, verbose));
    line = Contents();
    const std::string text = line.substr(line.find("> ") + 2, line.size() - line.find("> ") - 3);
    EXPECT_LT(text.size(), 200u);
    EXPECT_TRUE(text.starts_with("WARNING: COM12 read()  failed with error: \xC3\xA9"));
    EXPECT_TRUE(text.ends_with("\xC3\xA9.")) << "cut inside a character";
}

TEST_F(TraceLogTest, DumpsFromManyThreadsStayWithTheirLines) {
    constexpr int kThreads = 8;
    constexpr int kEach = 40;
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t) {
        threads.emplace_back([t] {
            const std::string bytes(20, static_cast<char>(0xA0 + t));
            for (int i = 0; i < kEach; ++i) {
                TraceTextWithHex(TraceFormat("thread %d", t), bytes.data(), bytes.size());
            }
        });
    }
    for (auto& thread : threads) {
        thread.join();
    }
    std::istringstream lines(Contents());
    std::string line;
    int entries = 0;
    while (std::getline(lines, line)) {
        const auto at = line.find("> thread ");
        ASSERT_NE(at, std::string::npos) << line;
        const int t = std::stoi(line.substr(at + 9));
        const std::string value = TraceFormat("%02X ", 0xA0 + t);
        std::string first;
        std::string second;
        ASSERT_TRUE(std::getline(lines, first) && std::getline(lines, second));
        std::string expectedFirst;
        for (int i = 0; i < 16; ++i) {
            expectedFirst += value;
        }
        EXPECT_EQ(first, expectedFirst);
        EXPECT_EQ(second, value + value + value + value);
        ++entries;
    }
    EXPECT_EQ(entries, kThreads * kEach);
}

// An installed program logs into the per-user directory, which may not exist before its first
// line: the line must not be lost. Its name may be in any script (a Chinese user name).
TEST_F(TraceLogTest, FirstLineCreatesTheLogsDirectory) {
    const test::ScratchDir dir("channels-trace-dir");
    const std::filesystem::path logs =
        dir.Path() / std::filesystem::path(u8"\u65e5\u5fd7") / "termload";
    SetTraceLogPath(logs / "LOG.txt");
    TraceText("COM1 opened(normal)...");
    EXPECT_NE(test::ReadFile(logs / "LOG.txt").find("> COM1 opened(normal)...\n"),
              std::string::npos);
}

// A long shift's log stays bounded: LOG.txt moves aside to LOG.1.txt (the older ones one number
// up, the oldest dropped) once it has reached its size, and an entry is never split between two
// files.
TEST_F(TraceLogTest, FullLogMovesAsideAndOnlyTheNewestFilesAreKept) {
    const test::ScratchDir dir("channels-trace-rotate");
    SetTraceLogPath(dir / "LOG.txt");
    SetTraceLogRotation(1000, 2);
    const std::string bytes(40, '\x5A');
    for (int entry = 0; entry < 100; ++entry) {
        TraceTextWithHex(TraceFormat("entry %03d", entry), bytes.data(), bytes.size());
    }
    SetTraceLogRotation(kTraceLogRotateBytes, kTraceLogKeptFiles);

    EXPECT_FALSE(std::filesystem::exists(dir / "LOG.3.txt"));
    std::string kept;
    for (const char* name : {"LOG.2.txt", "LOG.1.txt", "LOG.txt"}) {
        const std::string content = test::ReadFile(dir / name);
        EXPECT_LT(content.size(), 1200u) << name;
        EXPECT_TRUE(content.find("> entry") < 30 && content.ends_with("5A \n")) << content;
        kept += content;
    }
    // The newest entries, in order, whole, up to the last one.
    const std::regex entry("> entry (\\d{3})\n(5A ){16}\n(5A ){16}\n(5A ){8}\n");
    int expected = -1;
    for (auto it = std::sregex_iterator(kept.begin(), kept.end(), entry);
         it != std::sregex_iterator(); ++it) {
        const int number = std::stoi((*it)[1]);
        EXPECT_TRUE(expected < 0 || number == expected) << number;
        expected = number + 1;
    }
    EXPECT_EQ(expected, 100);
}

}  // namespace
}  // namespace termload
