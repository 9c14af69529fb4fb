#include "ccid_door.hpp"

#include <sys/epoll.h>
#include <sys/socket.h>
#include <sys/un.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <system_error>

namespace termsim {

namespace {

[[noreturn]] void Fail(const std::string& what) {
    throw std::system_error(errno, std::generic_category(), what);
}

}  // namespace

CcidDoor::CcidDoor(EventLoop& loop, const std::filesystem::path& socketPath, CcidTerminal& terminal)
    : loop_(loop), path_(socketPath), terminal_(terminal) {
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    const std::string text = path_.string();
    if (text.size() >= sizeof address.sun_path) {
        errno = ENAMETOOLONG;
        Fail("CCID socket path " + text);
    }
    std::memcpy(address.sun_path, text.c_str(), text.size() + 1);
    listener_.Reset(::socket(AF_UNIX, SOCK_SEQPACKET | SOCK_NONBLOCK | SOCK_CLOEXEC, 0));
    if (!listener_) {
        Fail("CCID socket");
    }
    ::unlink(text.c_str());
    if (::bind(listener_.get(), reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0 ||
        ::listen(listener_.get(), 4) != 0) {
        Fail("CCID socket " + text);
    }
    loop_.Add(listener_.get(), EPOLLIN, [this](uint32_t) { Accept(); });
}

CcidDoor::~CcidDoor() {
    for (auto& client : clients_) {
        loop_.Remove(client->get());
    }
    loop_.Remove(listener_.get());
    ::unlink(path_.c_str());
}

void CcidDoor::Accept() {
    for (;;) {
        const int fd = ::accept4(listener_.get(), nullptr, nullptr, SOCK_NONBLOCK | SOCK_CLOEXEC);
        if (fd < 0) {
            return;
        }
        clients_.push_back(std::make_unique<UniqueFd>(fd));
        loop_.Add(fd, EPOLLIN, [this, fd](uint32_t events) {
            if (events & EPOLLIN) {
                Serve(fd);
            } else {
                Drop(fd);
            }
        });
    }
}

void CcidDoor::Serve(int fd) {
    std::vector<uint8_t> packet(kCcidDoorMaxPacket + 1);
    for (;;) {
        const ssize_t n = ::recv(fd, packet.data(), packet.size(), MSG_TRUNC);
        if (n < 0 && (errno == EAGAIN || errno == EINTR)) {
            return;
        }
        if (n <= 0) {
            Drop(fd);  // the handler went away (pcscd ended)
            return;
        }
        std::vector<uint8_t> reply{1};  // a packet we cannot read is a reader failure
        if (static_cast<size_t>(n) >= 4 && static_cast<size_t>(n) <= kCcidDoorMaxPacket) {
            const uint32_t capacity = uint32_t{packet[0]} | uint32_t{packet[1]} << 8 |
                                      uint32_t{packet[2]} << 16 | uint32_t{packet[3]} << 24;
            const std::vector<uint8_t> answer = terminal_.Escape(
                std::span<const uint8_t>(packet.data() + 4, static_cast<size_t>(n) - 4),
                std::min<size_t>(capacity, kCcidDoorMaxPacket - 1), Clock::now());
            reply[0] = 0;
            reply.insert(reply.end(), answer.begin(), answer.end());
        }
        if (::send(fd, reply.data(), reply.size(), MSG_NOSIGNAL) < 0) {
            Drop(fd);
            return;
        }
    }
}

void CcidDoor::Drop(int fd) {
    loop_.Remove(fd);
    std::erase_if(clients_, [fd](const auto& client) { return client->get() == fd; });
}

}  // namespace termsim
