// The serial port backend for POSIX systems: poll() over the port and a shutdown pipe for every
// wait, so that an idle port costs nothing and close ends any wait. The line settings are in
// serial_line_posix.cpp; the rules built on these primitives in serial_port.cpp.
#include <fcntl.h>
#include <poll.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <memory>
#include <string>
#include <utility>

#include "channels/serial_backend.h"
#include "channels/serial_identity_posix.h"
#include "channels/serial_line_posix.h"

namespace termload {
namespace {

using Clock = SerialBackend::Clock;
using Milliseconds = std::chrono::milliseconds;

class UniqueFd {
  public:
    UniqueFd() = default;
    explicit UniqueFd(int fd) : fd_(fd) {}
    ~UniqueFd() { Reset(); }
    UniqueFd(UniqueFd&& other) noexcept : fd_(std::exchange(other.fd_, -1)) {}
    UniqueFd& operator=(UniqueFd&& other) noexcept {
        if (this != &other) {
            Reset();
            fd_ = std::exchange(other.fd_, -1);
        }
        return *this;
    }
    int Get() const { return fd_; }
    explicit operator bool() const { return fd_ >= 0; }

  private:
    void Reset() {
        if (fd_ >= 0) {
            ::close(fd_);
            fd_ = -1;
        }
    }
    int fd_ = -1;
};

// A pipe used as a level-triggered signal: readable once raised.
class SignalPipe {
  public:
    std::error_code Create() {
        int ends[2];
        if (::pipe(ends) != 0) {
            return LastSystemError();
        }
        read_ = UniqueFd(ends[0]);
        write_ = UniqueFd(ends[1]);
        for (int fd : ends) {
            if (::fcntl(fd, F_SETFL, O_NONBLOCK) != 0 || ::fcntl(fd, F_SETFD, FD_CLOEXEC) != 0) {
                return LastSystemError();
            }
        }
        return {};
    }
    int ReadEnd() const { return read_.Get(); }
    void Raise() {
        const char one = 1;
        // A full pipe is a raised signal already.
        [[maybe_unused]] const auto written = ::write(write_.Get(), &one, 1);
    }

  private:
    UniqueFd read_;
    UniqueFd write_;
};

// A device that has gone: the peer of a pty closed, a USB adapter pulled.
bool IsHangUpError(int error) {
    return error == EIO || error == ENXIO || error == ENODEV || error == EPIPE;
}

// The poll() time-out for `deadline`: -1 for none.
int MillisecondsUntil(Clock::time_point deadline) {
    if (deadline == SerialBackend::kNoDeadline) {
        return -1;
    }
    const auto left = deadline - Clock::now();
    if (left <= Clock::duration::zero()) {
        return 0;
    }
    // Rounded up, so that a wait never ends just short of its deadline and repeats at once.
    return static_cast<int>(std::chrono::ceil<Milliseconds>(left).count());
}

class PosixSerialBackend final : public SerialBackend {
  public:
    ~PosixSerialBackend() override {
        if (port_) {
            ::ioctl(port_.Get(), TIOCNXCL);
        }
    }

    std::error_code Open(const std::string& devicePath) {
        port_ = UniqueFd(::open(devicePath.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC));
        if (!port_) {
            return LastSystemError();
        }
        const int fd = port_.Get();
        struct stat status {};
        if (::fstat(fd, &status) != 0) {
            return LastSystemError();
        }
        if (!S_ISCHR(status.st_mode) || !::isatty(fd)) {
            return std::make_error_code(std::errc::not_a_stream);
        }
        pseudoTerminal_ = IsPseudoTerminalSlave(status.st_rdev);
        // The port belongs to one channel at a time: the lock keeps out other opens of ours
        // (root included), exclusive mode keeps out other programs.
        if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
            return errno == EWOULDBLOCK ? std::make_error_code(std::errc::device_or_resource_busy)
                                        : LastSystemError();
        }
        ::ioctl(fd, TIOCEXCL);
        return shutdown_.Create();
    }

    std::error_code Configure(const SerialSettings& settings, const char*& call) override {
        return ConfigureSerialLine(port_.Get(), settings, pseudoTerminal_, call);
    }

    PortResult ReadNow(void* buffer, std::size_t count) override {
        auto* bytes = static_cast<char*>(buffer);
        std::size_t got = 0;
        while (got < count) {
            const ssize_t n = ::read(port_.Get(), bytes + got, count - got);
            if (n > 0) {
                got += static_cast<std::size_t>(n);
            } else if (n == 0) {
                return Failure(got, EIO, "read()");
            } else if (errno == EINTR) {
                continue;
            } else if (errno == EAGAIN || errno == EWOULDBLOCK) {
                break;
            } else {
                return Failure(got, errno, "read()");
            }
        }
        if (got == 0 && hungUp_) {
            return {0, PortStatus::kHungUp, std::make_error_code(std::errc::io_error), "read()"};
        }
        return {got, PortStatus::kOk, {}, ""};
    }

    PortResult WriteNow(const void* data, std::size_t count) override {
        if (hungUp_) {
            return {0, PortStatus::kHungUp, std::make_error_code(std::errc::io_error), "write()"};
        }
        const auto* bytes = static_cast<const char*>(data);
        std::size_t sent = 0;
        while (sent < count) {
            const ssize_t n = ::write(port_.Get(), bytes + sent, count - sent);
            if (n > 0) {
                sent += static_cast<std::size_t>(n);
            } else if (n < 0 && errno == EINTR) {
                continue;
            } else if (n == 0 || errno == EAGAIN || errno == EWOULDBLOCK) {
                break;
            } else {
                return Failure(sent, errno, "write()");
            }
        }
        return {sent, PortStatus::kOk, {}, ""};
    }

    WaitResult Wait(Direction direction, Clock::time_point deadline) override {
        const short events = direction == Direction::kInput ? POLLIN : POLLOUT;
        for (;;) {
            if (shutDown_) {
                return WaitResult::kShutDown;
            }
            if (hungUp_) {
                return WaitResult::kHungUp;
            }
            pollfd fds[] = {{port_.Get(), events, 0}, {shutdown_.ReadEnd(), POLLIN, 0}};
            const int ready = ::poll(fds, 2, MillisecondsUntil(deadline));
            if (ready < 0 && errno == EINTR) {
                continue;
            }
            if (ready < 0 || fds[1].revents != 0) {
                return WaitResult::kShutDown;
            }
            if ((fds[0].revents & (POLLHUP | POLLERR | POLLNVAL)) != 0) {
                // Whatever is still queued can be read; the caller learns of the hang-up from
                // its next read or write, and later waits no longer watch the port.
                hungUp_ = true;
                return WaitResult::kReady;
            }
            if (fds[0].revents != 0) {
                return WaitResult::kReady;
            }
            if (Clock::now() >= deadline) {
                return WaitResult::kTimedOut;
            }
        }
    }

    bool WaitForShutdown(Clock::time_point deadline) override {
        for (;;) {
            pollfd closing{shutdown_.ReadEnd(), POLLIN, 0};
            const int ready = ::poll(&closing, 1, MillisecondsUntil(deadline));
            if (ready != 0 && !(ready < 0 && errno == EINTR)) {
                return true;
            }
            if (ready == 0 && Clock::now() >= deadline) {
                return false;
            }
        }
    }

    std::size_t OutputQueued() override {
        int queued = 0;
        return ::ioctl(port_.Get(), TIOCOUTQ, &queued) == 0 && queued > 0
                   ? static_cast<std::size_t>(queued)
                   : 0;
    }

    void DiscardInput() override { ::tcflush(port_.Get(), TCIFLUSH); }
    void DiscardOutput() override { ::tcflush(port_.Get(), TCOFLUSH); }

    void Shutdown() override {
        shutDown_ = true;
        shutdown_.Raise();
    }
    bool HungUp() const override { return hungUp_; }

    bool ProbeHungUp() override {
        pollfd port{port_.Get(), 0, 0};
        if (::poll(&port, 1, 0) > 0 && (port.revents & (POLLHUP | POLLERR | POLLNVAL)) != 0) {
            hungUp_ = true;
        }
        return hungUp_;
    }

    std::string Identity() override { return IdentityOfOpenDevice(port_.Get()); }

  private:
    PortResult Failure(std::size_t bytes, int error, const char* call) {
        if (IsHangUpError(error)) {
            hungUp_ = true;
            return {bytes, PortStatus::kHungUp, {error, std::system_category()}, call};
        }
        return {bytes, PortStatus::kFailed, {error, std::system_category()}, call};
    }

    UniqueFd port_;
    SignalPipe shutdown_;  // raised once by Shutdown(), never drained
    std::atomic<bool> hungUp_{false};
    std::atomic<bool> shutDown_{false};
    bool pseudoTerminal_ = false;
};

}  // namespace

std::unique_ptr<SerialBackend> OpenSerialBackend(const std::string& devicePath,
                                                 std::error_code& error) {
    auto backend = std::make_unique<PosixSerialBackend>();
    if ((error = backend->Open(devicePath))) {
        return nullptr;
    }
    return backend;
}

}  // namespace termload
