// The far end of a COM port for the channel tests: ptys named by a port map, a trace log, and
// the channel opened as the tool opens it.
#pragma once

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

#include <gtest/gtest.h>

#include "channels/port_map.h"
#include "channels/serial_channel.h"
#include "channels/trace_log.h"
#include "support/files.h"
#include "support/port_map_scope.h"
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
                            const std::vector<std::string>& extraLines = {})
        : map_(dir_.Write("ports.ini", MapText(peers, extraLines))) {}

  private:
    static std::string MapText(const std::vector<const Pty*>& peers,
                               const std::vector<std::string>& extraLines) {
        std::string text = "[Ports]\n";
        for (std::size_t i = 0; i < peers.size(); ++i) {
            text += "COM" + std::to_string(i + 1) + "=" + peers[i]->SlavePath() + "\n";
        }
        for (const auto& line : extraLines) {
            text += line + "\n";
        }
        return text;
    }

    ScratchDir dir_{"channels-ports"};
    PortMapInForce map_;
};

// A trace log of the test's own, empty at the start.
class TraceLogForTest {
  public:
    TraceLogForTest() {
        ChannelLibInit();
        SetTraceLogPath(file_.string());
    }

    std::string Contents() const { return ReadFile(file_); }

  private:
    ScratchDir dir_{"channels-log"};
    std::filesystem::path file_ = dir_ / "LOG.txt";
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
