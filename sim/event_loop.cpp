#include "event_loop.hpp"

#include <sys/epoll.h>
#include <sys/timerfd.h>

#include <cerrno>
#include <system_error>
#include <vector>

namespace termsim {

namespace {

[[noreturn]] void Fail(const char* what) {
    throw std::system_error(errno, std::generic_category(), what);
}

}  // namespace

EventLoop::EventLoop()
    : epoll_(::epoll_create1(EPOLL_CLOEXEC)),
      timer_(::timerfd_create(CLOCK_MONOTONIC, TFD_NONBLOCK | TFD_CLOEXEC)) {
    if (!epoll_) {
        Fail("epoll_create1");
    }
    if (!timer_) {
        Fail("timerfd_create");
    }
    epoll_event event{};
    event.events = EPOLLIN;
    event.data.fd = timer_.get();
    if (::epoll_ctl(epoll_.get(), EPOLL_CTL_ADD, timer_.get(), &event) != 0) {
        Fail("epoll_ctl");
    }
}

void EventLoop::Add(int fd, uint32_t events, Handler handler) {
    epoll_event event{};
    event.events = events;
    event.data.fd = fd;
    if (::epoll_ctl(epoll_.get(), EPOLL_CTL_ADD, fd, &event) != 0) {
        Fail("epoll_ctl add");
    }
    handlers_[fd] = std::make_shared<Handler>(std::move(handler));
}

void EventLoop::Modify(int fd, uint32_t events) {
    epoll_event event{};
    event.events = events;
    event.data.fd = fd;
    if (::epoll_ctl(epoll_.get(), EPOLL_CTL_MOD, fd, &event) != 0) {
        Fail("epoll_ctl mod");
    }
}

void EventLoop::Remove(int fd) {
    ::epoll_ctl(epoll_.get(), EPOLL_CTL_DEL, fd, nullptr);
    handlers_.erase(fd);
}

EventLoop::TimerId EventLoop::At(TimePoint when, std::function<void()> callback) {
    const TimerId id = nextTimerId_++;
    timers_.emplace(std::make_pair(when, id), std::move(callback));
    timerTimes_.emplace(id, when);
    ArmTimer();
    return id;
}

void EventLoop::Cancel(TimerId id) {
    const auto it = timerTimes_.find(id);
    if (it == timerTimes_.end()) {
        return;
    }
    timers_.erase(std::make_pair(it->second, id));
    timerTimes_.erase(it);
}

// Points the timerfd at the earliest timer (a past time fires at once).
void EventLoop::ArmTimer() {
    if (timers_.empty() || armedFor_ == timers_.begin()->first.first) {
        return;
    }
    const TimePoint when = timers_.begin()->first.first;
    const auto since = when.time_since_epoch();
    const auto seconds = std::chrono::duration_cast<std::chrono::seconds>(since);
    itimerspec expiry{};
    expiry.it_value.tv_sec = seconds.count();
    expiry.it_value.tv_nsec = static_cast<long>(
        std::chrono::duration_cast<std::chrono::nanoseconds>(since - seconds).count());
    if (expiry.it_value.tv_sec == 0 && expiry.it_value.tv_nsec == 0) {
        expiry.it_value.tv_nsec = 1;  // zero would disarm
    }
    if (::timerfd_settime(timer_.get(), TFD_TIMER_ABSTIME, &expiry, nullptr) != 0) {
        Fail("timerfd_settime");
    }
    armedFor_ = when;
}

void EventLoop::FireTimers() {
    uint64_t expirations = 0;
    while (::read(timer_.get(), &expirations, sizeof expirations) > 0) {
    }
    armedFor_.reset();
    const TimePoint now = Clock::now();
    while (!timers_.empty() && timers_.begin()->first.first <= now) {
        auto node = timers_.extract(timers_.begin());
        timerTimes_.erase(node.key().second);
        node.mapped()();
    }
    ArmTimer();
}

void EventLoop::Run() {
    running_ = true;
    std::vector<epoll_event> events(64);
    while (running_) {
        const int n =
            ::epoll_wait(epoll_.get(), events.data(), static_cast<int>(events.size()), -1);
        if (n < 0) {
            if (errno == EINTR) {
                continue;
            }
            Fail("epoll_wait");
        }
        for (int i = 0; i < n && running_; ++i) {
            const int fd = events[static_cast<size_t>(i)].data.fd;
            if (fd == timer_.get()) {
                FireTimers();
                continue;
            }
            const auto it = handlers_.find(fd);
            if (it != handlers_.end()) {
                const std::shared_ptr<Handler> handler = it->second;  // survives a Remove
                (*handler)(events[static_cast<size_t>(i)].events);
            }
        }
    }
}

void TimerSlot::Set(std::optional<TimePoint> when, std::function<void()> callback) {
    if (when == when_ && id_) {
        return;
    }
    Clear();
    if (!when) {
        return;
    }
    when_ = when;
    id_ = loop_.At(*when, [this, callback = std::move(callback)]() {
        id_.reset();
        when_.reset();
        callback();
    });
}

void TimerSlot::Clear() {
    if (id_) {
        loop_.Cancel(*id_);
    }
    id_.reset();
    when_.reset();
}

}  // namespace termsim
