#include "cli/cli_host.h"

namespace termload::cli {

CliHost::CliHost(std::vector<int> slotPorts, ProgressView& view, PassTracker& tracker,
                 PassReport* report, RunEvents& events,
                 std::function<void(const PassRecord&)> onPass)
    : slotPorts_(std::move(slotPorts)),
      view_(view),
      tracker_(tracker),
      report_(report),
      events_(events),
      onPass_(std::move(onPass)) {}

int CliHost::PortOf(int slot) const {
    return slot >= 0 && static_cast<std::size_t>(slot) < slotPorts_.size() ? slotPorts_[slot]
                                                                           : slot + 1;
}

void CliHost::SetStatus(int slot, const std::string& text, std::optional<StatusColour> colour) {
    if (stopping_) {
        return;
    }
    view_.Status(PortOf(slot), text, colour);
}

void CliHost::SetProgress(int slot, const ProgressState& progress) {
    if (stopping_) {
        return;
    }
    view_.Progress(PortOf(slot), progress);
}

void CliHost::ShowError(int slot, const std::string& text, std::shared_ptr<ErrorAnswer> answer) {
    if (stopping_) {
        answer->Acknowledge();
        return;
    }
    view_.Note("COM" + std::to_string(PortOf(slot)) + ": " + text);
    answer->Acknowledge();
}

void CliHost::RunEnded(int /*slot*/) {
    // The engine reports the end once: a thread that stopped the run on its own account, or, with
    // a pass limit, the last thread of the run.
    events_.RunEnded();
}

void CliHost::PassStarted(int slot, int pass) {
    if (stopping_) {
        return;
    }
    tracker_.PassStarted(slot, pass, std::chrono::system_clock::now());
}

void CliHost::FileFinished(const FileReport& file) {
    if (!stopping_) {
        tracker_.FileFinished(file);
    }
}

void CliHost::PassFailed(const PassFailureReport& failure) {
    if (!stopping_) {
        tracker_.PassFailed(failure);
    }
}

void CliHost::WriteReportLine(const PassRecord& record) {
    const std::string problem = report_->Write(record);
    if (problem.empty()) {
        return;
    }
    // Each lost line is named: the file holds whole lines only, so it is simply not there.
    reportFailed_ = true;
    view_.Note("termload-cli: the report line of COM" + std::to_string(record.port) + " pass " +
               std::to_string(record.pass) + " could not be written (" + problem +
               "); the report lacks that line");
}

void CliHost::PassFinished(int slot, int /*pass*/, bool ok) {
    if (stopping_) {
        return;
    }
    auto finished = tracker_.PassFinished(slot, ok, std::chrono::system_clock::now());
    if (!finished) {
        return;
    }
    if (report_ != nullptr) {
        WriteReportLine(finished->record);
    }
    if (onPass_) {
        onPass_(finished->record);
    }
}

}  // namespace termload::cli
