// The far end of a COM port for the channel tests: ptys named by a port map, a trace log, and
// the channel opened as the tool opens it.
#pragma once

#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <string_view>
#include <vector>

#include <gtest/gtest.h>

#include "channels/port_map.h"
#include "channels/serial_channel.h"
#include "channels/trace_log.h"
#include "support/files.h"
#include "support/process.h"
#include "support/pty.h"

namespace termload::test {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;
using PtyPeer = Pty;

// A port-map file that maps COM1, COM2, … to the given peers, in force while it lives.
class PortMapForTest {
  public:
    explicit PortMapForTest(const std::vector<const Pty*>& peers,
                            const std::vector<std::string>& extraLines = {}) {
        file_ =
            std::filesystem::temp_directory_path() / ("channels-ports-" + std::to_string(getpid()) +
                                                      "-" + std::to_string(++serial_) + ".ini");
        std::ofstream out(file_);
        out << "[Ports]\n";
        for (std::size_t i = 0; i < peers.size(); ++i) {
            out << "COM" << i + 1 << "=" << peers[i]->SlavePath() << "\n";
        }
        for (const auto& line : extraLines) {
            out << line << "\n";
        }
        out.close();
        SetPortMapFile(file_);
    }
    ~PortMapForTest() {
        SetPortMapFile({});
        std::filesystem::remove(file_);
    }
    PortMapForTest(const PortMapForTest&) = delete;
    PortMapForTest& operator=(const PortMapForTest&) = delete;

  private:
    static inline int serial_ = 0;
    std::filesystem::path file_;
};

// A trace log of the test's own, empty at the start.
class TraceLogForTest {
  public:
    TraceLogForTest() {
        file_ =
            std::filesystem::temp_directory_path() /
            ("channels-log-" + std::to_string(getpid()) + "-" + std::to_string(++serial_) + ".txt");
        std::filesystem::remove(file_);
        ChannelLibInit();
        SetTraceLogPath(file_.string());
    }
    ~TraceLogForTest() { std::filesystem::remove(file_); }
    TraceLogForTest(const TraceLogForTest&) = delete;
    TraceLogForTest& operator=(const TraceLogForTest&) = delete;

    std::string Contents() const { return ReadFile(file_); }

  private:
    static inline int serial_ = 0;
    std::filesystem::path file_;
};

// Bytes 0, 1, …, 255, 0, … offset by `seed`: every byte value, NUL, XON and XOFF included.
inline std::string Pattern(std::size_t size, unsigned seed = 0) {
    std::string bytes(size, '\0');
    for (std::size_t i = 0; i < size; ++i) {
        bytes[i] = static_cast<char>((i + seed) & 0xFF);
    }
    return bytes;
}

// One pty as COM1, named by the port map while the test runs.
class OnePortTest : public ::testing::Test {
  protected:
    PtyPeer peer;
    PortMapForTest map{{&peer}};
    ChannelHandle handle = 0;
};

// 115200 8N1, no flow control.
inline ChannelHandle OpenPort(int portNumber, ReceiveCallback callback = {}, bool trace = false) {
    return ComOpen(portNumber, 115200, 8, 0, 0, 0, std::move(callback), trace);
}

}  // namespace termload::test
