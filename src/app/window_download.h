// The download machinery the window owns: the port slots and the start/stop controller, and
// the state the window needs around them (a start or a stop in progress keeps processing events,
// so the window must not start, stop or close again meanwhile).
#pragma once

#include <filesystem>
#include <memory>

#include "engine/download_controller.h"
#include "engine/port_slot_table.h"
#include "engine/start_check.h"

namespace termload {

class HostSink;

class WindowDownload {
  public:
    // `makeLink` makes each slot's link when a run starts.
    WindowDownload(HostSink& sink, LinkFactory makeLink);
    ~WindowDownload();  // stops every slot and joins every thread

    // Starts the job's threads; false when none could be started.
    bool Start(const std::shared_ptr<const DownloadJob>& job);
    // Stops every slot and joins their threads.
    void Stop();

    bool Running() const { return controller_.Running(); }
    // A start or a stop is under way.
    bool Busy() const { return busy_; }

  private:
    PortSlotTable slots_;
    DownloadController controller_;  // declared after the table it drives, so it goes first
    bool busy_ = false;
};

}  // namespace termload
