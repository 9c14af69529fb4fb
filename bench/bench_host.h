// The host of a bench run: it shows nothing, answers every error box at once and lets the bench
// wait for the run's end. A bench derives from it to record what it measures (under `mutex_`).
#pragma once

#include <chrono>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <optional>
#include <string>

#include "engine/host_sink.h"

namespace termload {

class BenchHostBase : public HostSink {
  public:
    void SetStatus(int, const std::string&, std::optional<StatusColour>) override {}
    void SetProgress(int, const ProgressState&) override {}
    void ShowConsoleText(const std::string&) override {}
    void ClearConsoleText() override {}
    void ShowError(int, const std::string&, std::shared_ptr<ErrorAnswer> answer) override {
        answer->Acknowledge();
    }
    void RunEnded(int) override {
        std::lock_guard lock(mutex_);
        ended_ = true;
        changed_.notify_all();
    }

    bool WaitForEnd(std::chrono::seconds limit) {
        std::unique_lock lock(mutex_);
        return changed_.wait_for(lock, limit, [this] { return ended_; });
    }

  protected:
    mutable std::mutex mutex_;

  private:
    std::condition_variable changed_;
    bool ended_ = false;
};

}  // namespace termload
