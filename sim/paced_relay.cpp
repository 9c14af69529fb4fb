#include "paced_relay.hpp"

#include <sys/epoll.h>

#include <cerrno>

namespace termsim {

namespace {

constexpr size_t kQueueLimit = 64 * 1024;

}  // namespace

PacedRelay::PacedRelay(EventLoop& loop, std::filesystem::path linkA, std::filesystem::path linkB,
                       uint32_t baud)
    : loop_(loop),
      linkA_(std::move(linkA)),
      linkB_(std::move(linkB)),
      a_(OpenPty()),
      b_(OpenPty()),
      toB_(loop, baud),
      toA_(loop, baud) {
    toB_.from = &a_;
    toB_.to = &b_;
    toA_.from = &b_;
    toA_.to = &a_;
    PointLink(linkA_, a_.devicePath);
    PointLink(linkB_, b_.devicePath);
    loop_.Add(a_.master.get(), EPOLLIN, [this](uint32_t) {
        Pump(toB_);
        Pump(toA_);
        UpdateEvents();
    });
    loop_.Add(b_.master.get(), EPOLLIN, [this](uint32_t) {
        Pump(toA_);
        Pump(toB_);
        UpdateEvents();
    });
}

PacedRelay::~PacedRelay() {
    loop_.Remove(a_.master.get());
    loop_.Remove(b_.master.get());
    std::error_code ec;
    std::filesystem::remove(linkA_, ec);
    std::filesystem::remove(linkB_, ec);
}

// Moves what the pacer allows from one side into the queue, and the queue out to the other side.
void PacedRelay::Pump(Direction& d) {
    for (;;) {
        bool moved = false;
        if (!d.queue.empty()) {
            const ssize_t n = ::write(d.to->master.get(), d.queue.data(), d.queue.size());
            if (n > 0) {
                d.queue.erase(0, static_cast<size_t>(n));
                d.carried += static_cast<uint64_t>(n);
                moved = true;
            }
            d.waitingWritable = !d.queue.empty();
        }
        const TimePoint now = Clock::now();
        const size_t room = kQueueLimit - d.queue.size();
        const size_t allowance = d.pacer.Allowance(now);
        d.pacedOut = allowance == 0;
        if (d.pacedOut) {
            d.timer.Set(d.pacer.NextSlot(), [this, &d]() {
                d.pacedOut = false;
                Pump(d);
                UpdateEvents();
            });
        }
        if (room > 0 && allowance > 0) {
            char buffer[4096];
            const ssize_t n =
                ::read(d.from->master.get(), buffer, std::min({sizeof buffer, room, allowance}));
            if (n > 0) {
                d.pacer.Consume(static_cast<size_t>(n), now);
                d.queue.append(buffer, static_cast<size_t>(n));
                moved = true;
            }
        }
        if (!moved) {
            return;
        }
    }
}

void PacedRelay::UpdateEvents() {
    auto eventsFor = [](const Direction& outgoing, const Direction& incoming) {
        uint32_t events = 0;
        if (!outgoing.pacedOut && outgoing.queue.size() < kQueueLimit) {
            events |= EPOLLIN;
        }
        if (incoming.waitingWritable) {
            events |= EPOLLOUT;
        }
        return events;
    };
    loop_.Modify(a_.master.get(), eventsFor(toB_, toA_));
    loop_.Modify(b_.master.get(), eventsFor(toA_, toB_));
}

}  // namespace termsim
