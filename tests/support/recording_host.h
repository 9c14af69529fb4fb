// A host that records what the engine reports, for tests to wait on and look at.
#pragma once

#include <chrono>
#include <condition_variable>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "engine/host_sink.h"

namespace termload::test {

struct StatusEntry {
    std::string text;
    std::optional<StatusColour> colour;
};

// What the one failed pass of a slot should have reported; a restart, file or text left empty is
// not compared.
struct ExpectedFailure {
    FailureCause cause = FailureCause::Transport;
    std::optional<PassRestart> restart = std::nullopt;
    std::string file = {};
    std::string text = {};
};

class RecordingHost : public HostSink {
  public:
    // Acknowledge: every error box is answered at once. LeaveOpen: nobody answers, the error
    // stays open until the slot is stopped.
    enum class Errors { Acknowledge, LeaveOpen };
    explicit RecordingHost(Errors errors = Errors::Acknowledge) : errors_(errors) {}

    void SetStatus(int slot, const std::string& text, std::optional<StatusColour> colour) override;
    void SetProgress(int slot, const ProgressState& progress) override;
    void ShowConsoleText(const std::string& text) override;
    void ClearConsoleText() override;
    void ShowError(int slot, const std::string& text, std::shared_ptr<ErrorAnswer> answer) override;
    void RunEnded(int slot) override;
    void PassFinished(int slot, int pass, bool ok) override;
    void PassFailed(const PassFailureReport& failure) override;

    std::vector<StatusEntry> Statuses(int slot) const;
    // The slot's last status; nothing when it never had one.
    std::optional<StatusEntry> StatusOf(int slot) const;
    StatusEntry LastStatus(int slot) const { return StatusOf(slot).value_or(StatusEntry{}); }
    // How often the slot showed exactly this text in this colour (nullopt: the colour in force).
    long Shown(int slot, const std::string& text, std::optional<StatusColour> colour) const;
    std::optional<ProgressState> ProgressOf(int slot) const;
    ProgressState LastProgress(int slot) const {
        return ProgressOf(slot).value_or(ProgressState{});
    }
    std::string Console() const;
    std::vector<std::string> ErrorTexts() const;
    std::size_t ErrorCount() const { return ErrorTexts().size(); }
    std::string ErrorTextAt(std::size_t index) const { return ErrorTexts().at(index); }
    int RunsEnded() const;
    int PassesFinished(int slot) const { return static_cast<int>(PassesOk(slot).size()); }
    // The engine's verdict on each finished pass of the slot, in order.
    std::vector<bool> PassesOk(int slot) const;
    std::vector<PassFailureReport> Failures(int slot) const;
    // Success when the slot reported exactly one failed pass, and it is the expected one.
    ::testing::AssertionResult FailedOnce(int slot, const ExpectedFailure& expected) const;

    // Waits until `done` holds (checked after every report) or `limit` has passed.
    bool WaitUntil(const std::function<bool(const RecordingHost&)>& done,
                   std::chrono::milliseconds limit);

  private:
    template <typename Change>
    void Record(Change change);
    template <typename Value>
    Value Get(const Value& value) const;

    const Errors errors_;
    mutable std::mutex mutex_;
    std::condition_variable changed_;
    std::map<int, std::vector<StatusEntry>> statuses_;
    std::map<int, ProgressState> progress_;
    std::map<int, std::vector<bool>> passesOk_;
    std::map<int, std::vector<PassFailureReport>> failures_;
    std::string console_;
    std::vector<std::string> errorTexts_;
    int runsEnded_ = 0;
};

}  // namespace termload::test
