#include "support/pty.h"

#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>

#include <gtest/gtest.h>

namespace termload::test {

Pty::Pty(Line line) {
    char name[256] = {};
    if (openpty(&master_, &slave_, name, nullptr, nullptr) != 0) {
        ADD_FAILURE() << "openpty failed";
        return;
    }
    slavePath_ = name;
    fcntl(master_, F_SETFL, fcntl(master_, F_GETFL) | O_NONBLOCK);
    if (line == Line::Raw) {
        termios raw{};
        tcgetattr(slave_, &raw);
        cfmakeraw(&raw);
        tcsetattr(slave_, TCSANOW, &raw);
    }
}

Pty::~Pty() {
    HangUp();
    if (slave_ >= 0) {
        close(slave_);
    }
}

void Pty::Write(std::string_view bytes) {
    if (!WriteWithin(bytes, std::chrono::minutes(1))) {
        ADD_FAILURE() << "the pty's slave side took nothing for a minute";
    }
}

bool Pty::WriteWithin(std::string_view bytes, std::chrono::milliseconds limit) {
    const auto deadline = std::chrono::steady_clock::now() + limit;
    std::size_t sent = 0;
    while (sent < bytes.size() && master_ >= 0) {
        const ssize_t n = ::write(master_, bytes.data() + sent, bytes.size() - sent);
        if (n > 0) {
            sent += static_cast<std::size_t>(n);
        } else if (n < 0 && errno != EAGAIN && errno != EINTR) {
            ADD_FAILURE() << "write to the pty failed";
            return false;
        } else if (std::chrono::steady_clock::now() >= deadline) {
            return false;
        } else {
            pollfd out{master_, POLLOUT, 0};
            poll(&out, 1, 100);
        }
    }
    return sent == bytes.size();
}

std::string Pty::Read(std::size_t count, std::chrono::milliseconds limit) {
    std::string got;
    const auto deadline = std::chrono::steady_clock::now() + limit;
    char buffer[4096];
    while (got.size() < count && master_ >= 0) {
        const ssize_t n = ::read(master_, buffer, std::min(sizeof buffer, count - got.size()));
        if (n > 0) {
            got.append(buffer, static_cast<std::size_t>(n));
            continue;
        }
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
            deadline - std::chrono::steady_clock::now());
        if (left.count() <= 0 || (n < 0 && errno != EAGAIN && errno != EINTR)) {
            break;
        }
        pollfd in{master_, POLLIN, 0};
        poll(&in, 1, static_cast<int>(std::min<long long>(left.count(), 20)));
    }
    return got;
}

std::string Pty::ReadUntilQuiet(std::chrono::milliseconds quiet) {
    std::string got;
    char buffer[4096];
    for (;;) {
        pollfd in{master_, POLLIN, 0};
        if (master_ < 0 || poll(&in, 1, static_cast<int>(quiet.count())) <= 0) {
            return got;
        }
        const ssize_t n = ::read(master_, buffer, sizeof buffer);
        if (n <= 0) {
            return got;
        }
        got.append(buffer, static_cast<std::size_t>(n));
    }
}

void Pty::HangUp() {
    if (master_ >= 0) {
        close(master_);
        master_ = -1;
    }
}

}  // namespace termload::test
