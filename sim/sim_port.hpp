#pragma once
// One simulated serial port: a pty whose device side the tool opens through a stable link, the
// terminal behind it, line pacing and the line faults (silent, slow, dropped and corrupted bytes,
// hang-up, stall).
#include <cstdint>
#include <deque>
#include <filesystem>
#include <string>

#include "event_loop.hpp"
#include "faults.hpp"
#include "pacer.hpp"
#include "pty.hpp"
#include "terminal.hpp"

namespace termsim {

struct PortSetup {
    std::filesystem::path link;  // DIR/ports/COMn, re-pointed at each new pty
    uint32_t baud = 0;           // 0: unpaced
    PortFaults faults;
};

class SimPort : private TerminalHost {
  public:
    SimPort(EventLoop& loop, OpenWatcher& watcher, PortSetup setup, TerminalSetup terminal,
            ResultsLog& log, Tally& tally);
    ~SimPort() override;
    SimPort(const SimPort&) = delete;
    SimPort& operator=(const SimPort&) = delete;

    const std::filesystem::path& link() const { return setup_.link; }
    void Shutdown(TimePoint now);
    // An image from termsim's USB device, which belongs to this port's terminal.
    void UsbImageReceived(UsbImage image);

  private:
    // A new line; under the device name `node` when the system gives it out (empty: any).
    void OpenLine(const std::string& node = {});
    void CloseLine();
    // The terminal's side goes; the line comes back (after the away fault's time without a link).
    void GoAway(bool sameNode);
    void OnMaster(uint32_t events);
    void Service();
    bool Drain();
    void ApplyThroughLastOpen();
    void ApplyClose(bool reopened);
    void ApplyByteFaults(uint8_t* bytes, size_t& count);
    void ToolClosed(bool reopened);
    void FlushOutput();
    void UpdateEvents();
    void ArmTerminal();

    void Send(std::string_view bytes) override;
    void HangUp() override;
    void StopReading() override;
    void Replace() override;

    struct Pending {
        TimePoint due;
        std::string bytes;
    };

    EventLoop& loop_;
    OpenWatcher& watcher_;
    PortSetup setup_;
    Terminal terminal_;
    Pty pty_;
    int watch_ = -1;
    uint64_t lineGeneration_ = 0;
    int toolOpens_ = 0;
    std::deque<bool> lineEvents_;  // opens (true) and closes waiting for the input to drain
    bool reading_ = true;          // false while a stall fault holds the line
    bool inputPaced_ = false;      // waiting for the pacer before reading more
    bool waitingWritable_ = false;
    bool servicing_ = false;
    Pacer inPacer_;
    Pacer outPacer_;
    std::deque<Pending> out_;
    size_t outBytes_ = 0;
    uint64_t bytesReceived_ = 0;
    TimerSlot terminalTimer_;
    TimerSlot inputTimer_;
    TimerSlot outputTimer_;
    TimerSlot closeTimer_;
    TimerSlot awayTimer_;
    std::optional<TimePoint> closeDue_;
};

}  // namespace termsim
