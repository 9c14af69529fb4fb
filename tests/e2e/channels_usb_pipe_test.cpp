// The USB bulk pipe end to end: the tool's channel, in a process started with umockdev's preload
// as the tool will be, writes through the real libusb into termsim's device, which checks every
// image, answers bad ones on COM1's console and keeps each one under the unit's directory.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <termios.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <sstream>
#include <vector>

#include "support/termsim.h"

namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;

using namespace termload::test;

struct PeerRun {
    int exitCode = -1;
    std::vector<size_t> progress;
    std::string status;  // "ok", "timed-out", …
    size_t bytes = 0;
    long milliseconds = 0;
    std::string output;
};

class UsbPipeE2e : public ::testing::Test {
  protected:
    void TearDown() override {
        if (console_ >= 0) {
            ::close(console_);
        }
    }

    // termsim with its USB device; returns when its environment file and port map are there.
    void Start(const std::vector<std::string>& faults = {},
               const std::vector<std::string>& more = {}) {
        std::vector<std::string> args = {"--usb", "--boot-ms", "50", "--quiet"};
        args.insert(args.end(), more.begin(), more.end());
        sim_ = std::make_unique<Termsim>(dir_, args, 1, faults);
        ASSERT_EQ(sim_->Log().find("without umockdev"), std::string::npos) << kUmockdevMissing;
        ASSERT_TRUE(sim_->Started());
        env_ = ReadEnvFile(dir_ / "env");
        ASSERT_EQ(env_.count("UMOCKDEV_DIR"), 1u);
        ASSERT_EQ(env_.count("LD_PRELOAD"), 1u);
    }

    // COM1 opened as the tool's console: raw, its output read by ConsoleUntil.
    void OpenConsole() {
        console_ = ::open((dir_ / "ports" / "COM1").c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK);
        ASSERT_GE(console_, 0);
        termios raw{};
        ::tcgetattr(console_, &raw);
        ::cfmakeraw(&raw);
        ::tcsetattr(console_, TCSANOW, &raw);
    }

    // Reads the console until `text` appears (true) or `limit` passes.
    bool ConsoleUntil(const std::string& text, std::chrono::milliseconds limit) {
        return WaitUntil(
            [&] {
                char buffer[1024];
                for (ssize_t n; (n = ::read(console_, buffer, sizeof buffer)) > 0;) {
                    consoleText_.append(buffer, static_cast<size_t>(n));
                }
                const auto found = consoleText_.find(text, consoleSeen_);
                if (found == std::string::npos) {
                    return false;
                }
                consoleSeen_ = found + text.size();
                return true;
            },
            limit);
    }

    // DownNand's partition menu: partition `part`, confirmed; waits for the outcome `expect`.
    bool Solidify(char part, const std::string& expect) {
        const std::string typed = std::string("DownNand\r");
        if (::write(console_, typed.data(), typed.size()) != static_cast<ssize_t>(typed.size()) ||
            !ConsoleUntil("[user-fs]", 10s) || ::write(console_, &part, 1) != 1 ||
            !ConsoleUntil("(y/n)", 10s) || ::write(console_, "y", 1) != 1) {
            return false;
        }
        return ConsoleUntil(expect, 10s);
    }

    // The channel's test program in its own process, with termsim's environment.
    PeerRun Peer(std::vector<std::string> args) {
        args.insert(args.begin(), USB_PEER_PATH);
        auto env = env_;
        // In a sanitizer build the preload comes before the ASan runtime, which is fine here.
        const char* asan = std::getenv("ASAN_OPTIONS");
        env["ASAN_OPTIONS"] = std::string(asan ? asan : "") + ":verify_asan_link_order=0";
        const fs::path out = dir_ / "peer.txt";
        fs::remove(out);
        Process peer(args, out, -1, env);
        PeerRun run;
        run.exitCode = peer.Wait(std::chrono::minutes(5)).value_or(-1);
        run.output = ReadFile(out);
        std::istringstream lines(run.output);
        for (std::string word; lines >> word;) {
            if (word == "progress") {
                size_t sent = 0;
                lines >> sent;
                run.progress.push_back(sent);
            } else if (word == "result") {
                lines >> run.status >> run.bytes >> run.milliseconds;
                std::getline(lines, word);
            } else if (word == "no-preload:") {
                ADD_FAILURE() << kUmockdevMissing;
                std::getline(lines, word);
            }
        }
        return run;
    }

    fs::path WriteSource(size_t size, unsigned seed) {
        const fs::path path = dir_ / ("source-" + std::to_string(size) + ".bin");
        WriteFile(path, PatternBytes(size, seed));
        return path;
    }

    // termsim keeps image K of the first unit as usb/image-K.bin, or .bad when it failed.
    fs::path AwaitImage(int number, bool good) {
        const fs::path path = dir_ / "COM1" / "unit-1" / "usb" /
                              ("image-" + std::to_string(number) + (good ? ".bin" : ".bad"));
        EXPECT_TRUE(WaitUntil([&] { return fs::exists(path); })) << path;
        return path;
    }

    const ScratchDir scratch_{"usb-pipe-e2e"};
    const fs::path& dir_ = scratch_.Path();
    std::unique_ptr<Termsim> sim_;
    int console_ = -1;
    std::map<std::string, std::string> env_;
    std::string consoleText_;
    size_t consoleSeen_ = 0;
};

TEST_F(UsbPipeE2e, ImagesArriveByteIdenticalWithProgressAfterEveryChunk) {
    ASSERT_NO_FATAL_FAILURE(Start({}, {"--work-ms", "50"}));
    ASSERT_NO_FATAL_FAILURE(OpenConsole());
    int number = 0;
    // Empty, one byte, an image of exactly one chunk, one and a bit, many chunks.
    for (size_t size : {0u, 1u, 8182u, 10000u, 300000u}) {
        SCOPED_TRACE(size);
        const fs::path source = WriteSource(size, static_cast<unsigned>(size));
        const PeerRun run = Peer({"send", source.string(), "0x30200000"});
        EXPECT_EQ(run.status, "ok") << run.output;
        EXPECT_EQ(run.bytes, size + 10);
        std::vector<size_t> chunks;
        for (size_t sent = 8192; sent < size + 10; sent += 8192) chunks.push_back(sent);
        chunks.push_back(size + 10);
        EXPECT_EQ(run.progress, chunks);
        EXPECT_EQ(ReadFile(AwaitImage(++number, true)), ReadFile(source));
    }
    EXPECT_FALSE(ConsoleUntil("Checksum Error", 200ms)) << consoleText_;
    // What DownNand solidifies is the last image, kept per region.
    ASSERT_TRUE(Solidify('2', "success")) << consoleText_;
    EXPECT_EQ(ReadFile(dir_ / "COM1" / "unit-1" / "nand" / "region-2.bin"),
              ReadFile(dir_ / "source-300000.bin"));
}

TEST_F(UsbPipeE2e, BadImagesGetChecksumErrorOnTheConsoleAndTheNextGoodOneIsTaken) {
    ASSERT_NO_FATAL_FAILURE(Start({"1:usbsum=1"}, {"--work-ms", "50"}));
    ASSERT_NO_FATAL_FAILURE(OpenConsole());
    const fs::path source = WriteSource(20000, 7);
    // The fault damages the first image's sum on the way; then a sum wrong from the start; then
    // a load address outside the terminal's RAM.
    const std::vector<std::vector<std::string>> bad = {
        {"send", source.string(), "0x30200000"},
        {"send", source.string(), "0x30200000", "badsum"},
        {"send", source.string(), "0x10000000"}};
    for (size_t i = 0; i < bad.size(); ++i) {
        SCOPED_TRACE(i);
        const PeerRun run = Peer(bad[i]);
        EXPECT_EQ(run.status, "ok") << run.output;  // the pipe took it; the terminal judges
        AwaitImage(static_cast<int>(i + 1), false);
        EXPECT_TRUE(ConsoleUntil("Checksum Error", 10s)) << consoleText_;
    }
    EXPECT_TRUE(Solidify('0', "not written: bad image")) << consoleText_;
    const PeerRun good = Peer({"send", source.string(), "0x30200000"});
    EXPECT_EQ(good.status, "ok") << good.output;
    EXPECT_EQ(ReadFile(AwaitImage(4, true)), ReadFile(source));
    EXPECT_FALSE(ConsoleUntil("Checksum Error", 200ms)) << consoleText_;
}

TEST_F(UsbPipeE2e, ADeviceThatStopsTakingDataFailsTheChunkAfterFourSeconds) {
    // The first two images stall once 8192 bytes are in: the second chunk gets nowhere.
    ASSERT_NO_FATAL_FAILURE(Start({"1:usbstall=8192*2"}));
    const fs::path source = WriteSource(100000, 3);
    const PeerRun stalled = Peer({"send", source.string(), "0x30200000"});
    EXPECT_EQ(stalled.status, "timed-out") << stalled.output;
    EXPECT_EQ(stalled.progress, std::vector<size_t>{8192});
    EXPECT_EQ(stalled.bytes, 8192u);
    EXPECT_GE(stalled.milliseconds, 3900);
    EXPECT_LT(stalled.milliseconds, 20000);
    AwaitImage(1, false);  // kept, cut off

    // Cancelled from another thread, the chunk ends well before its four seconds.
    const PeerRun cancelled = Peer({"send", source.string(), "0x30200000", "cancel=300"});
    EXPECT_EQ(cancelled.status, "cancelled") << cancelled.output;
    EXPECT_LT(cancelled.milliseconds, 3500);
    AwaitImage(2, false);

    const PeerRun good = Peer({"send", source.string(), "0x30200000"});
    EXPECT_EQ(good.status, "ok") << good.output;
    EXPECT_EQ(ReadFile(AwaitImage(3, true)), ReadFile(source));
}

TEST_F(UsbPipeE2e, NoDeviceOfThatIdIsReportedAsNotFound) {
    ASSERT_NO_FATAL_FAILURE(Start());
    EXPECT_EQ(Peer({"probe"}).status, "ok");
    EXPECT_EQ(Peer({"probe", "device=1234:5678"}).status, "not-found");
    const fs::path source = WriteSource(100, 1);
    const PeerRun run = Peer({"send", source.string(), "0x30200000", "device=1234:5678"});
    EXPECT_EQ(run.status, "not-found") << run.output;
    EXPECT_NE(run.output.find("no USB device 1234:5678"), std::string::npos) << run.output;
}

}  // namespace
