#include "pty.hpp"

#include <fcntl.h>
#include <pty.h>
#include <sys/epoll.h>
#include <sys/inotify.h>
#include <termios.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <system_error>

namespace termsim {

namespace {

[[noreturn]] void Fail(const std::string& what) {
    throw std::system_error(errno, std::generic_category(), what);
}

}  // namespace

Pty OpenPty() {
    int master = -1;
    int device = -1;
    termios raw{};
    cfmakeraw(&raw);
    raw.c_cflag |= CLOCAL | CREAD;
    if (::openpty(&master, &device, nullptr, &raw, nullptr) != 0) {
        Fail("openpty");
    }
    Pty pty;
    pty.master.Reset(master);
    pty.device.Reset(device);
    char path[PATH_MAX];
    if (::ptsname_r(master, path, sizeof path) != 0) {
        Fail("ptsname_r");
    }
    pty.devicePath = path;
    for (int fd : {master, device}) {
        ::fcntl(fd, F_SETFD, FD_CLOEXEC);
    }
    if (::fcntl(master, F_SETFL, ::fcntl(master, F_GETFL) | O_NONBLOCK) != 0) {
        Fail("fcntl");
    }
    return pty;
}

namespace {

// The number of a pty device name ("/dev/pts/7" is 7); -1 for none.
long PtyNumber(const std::string& path) {
    const size_t slash = path.rfind('/');
    char* end = nullptr;
    const char* digits = path.c_str() + (slash == std::string::npos ? 0 : slash + 1);
    const long number = std::strtol(digits, &end, 10);
    return end != digits && *end == '\0' ? number : -1;
}

}  // namespace

Pty OpenPtyNamed(const std::string& wanted) {
    // The system hands out the lowest free number: ptys below the wanted one are held until it
    // comes. One above it means another process has taken it.
    constexpr size_t kMostHeld = 32;
    const long number = PtyNumber(wanted);
    std::vector<Pty> held;
    for (;;) {
        Pty pty = OpenPty();
        const long got = PtyNumber(pty.devicePath);
        if (pty.devicePath == wanted || number < 0 || got < 0 || got > number ||
            held.size() == kMostHeld) {
            return pty;
        }
        held.push_back(std::move(pty));
    }
}

void PointLink(const std::filesystem::path& link, const std::string& target) {
    std::filesystem::path temporary = link;
    temporary += ".new";
    std::error_code ec;
    std::filesystem::remove(temporary, ec);
    std::filesystem::create_symlink(target, temporary);
    std::filesystem::rename(temporary, link);
}

OpenWatcher::OpenWatcher(EventLoop& loop)
    : loop_(loop), inotify_(::inotify_init1(IN_NONBLOCK | IN_CLOEXEC)) {
    if (!inotify_) {
        Fail("inotify_init1");
    }
    loop_.Add(inotify_.get(), EPOLLIN, [this](uint32_t) { Poll(); });
}

OpenWatcher::~OpenWatcher() {
    loop_.Remove(inotify_.get());
}

int OpenWatcher::Watch(const std::string& path, Note note, Service service) {
    const int watch = ::inotify_add_watch(inotify_.get(), path.c_str(), IN_OPEN | IN_CLOSE);
    if (watch < 0) {
        Fail("inotify_add_watch " + path);
    }
    entries_[watch] = Entry{std::move(note), std::move(service)};
    return watch;
}

void OpenWatcher::Unwatch(int watch) {
    entries_.erase(watch);
    ::inotify_rm_watch(inotify_.get(), watch);
}

void OpenWatcher::Poll() {
    alignas(inotify_event) char buffer[4096];
    for (;;) {
        const ssize_t n = ::read(inotify_.get(), buffer, sizeof buffer);
        if (n <= 0) {
            return;
        }
        for (ssize_t at = 0; at < n;) {
            const auto* event = reinterpret_cast<const inotify_event*>(buffer + at);
            at += static_cast<ssize_t>(sizeof(inotify_event) + event->len);
            const auto it = entries_.find(event->wd);
            if (it == entries_.end() || !(event->mask & (IN_OPEN | IN_CLOSE))) {
                continue;
            }
            it->second.note((event->mask & IN_OPEN) != 0);
            if (std::find(touched_.begin(), touched_.end(), event->wd) == touched_.end()) {
                touched_.push_back(event->wd);
            }
            if (!serveScheduled_) {
                serveScheduled_ = true;
                loop_.At(Clock::now(), [this]() { ServeTouched(); });
            }
        }
    }
}

void OpenWatcher::ServeTouched() {
    serveScheduled_ = false;
    const std::vector<int> touched = std::move(touched_);
    touched_.clear();
    for (int watch : touched) {
        const auto it = entries_.find(watch);
        if (it != entries_.end()) {
            const Service service = it->second.service;  // may unwatch itself
            service();
        }
    }
}

}  // namespace termsim
