// termload-cli clock against a pty: the packet on the wire and the line settings it goes with.
#include <gtest/gtest.h>

#include <termios.h>

#include <cstdlib>

#include "cli_e2e_support.h"

namespace termload::cli::test {
namespace {

std::string Bytes(std::initializer_list<int> values) {
    std::string bytes;
    for (int value : values) {
        bytes.push_back(static_cast<char>(value));
    }
    return bytes;
}

class CliClock : public ::testing::Test {
  protected:
    void SetUp() override {
        setenv("TERMLOAD_FAKE_TIME", "2016-10-30 09:05:07", 1);
        // The configuration asks for 115200 baud and English texts.
        WriteFile(dir_.Path() / "Config.ini",
                  "[ModeList]\n05=M740-32\n[Config]\nLanguage=1\nBuardRate=12\n");
    }
    void TearDown() override { unsetenv("TERMLOAD_FAKE_TIME"); }

    std::string MapTo(const std::string& device) {
        const auto map = dir_.Path() / "ports.ini";
        WriteFile(map, "[Ports]\nCOM1=" + device + "\n");
        return map.string();
    }

    ScratchDir dir_{"cli-clock"};
};

TEST_F(CliClock, SendsTheExamplePacketAt38400Baud) {
    Pty pty;
    const CliResult result = RunCli({"clock", "--port", "1", "--ports-map", MapTo(pty.SlavePath()),
                                     "--config", (dir_.Path() / "Config.ini").string()},
                                    dir_.Path());
    EXPECT_EQ(result.exitCode, 0) << result.output;
    EXPECT_NE(result.output.find("[COM1]Download clock...OK"), std::string::npos) << result.output;

    EXPECT_EQ(pty.Read(17, std::chrono::seconds(5)),
              Bytes({0x01, 0x01, 0x01, 0x01, 0x10, 0x50, 0x08, 0x07, 0x05, 0x09, 0x01, 0x30, 0x10,
                     0x16, 0x20, 0x03, 0xF8}));
    EXPECT_EQ(pty.Read(1, std::chrono::milliseconds(200)), "") << "nothing after the packet";

    termios line{};
    ASSERT_EQ(tcgetattr(pty.SlaveFd(), &line), 0);
    EXPECT_EQ(cfgetospeed(&line), B38400) << "the configured 115200 does not apply to the clock";
}

TEST_F(CliClock, RefusalsAndFailures) {
    // A COM number the map lacks, and a map naming a missing device: refused before any open.
    CliResult result =
        RunCli({"clock", "--port", "2", "--ports-map", MapTo("/dev/null")}, dir_.Path());
    EXPECT_EQ(result.exitCode, 2);
    EXPECT_NE(result.output.find("COM2 is not in the port map"), std::string::npos)
        << result.output;

    result = RunCli({"clock", "--port", "1", "--ports-map", MapTo("/dev/termload-no-such-tty")},
                    dir_.Path());
    EXPECT_EQ(result.exitCode, 2);
    EXPECT_NE(result.output.find("does not exist"), std::string::npos) << result.output;

    // A device that is there but is no serial port: the port does not open.
    const auto notATty = dir_.Path() / "plain-file";
    WriteFile(notATty, "");
    result = RunCli({"clock", "--port", "1", "--ports-map", MapTo(notATty.string()), "--config",
                     (dir_.Path() / "Config.ini").string()},
                    dir_.Path());
    EXPECT_EQ(result.exitCode, 1);
    EXPECT_NE(result.output.find("[COM1]Port open failed"), std::string::npos) << result.output;

    // The time hook takes only a valid date and time.
    setenv("TERMLOAD_FAKE_TIME", "2016-02-30 00:00:00", 1);
    Pty pty;
    result = RunCli({"clock", "--port", "1", "--ports-map", MapTo(pty.SlavePath())}, dir_.Path());
    EXPECT_EQ(result.exitCode, 2) << result.output;
}

}  // namespace
}  // namespace termload::cli::test
