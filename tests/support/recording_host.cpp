#include "support/recording_host.h"

#include <algorithm>

namespace termload::test {

namespace {

template <typename Map>
typename Map::mapped_type Find(const Map& map, int slot) {
    const auto found = map.find(slot);
    return found == map.end() ? typename Map::mapped_type{} : found->second;
}

}  // namespace

template <typename Change>
void RecordingHost::Record(Change change) {
    {
        std::lock_guard lock(mutex_);
        change();
    }
    changed_.notify_all();
}

template <typename Value>
Value RecordingHost::Get(const Value& value) const {
    std::lock_guard lock(mutex_);
    return value;
}

void RecordingHost::SetStatus(int slot, const std::string& text,
                              std::optional<StatusColour> colour) {
    Record([&] { statuses_[slot].push_back({text, colour}); });
}

void RecordingHost::SetProgress(int slot, const ProgressState& progress) {
    Record([&] { progress_[slot] = progress; });
}

void RecordingHost::ShowConsoleText(const std::string& text) {
    Record([&] { console_ = text; });
}

void RecordingHost::ClearConsoleText() {
    Record([&] { console_.clear(); });
}

void RecordingHost::ShowError(int, const std::string& text, std::shared_ptr<ErrorAnswer> answer) {
    Record([&] { errorTexts_.push_back(text); });
    if (errors_ == Errors::Acknowledge) {
        answer->Acknowledge();
    }
}

void RecordingHost::RunEnded(int) {
    Record([&] { ++runsEnded_; });
}

void RecordingHost::PassFinished(int slot, int, bool ok) {
    Record([&] { passesOk_[slot].push_back(ok); });
}

void RecordingHost::PassFailed(const PassFailureReport& failure) {
    Record([&] { failures_[failure.slot].push_back(failure); });
}

std::vector<StatusEntry> RecordingHost::Statuses(int slot) const {
    std::lock_guard lock(mutex_);
    return Find(statuses_, slot);
}

std::optional<StatusEntry> RecordingHost::StatusOf(int slot) const {
    const auto all = Statuses(slot);
    return all.empty() ? std::nullopt : std::optional(all.back());
}

long RecordingHost::Shown(int slot, const std::string& text,
                          std::optional<StatusColour> colour) const {
    const auto all = Statuses(slot);
    return std::count_if(all.begin(), all.end(), [&](const StatusEntry& s) {
        return s.text == text && s.colour == colour;
    });
}

std::optional<ProgressState> RecordingHost::ProgressOf(int slot) const {
    std::lock_guard lock(mutex_);
    const auto found = progress_.find(slot);
    return found == progress_.end() ? std::nullopt : std::optional(found->second);
}

std::string RecordingHost::Console() const {
    return Get(console_);
}

std::vector<std::string> RecordingHost::ErrorTexts() const {
    return Get(errorTexts_);
}

int RecordingHost::RunsEnded() const {
    return Get(runsEnded_);
}

std::vector<bool> RecordingHost::PassesOk(int slot) const {
    std::lock_guard lock(mutex_);
    return Find(passesOk_, slot);
}

std::vector<PassFailureReport> RecordingHost::Failures(int slot) const {
    std::lock_guard lock(mutex_);
    return Find(failures_, slot);
}

::testing::AssertionResult RecordingHost::FailedOnce(int slot,
                                                     const ExpectedFailure& expected) const {
    const std::vector<PassFailureReport> failures = Failures(slot);
    if (failures.size() != 1) {
        return ::testing::AssertionFailure() << failures.size() << " failed passes, not one";
    }
    const PassFailureReport& failure = failures.front();
    if (failure.cause != expected.cause) {
        return ::testing::AssertionFailure() << "cause " << static_cast<int>(failure.cause)
                                             << ", not " << static_cast<int>(expected.cause);
    }
    if (expected.restart && failure.restart != *expected.restart) {
        return ::testing::AssertionFailure() << "restart " << static_cast<int>(failure.restart)
                                             << ", not " << static_cast<int>(*expected.restart);
    }
    if (!expected.file.empty() && failure.file != expected.file) {
        return ::testing::AssertionFailure()
               << "file \"" << failure.file << "\", not \"" << expected.file << "\"";
    }
    if (!expected.text.empty() && failure.text != expected.text) {
        return ::testing::AssertionFailure()
               << "text \"" << failure.text << "\", not \"" << expected.text << "\"";
    }
    return ::testing::AssertionSuccess();
}

bool RecordingHost::WaitUntil(const std::function<bool(const RecordingHost&)>& done,
                              std::chrono::milliseconds limit) {
    const auto deadline = std::chrono::steady_clock::now() + limit;
    while (!done(*this)) {
        std::unique_lock lock(mutex_);
        if (changed_.wait_until(lock, deadline) == std::cv_status::timeout) {
            lock.unlock();
            return done(*this);
        }
    }
    return true;
}

}  // namespace termload::test
