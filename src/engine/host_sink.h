// How the engine reports to its host (the window or the command line). Download threads never
// touch the host's widgets: every report goes through a HostSink, which the GUI adapter queues to
// its own thread (keeping each slot's reports in order) and the CLI adapter prints. Slots are
// addressed by their index 0-26; texts are UTF-8.
#pragma once

#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>

namespace termload {

class StopSignal;

// Font colours of a slot's status text, as 0x00BBGGRR values.
enum class StatusColour : std::uint32_t {
    Black = 0x000000,  // progress and normal steps
    Red = 0x0000FF,    // failures
    Blue = 0xFF0000,   // a file completed
};

struct ProgressState {
    int minimum = 0;
    int maximum = 100;
    int position = 0;  // always within [minimum, maximum]
};

// One file of a pass, for reports.
struct FileReport {
    int slot = 0;
    int row = -1;  // row of the file list; -1 for files the engine adds (address file, clock file)
    std::string source;
    std::string destination;
    std::uint64_t size = 0;
    bool ok = false;
    std::string text;  // the status text that ended the file
};

// What the engine did about a failure in the middle of a pass. A pass with one of these is never
// a good pass: the terminal now on the port may lack files it was sent before.
enum class PassRestart {
    File,      // the file started again from its first block; the pass went on
    NextPass,  // the pass ended; the next one starts again from the first file
    None,      // nothing started again: the slot's thread ended (the port could not be opened),
               // or only the row failed and the pass went on
};
enum class FailureCause {
    HangUp,       // the device went away (a write failed at once)
    TimeOut,      // the terminal stopped taking bytes
    Transport,    // the link refused a frame for a reason of its own (the USB transports)
    PortOpen,     // the port could not be opened
    TimerFile,    // the clock file could not be written
    CcidResult,   // the terminal did not confirm a USB-CCID pass (its poll failed, or its result)
    Console,      // the boot loader did not answer a console command (after its attempts)
    Ymodem,       // the kernel image's YMODEM transfer failed
    KernelStart,  // the kernel image was written but the kernel never reported its file system
};
struct PassFailureReport {
    int slot = 0;
    std::string file;  // destination of the file being sent, empty when none
    std::string text;  // the red status text the operator saw
    FailureCause cause = FailureCause::Transport;
    PassRestart restart = PassRestart::File;
};

// The operator's answer to an error shown for a download thread. The host acknowledges it when
// the operator closes the box; the thread stops waiting for it when its slot is stopped.
class ErrorAnswer {
  public:
    void Acknowledge();
    // Waits for the acknowledgement or a stop of `stop`; true when acknowledged.
    bool WaitForAcknowledgement(StopSignal& stop);

  private:
    std::mutex mutex_;
    std::condition_variable changed_;
    bool acknowledged_ = false;
    bool withdrawn_ = false;
};

// Every call comes from an engine thread (a download thread, a port's reader thread) and must not
// wait for the host's own thread: the host joins the download threads while it stops a run.
class HostSink {
  public:
    virtual ~HostSink() = default;

    // The slot's status text; `colour` empty keeps the colour in force.
    virtual void SetStatus(int slot, const std::string& text,
                           std::optional<StatusColour> colour) = 0;
    virtual void SetProgress(int slot, const ProgressState& progress) = 0;

    // The console text received from a terminal, whole (it replaces what was shown). The bytes
    // are the terminal's (ASCII in practice); a host shows invalid UTF-8 as replacement characters.
    virtual void ShowConsoleText(const std::string& text) = 0;
    virtual void ClearConsoleText() = 0;

    // Shows an error box for a download thread without blocking the host; the host calls
    // answer->Acknowledge() when the operator closes it.
    virtual void ShowError(int slot, const std::string& text,
                           std::shared_ptr<ErrorAnswer> answer) = 0;

    // A download thread has ended the run; the host then stops the download on its own
    // thread.
    virtual void RunEnded(int slot) = 0;

    // Notifications for reports; a host may ignore them.
    virtual void PassStarted(int /*slot*/, int /*pass*/) {}
    virtual void FileFinished(const FileReport& /*file*/) {}
    virtual void PassFinished(int /*slot*/, int /*pass*/, bool /*ok*/) {}
    // Reported as it happens, before the PassFinished of its pass (which then says not ok).
    virtual void PassFailed(const PassFailureReport& /*failure*/) {}
};

}  // namespace termload
