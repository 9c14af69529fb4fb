// Counts the passes of a run per port, builds their report records and says when a port has done
// its share and how the run went.
#pragma once

#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "cli/pass_report.h"
#include "engine/host_sink.h"

namespace termload::cli {

struct PortTally {
    int port = 0;
    int passesDone = 0;    // passes that ran to their end
    int passesFailed = 0;  // ... of which failed
    int filesOk = 0;
    int filesFailed = 0;
    int failures = 0;      // transport failures, port-open and clock-file failures in passes
    bool stopped = false;  // a pass was cut short by the stop
};

class PassTracker {
  public:
    // `slotPorts[i]` is the COM number of slot i; `passLimit` empty runs until stopped.
    PassTracker(std::vector<int> slotPorts, std::optional<int> passLimit);

    void PassStarted(int slot, int pass, WallTime now);
    void FileFinished(const FileReport& file);
    void PassFailed(const PassFailureReport& failure);

    struct Finished {
        PassRecord record;
        bool limitReached = false;  // this was the slot's last pass
    };
    // Closes the slot's open pass; nothing when none was open. The pass is "ok" when the engine
    // says so: the engine decides, from everything that happened in the pass, as it does for the
    // window's tally.
    std::optional<Finished> PassFinished(int slot, bool ok, WallTime now);

    // Closes every pass still open as "stopped" and returns their records.
    std::vector<PassRecord> CloseOpenPasses(WallTime now);

    // Every port has done its passes (never true without a limit).
    bool AllDone() const;
    bool AnyFailure() const;
    std::vector<PortTally> Tallies() const;

  private:
    struct SlotState {
        PortTally tally;
        std::optional<PassRecord> open;
    };
    bool SlotDone(const SlotState& state) const;

    mutable std::mutex mutex_;
    std::optional<int> passLimit_;
    std::vector<SlotState> slots_;
};

// The summary shown at the end of a run, one line per port then a total.
std::vector<std::string> SummaryLines(const std::vector<PortTally>& tallies);

}  // namespace termload::cli
