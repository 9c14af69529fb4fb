#include "cli/cli_host.h"

namespace termload::cli {

CliHost::CliHost(std::vector<int> slotPorts, ProgressView& view, PassTracker& tracker,
                 PassReport* report, RunEvents& events, std::function<void(int)> stopSlot)
    : slotPorts_(std::move(slotPorts)),
      view_(view),
      tracker_(tracker),
      report_(report),
      events_(events),
      stopSlot_(std::move(stopSlot)),
      slotFinished_(slotPorts_.size()) {}

int CliHost::PortOf(int slot) const {
    return slot >= 0 && static_cast<std::size_t>(slot) < slotPorts_.size() ? slotPorts_[slot]
                                                                           : slot + 1;
}

void CliHost::SetStatus(int slot, const std::string& text, std::optional<StatusColour> colour) {
    view_.Status(PortOf(slot), text, colour);
}

void CliHost::SetProgress(int slot, const ProgressState& progress) {
    view_.Progress(PortOf(slot), progress);
}

void CliHost::ShowError(int slot, const std::string& text, std::shared_ptr<ErrorAnswer> answer) {
    view_.Note("COM" + std::to_string(PortOf(slot)) + ": " + text);
    answer->Acknowledge();
}

void CliHost::RunEnded(int slot) {
    // A slot we stopped after its last pass ends its thread like any other; only a thread that
    // ends the run on its own account ends it for every port, as the window does.
    const bool finished = slot >= 0 && static_cast<std::size_t>(slot) < slotFinished_.size() &&
                          slotFinished_[slot].load();
    if (!finished) {
        events_.RunEnded();
    }
}

void CliHost::PassStarted(int slot, int pass) {
    tracker_.PassStarted(slot, pass, std::chrono::system_clock::now());
}

void CliHost::FileFinished(const FileReport& file) { tracker_.FileFinished(file); }

void CliHost::PassFinished(int slot, int /*pass*/, bool ok) {
    auto finished = tracker_.PassFinished(slot, ok, std::chrono::system_clock::now());
    if (!finished) {
        return;
    }
    if (report_ != nullptr && !report_->Write(finished->record)) {
        if (!reportFailed_.exchange(true)) {
            view_.Note("termload-cli: the report cannot be written; the run goes on without it");
        }
    }
    if (finished->limitReached) {
        slotFinished_[slot] = true;
        stopSlot_(slot);
        if (tracker_.AllDone()) {
            events_.PassesDone();
        }
    }
}

}  // namespace termload::cli
