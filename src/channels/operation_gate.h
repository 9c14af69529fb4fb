#pragma once

#include <condition_variable>
#include <mutex>

namespace termload {

// Lets callers of a record's operations in while it is open, and lets close wait until the
// callers inside have left (they are woken first) before the device is released.
class OperationGate {
  public:
    // An operation in progress; false when the gate was already closed.
    class Pass {
      public:
        explicit Pass(OperationGate& gate) : gate_(gate), admitted_(gate.Enter()) {}
        ~Pass() {
            if (admitted_) {
                gate_.Leave();
            }
        }
        Pass(const Pass&) = delete;
        Pass& operator=(const Pass&) = delete;
        explicit operator bool() const { return admitted_; }

      private:
        OperationGate& gate_;
        const bool admitted_;
    };

    // Refuses new operations from now on.
    void Shut() {
        std::lock_guard lock(mutex_);
        shut_ = true;
    }
    // Waits until no operation is in progress.
    void WaitUntilIdle() {
        std::unique_lock lock(mutex_);
        idle_.wait(lock, [this] { return active_ == 0; });
    }

  private:
    bool Enter() {
        std::lock_guard lock(mutex_);
        if (shut_) {
            return false;
        }
        ++active_;
        return true;
    }
    void Leave() {
        std::lock_guard lock(mutex_);
        if (--active_ == 0) {
            idle_.notify_all();
        }
    }

    std::mutex mutex_;
    std::condition_variable idle_;
    int active_ = 0;
    bool shut_ = false;
};

}  // namespace termload
