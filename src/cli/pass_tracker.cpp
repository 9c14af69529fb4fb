#include "cli/pass_tracker.h"

#include <algorithm>

namespace termload::cli {
namespace {

constexpr const char* kOk = "ok";
constexpr const char* kFailed = "failed";
constexpr const char* kStopped = "stopped";

const char* CauseName(FailureCause cause) {
    switch (cause) {
        case FailureCause::HangUp:
            return "hang-up";
        case FailureCause::TimeOut:
            return "time-out";
        case FailureCause::Transport:
            return "transport";
        case FailureCause::PortOpen:
            return "port-open";
        case FailureCause::TimerFile:
            return "timer-file";
        case FailureCause::CcidResult:
            return "ccid-result";
        case FailureCause::Console:
            return "console";
        case FailureCause::Ymodem:
            return "ymodem";
        case FailureCause::KernelStart:
            return "kernel-start";
    }
    return "transport";
}

const char* RestartName(PassRestart restart) {
    switch (restart) {
        case PassRestart::File:
            return "file";
        case PassRestart::NextPass:
            return "pass";
        case PassRestart::None:
            return "none";
    }
    return "none";
}

}  // namespace

PassTracker::PassTracker(std::vector<int> slotPorts, std::optional<int> passLimit)
    : passLimit_(passLimit), slots_(slotPorts.size()) {
    for (std::size_t i = 0; i < slotPorts.size(); ++i) {
        slots_[i].tally.port = slotPorts[i];
    }
}

void PassTracker::PassStarted(int slot, int pass, WallTime now) {
    std::lock_guard lock(mutex_);
    if (slot < 0 || static_cast<std::size_t>(slot) >= slots_.size()) {
        return;
    }
    SlotState& state = slots_[slot];
    PassRecord record;
    record.port = state.tally.port;
    record.pass = pass;
    record.start = now;
    state.open = std::move(record);
}

void PassTracker::FileFinished(const FileReport& file) {
    std::lock_guard lock(mutex_);
    if (file.slot < 0 || static_cast<std::size_t>(file.slot) >= slots_.size()) {
        return;
    }
    SlotState& state = slots_[file.slot];
    if (!state.open) {
        return;
    }
    state.open->files.push_back(FileRecord{file.source, file.destination,
                                           static_cast<std::int64_t>(file.size),
                                           file.ok ? kOk : kFailed, file.ok ? "" : file.text});
    ++(file.ok ? state.tally.filesOk : state.tally.filesFailed);
}

void PassTracker::PassFailed(const PassFailureReport& failure) {
    std::lock_guard lock(mutex_);
    if (failure.slot < 0 || static_cast<std::size_t>(failure.slot) >= slots_.size()) {
        return;
    }
    SlotState& state = slots_[failure.slot];
    if (!state.open) {
        return;
    }
    state.open->failures.push_back(FailureRecord{failure.file, CauseName(failure.cause),
                                                 RestartName(failure.restart), failure.text});
    ++state.tally.failures;
}

std::optional<PassTracker::Finished> PassTracker::PassFinished(int slot, bool ok, WallTime now) {
    std::lock_guard lock(mutex_);
    if (slot < 0 || static_cast<std::size_t>(slot) >= slots_.size() || !slots_[slot].open) {
        return std::nullopt;
    }
    SlotState& state = slots_[slot];
    Finished finished{std::move(*state.open), false};
    state.open.reset();
    finished.record.end = now;
    finished.record.outcome = ok ? kOk : kFailed;
    ++state.tally.passesDone;
    if (finished.record.outcome != kOk) {
        ++state.tally.passesFailed;
    }
    finished.limitReached = SlotDone(state);
    return finished;
}

std::vector<PassRecord> PassTracker::CloseOpenPasses(WallTime now) {
    std::lock_guard lock(mutex_);
    std::vector<PassRecord> closed;
    for (SlotState& state : slots_) {
        if (!state.open) {
            continue;
        }
        state.open->end = now;
        state.open->outcome = kStopped;
        for (FileRecord& file : state.open->files) {
            // A file the stop cut short is reported as stopped, not as a fault of the terminal.
            if (file.result == kFailed) {
                file.result = kStopped;
                --state.tally.filesFailed;
            }
        }
        state.tally.stopped = true;
        closed.push_back(std::move(*state.open));
        state.open.reset();
    }
    return closed;
}

bool PassTracker::SlotDone(const SlotState& state) const {
    return passLimit_ && state.tally.passesDone >= *passLimit_;
}

bool PassTracker::AllDone() const {
    std::lock_guard lock(mutex_);
    return std::all_of(slots_.begin(), slots_.end(),
                       [this](const SlotState& state) { return SlotDone(state); });
}

bool PassTracker::AnyFailure() const {
    std::lock_guard lock(mutex_);
    return std::any_of(slots_.begin(), slots_.end(), [](const SlotState& state) {
        return state.tally.passesFailed > 0 || state.tally.filesFailed > 0;
    });
}

std::vector<PortTally> PassTracker::Tallies() const {
    std::lock_guard lock(mutex_);
    std::vector<PortTally> tallies;
    for (const SlotState& state : slots_) {
        tallies.push_back(state.tally);
    }
    return tallies;
}

std::vector<std::string> SummaryLines(const std::vector<PortTally>& tallies) {
    std::vector<std::string> lines;
    PortTally total;
    for (const PortTally& tally : tallies) {
        char line[160];
        std::snprintf(line, sizeof line,
                      "COM%-3d passes %d (%d failed)  files %d ok, %d failed  failures %d%s",
                      tally.port, tally.passesDone, tally.passesFailed, tally.filesOk,
                      tally.filesFailed, tally.failures,
                      tally.stopped ? "  (stopped in a pass)" : "");
        lines.emplace_back(line);
        total.passesDone += tally.passesDone;
        total.passesFailed += tally.passesFailed;
        total.filesOk += tally.filesOk;
        total.filesFailed += tally.filesFailed;
        total.failures += tally.failures;
    }
    char line[160];
    std::snprintf(
        line, sizeof line, "total  passes %d (%d failed)  files %d ok, %d failed  failures %d",
        total.passesDone, total.passesFailed, total.filesOk, total.filesFailed, total.failures);
    lines.emplace_back(line);
    return lines;
}

}  // namespace termload::cli
