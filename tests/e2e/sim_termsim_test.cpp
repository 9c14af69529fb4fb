// The termsim program end to end: real ptys, lrzsz as an independent YMODEM sender, 27 ports at
// once, faults, pacing and the relay.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <termios.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <nlohmann/json.hpp>
#include <thread>

#include "support/termsim.h"
#include "support/termsim_frames.h"

namespace termsim {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;
using SteadyClock = std::chrono::steady_clock;
using Child = termload::test::Process;
using termload::test::Installed;
using termload::test::Termsim;

// One end of a port as the tool opens it: raw, 8 bits.
class Port {
  public:
    explicit Port(const fs::path& path) : fd_(::open(path.c_str(), O_RDWR | O_NOCTTY)) {
        if (fd_ >= 0) {
            termios raw{};
            ::tcgetattr(fd_, &raw);
            ::cfmakeraw(&raw);
            ::tcsetattr(fd_, TCSANOW, &raw);
        }
    }
    ~Port() {
        if (fd_ >= 0) {
            ::close(fd_);
        }
    }
    int fd() const { return fd_; }
    bool Write(const std::string& bytes) { return Write(Bytes(bytes.begin(), bytes.end())); }
    bool Write(const Bytes& bytes) {
        for (size_t done = 0; done < bytes.size();) {
            const ssize_t n = ::write(fd_, bytes.data() + done, bytes.size() - done);
            if (n <= 0) {
                return false;
            }
            done += static_cast<size_t>(n);
        }
        return true;
    }
    // Reads until `text` has appeared or `limit` passed; returns everything read.
    std::string ReadUntil(const std::string& text, std::chrono::milliseconds limit) {
        std::string seen;
        const auto end = SteadyClock::now() + limit;
        while (seen.find(text) == std::string::npos && SteadyClock::now() < end) {
            pollfd p{fd_, POLLIN, 0};
            if (::poll(&p, 1, 50) > 0) {
                char buffer[4096];
                const ssize_t n = ::read(fd_, buffer, sizeof buffer);
                if (n <= 0) {
                    break;
                }
                seen.append(buffer, static_cast<size_t>(n));
            }
        }
        return seen;
    }

  private:
    int fd_;
};

class SimProgram : public ::testing::Test {
  protected:
    void Start(std::vector<std::string> args, int ports) {
        args.insert(args.begin(), {"--boot-ms", "50"});
        sim = std::make_unique<Termsim>(dir.Path(), args, ports);
        ASSERT_TRUE(sim->Started());
    }

    fs::path Link(int port) const { return sim->Link(port); }

    static Bytes ReadFile(const fs::path& path) { return AsBytes(termload::test::ReadFile(path)); }

    termload::test::ScratchDir dir{"termsim-e2e", true};
    std::unique_ptr<Termsim> sim;
};

TEST_F(SimProgram, YmodemFromLrzszArrivesByteIdentical) {
    ASSERT_TRUE(Installed("sz", "lrzsz"));
    Start({"--ports", "1"}, 1);
    size_t expected = 0;
    for (const char* blocks : {"-k", ""}) {
        for (size_t size : {size_t{0}, size_t{1}, size_t{1030}, size_t{3u << 20}}) {
            const std::string name =
                "image-" + std::to_string(size) + (blocks[0] != 0 ? "-1k" : "-128") + ".bin";
            const Bytes content = Pattern(size, static_cast<uint32_t>(size + 17));
            dir.Write(name, AsText(content));
            {
                Port console(Link(1));
                ASSERT_GE(console.fd(), 0);
                ASSERT_TRUE(console.Write(std::string("\rcomload\r")));
                ASSERT_NE(console.ReadUntil("YMODEM protocol...", 10s).find("YMODEM protocol..."),
                          std::string::npos);
            }
            // The sender opens the port afresh, as the tool does between the two phases.
            const int line = ::open(Link(1).c_str(), O_RDWR | O_NOCTTY);
            ASSERT_GE(line, 0);
            std::vector<std::string> sz = {"sz", "--ymodem", "-q"};
            if (blocks[0] != 0) {
                sz.push_back(blocks);
            }
            sz.push_back((dir / name).string());
            Child sender(sz, dir / "sz.log", line);
            ::close(line);
            const auto status = sender.Wait(120s);
            ASSERT_TRUE(status.has_value()) << name << ": sz did not finish";
            EXPECT_EQ(*status, 0) << name;

            const auto files = sim->AwaitResults("file", ++expected);
            ASSERT_EQ(files.size(), expected) << name;
            const auto& result = files.back();
            EXPECT_EQ(result["name"], name);
            EXPECT_TRUE(result["good"]) << result.dump();
            EXPECT_EQ(result["length"], size);
            EXPECT_EQ(ReadFile(dir / "COM1" / "unit-1" / name), content) << name;
        }
    }
}

TEST_F(SimProgram, TwentySevenPortsStartFastServeTogetherAndIdleWithoutSpinning) {
    Start({"--ports", "27", "--quiet"}, 27);
    RecordProperty("startup_ms", static_cast<int>(sim->Startup().count()));
    EXPECT_LT(sim->Startup(), 10s);  // a hang bound; the figure itself is in the report

    const auto idleBefore = sim->Program().CpuTime();
    std::this_thread::sleep_for(1500ms);
    EXPECT_LT(sim->Program().CpuTime() - idleBefore, 300ms) << "an idle termsim must sleep";

    // Every port gets its own pass of two files at once, written as fast as the pty takes them.
    std::vector<std::thread> tools;
    std::vector<Bytes> apps(28), params(28);
    for (int port = 1; port <= 27; ++port) {
        apps[port] = Pattern(20000 + port * 1000, static_cast<uint32_t>(port));
        params[port] = Pattern(300 + port, static_cast<uint32_t>(port + 100));
        tools.emplace_back([&, port]() {
            for (const auto& [name, content] :
                 {std::pair<std::string, const Bytes*>{"app.bin", &apps[port]},
                  std::pair<std::string, const Bytes*>{"param.ini", &params[port]}}) {
                {
                    Port tool(Link(port));
                    tool.Write(Frames({2, 0x0A, 0x10, name}, *content, FrameFormat::Full));
                }
                std::this_thread::sleep_for(100ms);  // the tool's pause before it re-opens
            }
        });
    }
    for (auto& tool : tools) {
        tool.join();
    }
    const auto files = sim->AwaitResults("file", 54);
    EXPECT_EQ(files.size(), 54u);
    for (int port = 1; port <= 27; ++port) {
        const fs::path unit = dir / ("COM" + std::to_string(port)) / "unit-1";
        EXPECT_EQ(ReadFile(unit / "app.bin"), apps[port]) << port;
        EXPECT_EQ(ReadFile(unit / "param.ini"), params[port]) << port;
    }
    const auto idleAfter = sim->Program().CpuTime();
    std::this_thread::sleep_for(1000ms);
    EXPECT_LT(sim->Program().CpuTime() - idleAfter, 200ms)
        << "nothing keeps running after the work";

    // SIGTERM: every unit and a summary are recorded, the links are removed.
    EXPECT_EQ(sim->Stop(10s), 0);
    const auto units = sim->Results("unit");
    ASSERT_EQ(units.size(), 27u);
    for (const auto& unit : units) {
        EXPECT_TRUE(unit["complete"]) << unit.dump();
    }
    const auto summary = sim->Results("summary");
    ASSERT_EQ(summary.size(), 1u);
    EXPECT_EQ(summary[0]["files_good"], 54);
    EXPECT_FALSE(fs::exists(fs::symlink_status(Link(1))));
}

TEST_F(SimProgram, HangUpClosesTheLineAndTheNextOpenMeetsANewUnit) {
    Start({"--ports", "2", "--fault", "1:hangup=2"}, 2);
    const fs::path before = fs::read_symlink(Link(1));
    {
        Port tool(Link(1));
        const Bytes frames =
            Frames({1, 5, 0x10, "big.bin"}, Pattern(8 * 4096, 1), FrameFormat::Full);
        bool failed = false;
        for (size_t at = 0; at < frames.size() && !failed; at += 4173) {
            failed = !tool.Write(Bytes(frames.begin() + static_cast<long>(at),
                                       frames.begin() + static_cast<long>(at + 4173)));
            std::this_thread::sleep_for(20ms);
        }
        EXPECT_TRUE(failed) << "writes after the hang-up must fail";
    }
    EXPECT_NE(fs::read_symlink(Link(1)), before);
    const Bytes small = Pattern(5000, 2);
    {
        Port tool(Link(1));
        ASSERT_TRUE(tool.Write(Frames({1, 5, 0x10, "small.bin"}, small, FrameFormat::Full)));
    }
    ASSERT_EQ(sim->AwaitResults("file", 2).size(), 2u);
    EXPECT_EQ(ReadFile(dir / "COM1" / "unit-2" / "small.bin"), small);
    const auto units = sim->Results("unit");
    ASSERT_GE(units.size(), 1u);
    EXPECT_EQ(units[0]["ended"], "hang-up");
}

// A unit's boot loader greets once, when it is switched on: opening the port again does not reset
// the board. The operator's restart (--restart-ms) brings the banner again, and only for a port
// held open in silence.
TEST_F(SimProgram, BannerComesAtPowerOnNotAtEveryOpen) {
    Start({"--ports", "1", "--restart-ms", "300"}, 1);
    {
        Port console(Link(1));
        EXPECT_NE(console.ReadUntil("Board", 5s).find("Board"), std::string::npos);
        ASSERT_TRUE(console.Write(std::string("help\r")));
        console.ReadUntil("reset\r\n\\>", 5s);
    }
    {
        Port typing(Link(1));
        ASSERT_TRUE(typing.Write(std::string("\r")));
        const std::string seen = typing.ReadUntil("Board", 1500ms);
        EXPECT_EQ(seen.find("Board"), std::string::npos) << seen;
        EXPECT_NE(seen.find("\\>"), std::string::npos) << "the prompt answers at once";
    }
    Port silent(Link(1));
    EXPECT_NE(silent.ReadUntil("Board", 5s).find("Board"), std::string::npos);
    EXPECT_EQ(sim->AwaitResults("restart", 1).size(), 1u);
}

TEST_F(SimProgram, PacedLineTakesItsTimeAndTheRelayCarriesLrzsz) {
    ASSERT_TRUE(Installed("rb", "lrzsz"));
    ASSERT_TRUE(Installed("sb", "lrzsz"));
    // At 9600 baud the banner (about 130 bytes) needs over 100 ms on the line.
    Start({"--ports", "1", "--baud", "9600"}, 1);
    {
        Port console(Link(1));
        console.ReadUntil("\\>", 5s);
        const auto begin = SteadyClock::now();
        ASSERT_TRUE(console.Write(std::string("help\r")));
        const std::string answer = console.ReadUntil("reset\r\n\\>", 5s);
        EXPECT_NE(answer.find("comload"), std::string::npos);
        EXPECT_GT(SteadyClock::now() - begin, answer.size() * 10 * 1000000us / 9600 / 2);
    }
    sim.reset();

    // The relay between rb and sb, at a rate that keeps the test short.
    fs::remove_all(dir / "ports");
    Start({"--relay", "--baud", "2000000"}, 2);
    const Bytes content = Pattern(200000, 3);
    dir.Write("relayed.bin", AsText(content));
    fs::create_directories(dir / "received");
    const int receiverLine = ::open(Link(2).c_str(), O_RDWR | O_NOCTTY);
    const int senderLine = ::open(Link(1).c_str(), O_RDWR | O_NOCTTY);
    ASSERT_GE(receiverLine, 0);
    ASSERT_GE(senderLine, 0);
    const fs::path here = fs::current_path();
    fs::current_path(dir / "received");
    Child receiver({"rb", "--ymodem", "-q"}, dir / "rb.log", receiverLine);
    fs::current_path(here);
    Child sender({"sb", "-q", "-k", (dir / "relayed.bin").string()}, dir / "sb.log", senderLine);
    ::close(receiverLine);
    ::close(senderLine);
    EXPECT_EQ(receiver.Wait(120s), 0);
    EXPECT_EQ(ReadFile(dir / "received" / "relayed.bin"), content);
    // rb flushes its line as it exits, which often drops its last ACK before any relay can
    // read it; the sender then waits for it in vain, so its end is not looked at.
    sender.Wait(2s);
}

}  // namespace
}  // namespace termsim
