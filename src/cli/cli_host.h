// The command line's host for the download engine: status and progress go to the progress view,
// passes and files to the report, and the end of the run to the waiting main thread.
#pragma once

#include <atomic>
#include <functional>
#include <memory>
#include <vector>

#include "cli/pass_report.h"
#include "cli/pass_tracker.h"
#include "cli/progress_view.h"
#include "cli/run_events.h"
#include "engine/host_sink.h"

namespace termload::cli {

class CliHost : public HostSink {
  public:
    // `slotPorts[i]` is the COM number of slot i; `report` may be null. `onPass` sees every
    // finished pass's record (may be empty).
    CliHost(std::vector<int> slotPorts, ProgressView& view, PassTracker& tracker,
            PassReport* report, RunEvents& events, std::function<void(const PassRecord&)> onPass);

    void SetStatus(int slot, const std::string& text, std::optional<StatusColour> colour) override;
    void SetProgress(int slot, const ProgressState& progress) override;
    // The boot console's text is the window's business; a script has the status lines.
    void ShowConsoleText(const std::string&) override {}
    void ClearConsoleText() override {}
    // The command line never writes the configuration back, so check marks do not matter.
    // Nobody is there to close a box: the error is shown as a line and taken as acknowledged.
    void ShowError(int slot, const std::string& text, std::shared_ptr<ErrorAnswer> answer) override;
    void RunEnded(int slot) override;
    void PassStarted(int slot, int pass) override;
    void FileFinished(const FileReport& file) override;
    void PassFinished(int slot, int pass, bool ok) override;
    void PassFailed(const PassFailureReport& failure) override;
    // No port is left to serve: the run is over, as when it ran out of passes.

    // From now on nothing more is shown or counted: the run is being stopped, and a pass that
    // ends now is closed as stopped by the tracker.
    void StopReporting() { stopping_ = true; }

    // A report line could not be written (disk full, …).
    bool ReportFailed() const { return reportFailed_; }
    // Writes the line of a pass to the report, and names it to the operator when it could not.
    void WriteReportLine(const PassRecord& record);

  private:
    int PortOf(int slot) const;

    std::vector<int> slotPorts_;
    ProgressView& view_;
    PassTracker& tracker_;
    PassReport* report_;
    RunEvents& events_;
    std::function<void(const PassRecord&)> onPass_;
    std::atomic<bool> stopping_{false};
    std::atomic<bool> reportFailed_{false};
};

}  // namespace termload::cli
