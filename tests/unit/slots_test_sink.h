// A host that records what the engine reports, for the slot tests.
#pragma once

#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "engine/host_sink.h"

namespace termload::testing {

class RecordingSink : public HostSink {
  public:
    struct Status {
        std::string text;
        std::optional<StatusColour> colour;
    };

    void SetStatus(int slot, const std::string& text, std::optional<StatusColour> colour) override {
        std::lock_guard lock(mutex_);
        statuses_[slot] = Status{text, colour};
    }
    void SetProgress(int slot, const ProgressState& progress) override {
        std::lock_guard lock(mutex_);
        progress_[slot] = progress;
    }
    void ShowConsoleText(const std::string& text) override {
        std::lock_guard lock(mutex_);
        console_ = text;
    }
    void ClearConsoleText() override {
        std::lock_guard lock(mutex_);
        console_.clear();
    }
    void UncheckRow(int) override {}
    // Nobody answers: the error stays open until the slot is stopped.
    void ShowError(int, const std::string& text, std::shared_ptr<ErrorAnswer>) override {
        std::lock_guard lock(mutex_);
        errors_.push_back(text);
    }
    void RunEnded(int) override {}

    std::optional<Status> StatusOf(int slot) const {
        std::lock_guard lock(mutex_);
        const auto found = statuses_.find(slot);
        return found == statuses_.end() ? std::nullopt : std::optional(found->second);
    }
    std::optional<ProgressState> ProgressOf(int slot) const {
        std::lock_guard lock(mutex_);
        const auto found = progress_.find(slot);
        return found == progress_.end() ? std::nullopt : std::optional(found->second);
    }
    std::string Console() const {
        std::lock_guard lock(mutex_);
        return console_;
    }
    std::size_t ErrorCount() const {
        std::lock_guard lock(mutex_);
        return errors_.size();
    }
    std::string ErrorTextAt(std::size_t index) const {
        std::lock_guard lock(mutex_);
        return errors_.at(index);
    }

  private:
    mutable std::mutex mutex_;
    std::map<int, Status> statuses_;
    std::map<int, ProgressState> progress_;
    std::string console_;
    std::vector<std::string> errors_;
};

}  // namespace termload::testing
