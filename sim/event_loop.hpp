#pragma once
// One epoll loop for every port of the simulator, with timers on one timerfd. Nothing polls:
// the loop sleeps until a descriptor is ready or the earliest timer is due.
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <unordered_map>

#include "sim_time.hpp"
#include "unique_fd.hpp"

namespace termsim {

class EventLoop {
  public:
    using Handler = std::function<void(uint32_t events)>;
    using TimerId = uint64_t;

    // Throws std::system_error when epoll or the timer cannot be created.
    EventLoop();

    void Add(int fd, uint32_t events, Handler handler);
    void Modify(int fd, uint32_t events);
    void Remove(int fd);

    TimerId At(TimePoint when, std::function<void()> callback);
    void Cancel(TimerId id);

    // Runs until Stop; handlers and timers may add, remove and stop.
    void Run();
    void Stop() { running_ = false; }

  private:
    void ArmTimer();
    void FireTimers();

    UniqueFd epoll_;
    UniqueFd timer_;
    bool running_ = false;
    std::unordered_map<int, std::shared_ptr<Handler>> handlers_;
    TimerId nextTimerId_ = 1;
    std::map<std::pair<TimePoint, TimerId>, std::function<void()>> timers_;
    std::unordered_map<TimerId, TimePoint> timerTimes_;
    std::optional<TimePoint> armedFor_;
};

// A timer slot that holds at most one pending timer and re-arms by replacing it.
class TimerSlot {
  public:
    explicit TimerSlot(EventLoop& loop) : loop_(loop) {}
    ~TimerSlot() { Clear(); }
    TimerSlot(const TimerSlot&) = delete;
    TimerSlot& operator=(const TimerSlot&) = delete;

    // Sets the slot to fire at `when` (or clears it when empty).
    void Set(std::optional<TimePoint> when, std::function<void()> callback);
    void Clear();

  private:
    EventLoop& loop_;
    std::optional<EventLoop::TimerId> id_;
    std::optional<TimePoint> when_;
};

}  // namespace termsim
