// The serial port backend for POSIX systems: poll() over the port and two wake-up pipes for
// every wait, so that an idle port costs nothing and close ends any wait. The line settings are
// in serial_line_posix.cpp.
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
#include <utility>

#include "channels/serial_line_posix.h"
#include "channels/serial_port.h"

namespace termload {
namespace {

using Clock = std::chrono::steady_clock;
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

// A pipe used as a level-triggered signal: readable once raised, until drained.
class WakePipe {
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
    void Drain() {
        char sink[64];
        while (::read(read_.Get(), sink, sizeof sink) > 0) {
        }
    }

  private:
    UniqueFd read_;
    UniqueFd write_;
};

// A device that has gone: the peer of a pty closed, a USB adapter pulled.
bool IsHangUpError(int error) {
    return error == EIO || error == ENXIO || error == ENODEV || error == EPIPE;
}

int MillisecondsUntil(Clock::time_point deadline) {
    const auto left = deadline - Clock::now();
    if (left <= Clock::duration::zero()) {
        return 0;
    }
    // Rounded up, so that a wait never ends just short of its deadline and repeats at once.
    return static_cast<int>(std::chrono::ceil<Milliseconds>(left).count());
}

}  // namespace

struct SerialPort::Impl {
    UniqueFd port;
    WakePipe wake;      // raised by Wake(), drained by the reader thread
    WakePipe shutdown;  // raised once by Shutdown(), never drained
    std::atomic<bool> hungUp{false};
    std::atomic<bool> shutDown{false};
    std::atomic<int> baudRate{9600};
    std::atomic<int> bitsPerCharacter{10};
    bool pseudoTerminal = false;

    ~Impl() {
        if (port) {
            ::ioctl(port.Get(), TIOCNXCL);
        }
    }

    enum class Ready { kYes, kTimedOut, kShutDown, kHungUp };

    // Waits until the port is ready for `events`, until `deadline`, or until shut down.
    Ready WaitReady(short events, Clock::time_point deadline) {
        for (;;) {
            if (shutDown) {
                return Ready::kShutDown;
            }
            if (hungUp) {
                return Ready::kHungUp;
            }
            pollfd fds[] = {{port.Get(), events, 0}, {shutdown.ReadEnd(), POLLIN, 0}};
            const int ready = ::poll(fds, 2, MillisecondsUntil(deadline));
            if (ready < 0 && errno == EINTR) {
                continue;
            }
            if (ready < 0 || fds[1].revents != 0) {
                return Ready::kShutDown;
            }
            if ((fds[0].revents & (POLLHUP | POLLERR | POLLNVAL)) != 0) {
                // Whatever is still queued can be read; the caller learns of the hang-up from
                // its next read or write.
                hungUp = true;
                return Ready::kYes;
            }
            if (fds[0].revents != 0) {
                return Ready::kYes;
            }
            if (Clock::now() >= deadline) {
                return Ready::kTimedOut;
            }
        }
    }

    std::size_t OutputQueued() const {
        int queued = 0;
        return ::ioctl(port.Get(), TIOCOUTQ, &queued) == 0 && queued > 0
                   ? static_cast<std::size_t>(queued)
                   : 0;
    }

    PortResult Failure(std::size_t bytes, int error, const char* call) {
        if (IsHangUpError(error)) {
            hungUp = true;
            return {bytes, PortStatus::kHungUp, {error, std::system_category()}, call};
        }
        return {bytes, PortStatus::kFailed, {error, std::system_category()}, call};
    }

    // Ends an unfinished write. What is still queued of it is dropped, but only when the queue
    // provably holds nothing else (it was empty when the write began): a flush takes everything
    // not yet sent, and earlier writes have reported their bytes as written. Where the queue
    // cannot be seen (a pty reports it empty) nothing is dropped. The result tells how many
    // bytes went out.
    PortResult AbortWrite(std::size_t queuedBefore, std::size_t accepted, PortResult result) {
        const std::size_t queued = OutputQueued();
        if (queuedBefore == 0 && queued > 0 && queued <= accepted) {
            ::tcflush(port.Get(), TCOFLUSH);
        }
        result.bytes = accepted - std::min(queued, accepted);
        return result;
    }
};

SerialPort::SerialPort(std::unique_ptr<Impl> impl) : impl_(std::move(impl)) {}
SerialPort::~SerialPort() = default;

std::unique_ptr<SerialPort> SerialPort::Open(const std::string& devicePath,
                                             std::error_code& error) {
    auto impl = std::make_unique<Impl>();
    impl->port = UniqueFd(::open(devicePath.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC));
    if (!impl->port) {
        error = LastSystemError();
        return nullptr;
    }
    const int fd = impl->port.Get();
    struct stat status {};
    if (::fstat(fd, &status) != 0) {
        error = LastSystemError();
        return nullptr;
    }
    if (!S_ISCHR(status.st_mode) || !::isatty(fd)) {
        error = std::make_error_code(std::errc::not_a_stream);
        return nullptr;
    }
    impl->pseudoTerminal = IsPseudoTerminalSlave(status.st_rdev);
    // The port belongs to one channel at a time: the lock keeps out other opens of ours (root
    // included), exclusive mode keeps out other programs.
    if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
        error = errno == EWOULDBLOCK ? std::make_error_code(std::errc::device_or_resource_busy)
                                     : LastSystemError();
        return nullptr;
    }
    ::ioctl(fd, TIOCEXCL);
    if ((error = impl->wake.Create()) || (error = impl->shutdown.Create())) {
        return nullptr;
    }
    return std::unique_ptr<SerialPort>(new SerialPort(std::move(impl)));
}

std::error_code SerialPort::Configure(const SerialSettings& settings, const char*& call) {
    if (auto error =
            ConfigureSerialLine(impl_->port.Get(), settings, impl_->pseudoTerminal, call)) {
        return error;
    }
    impl_->baudRate = settings.baudRate;
    impl_->bitsPerCharacter = BitsPerCharacter(settings);
    return {};
}

PortResult SerialPort::ReadAvailable(void* buffer, std::size_t count) {
    auto* bytes = static_cast<char*>(buffer);
    std::size_t got = 0;
    while (got < count) {
        const ssize_t n = ::read(impl_->port.Get(), bytes + got, count - got);
        if (n > 0) {
            got += static_cast<std::size_t>(n);
        } else if (n == 0) {
            return impl_->Failure(got, EIO, "read()");
        } else if (errno == EINTR) {
            continue;
        } else if (errno == EAGAIN || errno == EWOULDBLOCK) {
            break;
        } else {
            return impl_->Failure(got, errno, "read()");
        }
    }
    if (got == 0 && impl_->hungUp) {
        return {0, PortStatus::kHungUp, std::make_error_code(std::errc::io_error), "read()"};
    }
    return {got, PortStatus::kOk, {}, ""};
}

PortResult SerialPort::WriteAvailable(const void* data, std::size_t count) {
    if (impl_->hungUp) {
        return {0, PortStatus::kHungUp, std::make_error_code(std::errc::io_error), "write()"};
    }
    const auto* bytes = static_cast<const char*>(data);
    std::size_t sent = 0;
    while (sent < count) {
        const ssize_t n = ::write(impl_->port.Get(), bytes + sent, count - sent);
        if (n > 0) {
            sent += static_cast<std::size_t>(n);
        } else if (n < 0 && errno == EINTR) {
            continue;
        } else if (n == 0 || errno == EAGAIN || errno == EWOULDBLOCK) {
            break;
        } else {
            return impl_->Failure(sent, errno, "write()");
        }
    }
    return {sent, PortStatus::kOk, {}, ""};
}

PortResult SerialPort::ReadWithTimeouts(void* buffer, std::size_t count, Milliseconds interval,
                                        Milliseconds total) {
    auto* bytes = static_cast<char*>(buffer);
    const auto deadline = Clock::now() + total;
    std::size_t got = 0;
    while (got < count) {
        PortResult part = ReadAvailable(bytes + got, count - got);
        got += part.bytes;
        if (part.status != PortStatus::kOk) {
            // Bytes that arrived before the failure are still delivered; the next call fails.
            if (got > 0) {
                break;
            }
            return part;
        }
        if (got == count) {
            break;
        }
        const auto waitUntil = got > 0 ? std::min(deadline, Clock::now() + interval) : deadline;
        const auto ready = impl_->WaitReady(POLLIN, waitUntil);
        if (ready == Impl::Ready::kShutDown) {
            return {got, PortStatus::kShutDown, {}, ""};
        }
        if (ready == Impl::Ready::kTimedOut) {
            break;
        }
    }
    return {got, got > 0 ? PortStatus::kOk : PortStatus::kTimedOut, {}, ""};
}

PortResult SerialPort::WriteAll(const void* data, std::size_t count, Milliseconds total) {
    const auto* bytes = static_cast<const char*>(data);
    const auto deadline = Clock::now() + total;
    const std::size_t queuedBefore = impl_->OutputQueued();
    std::size_t accepted = 0;
    while (accepted < count) {
        PortResult part = WriteAvailable(bytes + accepted, count - accepted);
        accepted += part.bytes;
        if (part.status != PortStatus::kOk) {
            return impl_->AbortWrite(queuedBefore, accepted, part);
        }
        if (accepted == count) {
            break;
        }
        switch (impl_->WaitReady(POLLOUT, deadline)) {
            case Impl::Ready::kYes:
            case Impl::Ready::kHungUp:  // the next write reports it
                break;
            case Impl::Ready::kTimedOut:
                return impl_->AbortWrite(queuedBefore, accepted,
                                         {0, PortStatus::kTimedOut, {}, ""});
            case Impl::Ready::kShutDown:
                return impl_->AbortWrite(queuedBefore, accepted,
                                         {0, PortStatus::kShutDown, {}, ""});
        }
    }
    const auto remaining = std::chrono::duration_cast<Milliseconds>(deadline - Clock::now());
    const PortStatus drained = DrainOutput(std::max(remaining, Milliseconds(0)));
    if (drained != PortStatus::kOk) {
        return impl_->AbortWrite(queuedBefore, accepted, {0, drained, {}, ""});
    }
    return {count, PortStatus::kOk, {}, ""};
}

PortStatus SerialPort::DrainOutput(Milliseconds limit) {
    const auto deadline = Clock::now() + limit;
    for (;;) {
        const std::size_t queued = impl_->OutputQueued();
        if (queued == 0) {
            return PortStatus::kOk;
        }
        if (impl_->hungUp) {
            return PortStatus::kHungUp;
        }
        if (Clock::now() >= deadline) {
            return PortStatus::kTimedOut;
        }
        // Sleep for about the time the queued bytes take on the line, but wake for close.
        const auto lineTime = Milliseconds(
            1 + static_cast<long long>(queued) * impl_->bitsPerCharacter * 1000 / impl_->baudRate);
        const auto until = std::min(deadline, Clock::now() + lineTime);
        pollfd closing{impl_->shutdown.ReadEnd(), POLLIN, 0};
        if (::poll(&closing, 1, MillisecondsUntil(until)) > 0) {
            return PortStatus::kShutDown;
        }
    }
}

PortWakeReasons SerialPort::WaitForEvent(bool wantWritable) {
    PortWakeReasons reasons;
    for (;;) {
        const bool watchPort = !impl_->hungUp;
        const short portEvents = static_cast<short>(POLLIN | (wantWritable ? POLLOUT : 0));
        pollfd fds[] = {{watchPort ? impl_->port.Get() : -1, portEvents, 0},
                        {impl_->wake.ReadEnd(), POLLIN, 0},
                        {impl_->shutdown.ReadEnd(), POLLIN, 0}};
        const int ready = ::poll(fds, 3, -1);
        if (ready < 0 && errno == EINTR) {
            continue;
        }
        if (ready < 0 || fds[2].revents != 0) {
            reasons.shutDown = true;
            return reasons;
        }
        if (fds[1].revents != 0) {
            impl_->wake.Drain();
            reasons.woken = true;
        }
        const short portReady = fds[0].revents;
        if ((portReady & (POLLHUP | POLLERR | POLLNVAL)) != 0) {
            // From now on the port is no longer watched, so a dead device cannot keep waking
            // the thread; what it still holds is read once more.
            impl_->hungUp = true;
            reasons.hungUp = true;
            reasons.readable = true;
        }
        reasons.readable = reasons.readable || (portReady & POLLIN) != 0;
        reasons.writable = (portReady & POLLOUT) != 0;
        if (reasons.readable || reasons.writable || reasons.woken) {
            return reasons;
        }
    }
}

void SerialPort::Wake() {
    impl_->wake.Raise();
}

void SerialPort::Shutdown() {
    impl_->shutDown = true;
    impl_->shutdown.Raise();
}

bool SerialPort::HungUp() const {
    return impl_->hungUp;
}

void SerialPort::DiscardInput() {
    ::tcflush(impl_->port.Get(), TCIFLUSH);
}

}  // namespace termload
