// The download machinery the window owns: the port slots and the start/stop controller.
#pragma once

#include <memory>

namespace termload {

class HostSink;
class PortSlotTable;

class WindowDownload {
  public:
    explicit WindowDownload(HostSink& sink);
    ~WindowDownload();  // stops every slot and joins every thread

    // Stops every slot in use and joins their threads.
    void StopAll();
    // True while a start is starting its threads (the window keeps processing events then).
    bool IsStarting() const { return starting_; }

    PortSlotTable& Slots() { return *slots_; }

  private:
    std::unique_ptr<PortSlotTable> slots_;
    bool starting_ = false;
};

}  // namespace termload
