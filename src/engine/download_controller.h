#pragma once

#include <memory>
#include <mutex>
#include <optional>

#include "engine/download_job.h"
#include "engine/download_thread.h"
#include "engine/link.h"
#include "engine/stop_signal.h"
#include "engine/timer_resolution.h"
#include "engine/transport_links.h"

namespace termload {

class PortSlotTable;

// Starts and stops downloads: what the start and stop buttons do, apart from the widgets.
// The window and the command line both drive it from their own thread:
//
//   StartCheck check = CheckStart(config, options);   // start_check.h
//   show check.messages in order;
//   if (check.job) controller.Start(check.job);
//   ...
//   on the stop button, or when the sink's RunEnded arrives: controller.Stop();
//
// The controller must be destroyed before the slot table it drives.
class DownloadController {
  public:
    // `makeLink` makes each slot's link when a run starts (tests give a scripted one).
    explicit DownloadController(PortSlotTable& table, LinkFactory makeLink = TransportLinks());
    ~DownloadController();  // stops a run still going
    DownloadController(const DownloadController&) = delete;
    DownloadController& operator=(const DownloadController&) = delete;

    // Fills the slots (one port, or all 27 in multi-port mode) and starts one download thread
    // per port in use, in slot order, a short pause apart. A stop (Stop from another thread, or
    // Cancel) ends the pause at once and no further thread is started. False, with nothing
    // started, when a run is already going, the controller has been cancelled, or no thread could
    // be started.
    bool Start(const std::shared_ptr<const DownloadJob>& job);

    // From any thread, also while Start runs, without waiting: raises the stop of every slot of
    // the run (no slot opens a port afterwards) and refuses every later Start. For a program that
    // ends when interrupted; Stop must still be called on the host's thread to join the threads.
    void Cancel();

    // Stops every slot of the run: stop requests, channels closed, threads joined (within about a
    // second), every slot showing "[COMn]Ready". Harmless when idle or called twice. On a download
    // thread it does not join that thread itself; the next Start or the destructor does.
    void Stop();

    // A run has been started and not stopped since (threads that ended on their own count as
    // running until Stop, as the window stays in its downloading state).
    bool Running() const;
    // The system timer ticks every millisecond for the run (asked for at Start, given back at
    // Stop), so that the pacing's pauses are as long as the settings say.
    bool FineTimerHeld() const;

  private:
    PortSlotTable& table_;
    LinkFactory makeLink_;
    // Raised by Cancel and Stop; ends the pauses between thread starts.
    StopSignal startStop_;
    mutable std::mutex mutex_;
    bool cancelled_ = false;
    // The run the threads work on; it lives until every thread of it has been joined.
    std::unique_ptr<DownloadRun> run_;
    bool running_ = false;
    std::optional<FineTimerResolution> fineTimer_;
};

}  // namespace termload
