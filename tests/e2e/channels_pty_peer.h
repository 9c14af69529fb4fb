// The far end of a COM port for the channel tests: a pseudo-terminal whose slave the channel
// opens by path, and whose master the test reads and writes as the terminal would.
#pragma once

#include <fcntl.h>
#include <poll.h>
#include <pty.h>
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

namespace termload::test {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

class PtyPeer {
  public:
    PtyPeer() {
        char name[256] = {};
        if (openpty(&master_, &slave_, name, nullptr, nullptr) != 0) {
            ADD_FAILURE() << "openpty failed";
            return;
        }
        slavePath_ = name;
        fcntl(master_, F_SETFL, fcntl(master_, F_GETFL) | O_NONBLOCK);
    }
    ~PtyPeer() {
        HangUp();
        if (slave_ >= 0) {
            close(slave_);
        }
    }
    PtyPeer(const PtyPeer&) = delete;
    PtyPeer& operator=(const PtyPeer&) = delete;

    const std::string& SlavePath() const { return slavePath_; }
    // The peer's own descriptor of the slave: it keeps the pty alive between opens and shows
    // the line settings the channel applied.
    int SlaveFd() const { return slave_; }

    void Write(std::string_view bytes) {
        std::size_t sent = 0;
        while (sent < bytes.size()) {
            const ssize_t n = ::write(master_, bytes.data() + sent, bytes.size() - sent);
            if (n > 0) {
                sent += static_cast<std::size_t>(n);
            } else {
                pollfd out{master_, POLLOUT, 0};
                poll(&out, 1, 100);
            }
        }
    }

    // Reads until `count` bytes are in or `limit` has passed.
    std::string Read(std::size_t count, std::chrono::milliseconds limit = 5s) {
        std::string got;
        const auto deadline = Clock::now() + limit;
        char buffer[4096];
        while (got.size() < count && Clock::now() < deadline) {
            const ssize_t n = ::read(master_, buffer, std::min(sizeof buffer, count - got.size()));
            if (n > 0) {
                got.append(buffer, static_cast<std::size_t>(n));
                continue;
            }
            pollfd in{master_, POLLIN, 0};
            poll(&in, 1, 20);
        }
        return got;
    }

    // Reads whatever arrives until nothing has come for `quiet`.
    std::string ReadUntilQuiet(std::chrono::milliseconds quiet = 300ms) {
        std::string got;
        char buffer[4096];
        for (;;) {
            pollfd in{master_, POLLIN, 0};
            if (poll(&in, 1, static_cast<int>(quiet.count())) <= 0) {
                return got;
            }
            const ssize_t n = ::read(master_, buffer, sizeof buffer);
            if (n <= 0) {
                return got;
            }
            got.append(buffer, static_cast<std::size_t>(n));
        }
    }

    // The terminal goes away: the channel's side sees a hang-up.
    void HangUp() {
        if (master_ >= 0) {
            close(master_);
            master_ = -1;
        }
    }

  private:
    int master_ = -1;
    int slave_ = -1;
    std::string slavePath_;
};

// A port-map file that maps COM1, COM2, … to the given peers, in force while it lives.
class PortMapForTest {
  public:
    explicit PortMapForTest(const std::vector<const PtyPeer*>& peers,
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

    std::string Contents() const {
        std::ifstream in(file_, std::ios::binary);
        return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    }

  private:
    static inline int serial_ = 0;
    std::filesystem::path file_;
};

inline std::size_t OpenDescriptorCount() {
    std::size_t count = 0;
    for ([[maybe_unused]] const auto& entry :
         std::filesystem::directory_iterator("/proc/self/fd")) {
        ++count;
    }
    return count;
}

// Bytes 0, 1, …, 255, 0, … offset by `seed`: every byte value, NUL, XON and XOFF included.
inline std::string Pattern(std::size_t size, unsigned seed = 0) {
    std::string bytes(size, '\0');
    for (std::size_t i = 0; i < size; ++i) {
        bytes[i] = static_cast<char>((i + seed) & 0xFF);
    }
    return bytes;
}

// 115200 8N1, no flow control.
inline ChannelHandle OpenPort(int portNumber, ReceiveCallback callback = {}, bool trace = false) {
    return ComOpen(portNumber, 115200, 8, 0, 0, 0, std::move(callback), trace);
}

}  // namespace termload::test
