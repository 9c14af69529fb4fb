#pragma once
// One simulated terminal position on a port: the unit currently on the bench with its boot
// console, frame receiver, YMODEM receiver, clock and version responder. It tells from the first
// bytes what the tool is doing: frame sync 55 55 AA AA, a command packet 01 01 01 01, or typing.
//
// A unit is switched on once, when it comes to the port: its boot loader prints its banner then,
// not at every open of the port (a re-open does not reset the board). A unit stays on the port
// across the tool's re-opens until it is done: it has received the file
// count of its pass, or booted its kernel, or hung up or stalled (faults). The next open then
// brings a new unit; a hang-up or stall fault hits only as many units as it is given (one by
// default), as a terminal that failed is swapped for one that works. A file arriving a second time
// also starts a new unit: the tool sends each file once a pass, and a pass may announce more files
// than it sends (the address file of the first pass is counted in every pass).
#include <cstdint>
#include <filesystem>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "boot_console.hpp"
#include "command_packets.hpp"
#include "frame_receiver.hpp"
#include "results_log.hpp"
#include "sim_time.hpp"
#include "usb_image_check.hpp"
#include "ymodem_receiver.hpp"

namespace termsim {

struct TerminalSetup {
    std::string port;           // "COM1"
    std::filesystem::path dir;  // DIR/COM1: units are stored below it
    FrameFormat frameFormat = FrameFormat::Full;
    ConsoleOptions console;
    YmodemOptions ymodem;
    std::vector<InstalledVersion> versions;
    int hangupAfterFrames = -1;
    int stallAfterFrames = -1;
    int hangupUnits =
        1;               // units that hang up before the port's terminals come back healthy; 0: all
    int stallUnits = 1;  // likewise for the stall
    int replaceAfterFiles = -1;  // hangs up at the tool's close once it holds this many files
    int replaceUnits = 1;        // likewise for that replacement
    Duration holdTimeout = milliseconds(200);  // a possible packet start waits this long
    // The operator switches the unit off and on when the tool has held its port open this long
    // without sending a byte (waiting for a banner that an opened port does not bring); 0: never.
    Duration restartWhenWaiting{0};
};

// What the terminal needs from the line it sits on.
class TerminalHost {
  public:
    virtual ~TerminalHost() = default;
    virtual void Send(std::string_view bytes) = 0;
    virtual void HangUp() = 0;       // close our side now; the port comes back with a new line
    virtual void StopReading() = 0;  // take no more bytes until the tool closes the port
    // While the tool has the port closed: the line goes and a new one comes back under the same
    // device name.
    virtual void Replace() { HangUp(); }
};

// Totals over all ports, for the summary.
struct Tally {
    uint64_t units = 0;
    uint64_t filesGood = 0;
    uint64_t filesBad = 0;
    uint64_t framesBad = 0;
    uint64_t clockPackets = 0;
    uint64_t versionRequests = 0;
    uint64_t hangups = 0;
};

class Terminal : private FrameListener {
  public:
    Terminal(TerminalSetup setup, TerminalHost& host, ResultsLog& log, Tally& tally);
    ~Terminal() override;
    Terminal(const Terminal&) = delete;
    Terminal& operator=(const Terminal&) = delete;

    void PortOpened(TimePoint now);
    // `reopened`: the tool had opened the port again before the bytes still to be read were
    // read, so they may be the end of this session as well as the start of the next.
    void PortClosed(TimePoint now, bool reopened = false);
    void Receive(std::span<const uint8_t> bytes, TimePoint now);
    void Advance(TimePoint now);
    std::optional<TimePoint> NextDeadline() const;
    // End of the run: the unit on the port is recorded.
    void Shutdown(TimePoint now);
    // An image from the USB device (checked or cut off): kept under the unit's directory as
    // usb/image-K.bin (.bad when it failed its check) and answered on the console.
    void UsbImageReceived(UsbImage image, TimePoint now);

  private:
    struct Unit;
    enum class Held { Prefix, Frame, Clock, Version, Mismatch };

    void StartSession(TimePoint now);
    void NewUnit();
    void EndUnit(const std::string& reason, TimePoint now);
    void RecordUnit(const std::string& reason, TimePoint now);
    void Sniff(uint8_t byte, TimePoint now);
    Held Classify() const;
    void ReleaseHeld(TimePoint now);
    void GiveUpHeld(TimePoint now);
    void ToConsole(uint8_t byte, TimePoint now);
    void StartYmodemIfAsked(TimePoint now);
    void CheckYmodem(TimePoint now);
    void HandlePacket(Held kind, TimePoint now);
    void ApplyLineFaults(TimePoint now);
    bool ReplaceDue() const;
    void Record(nlohmann::json line, TimePoint now);
    void StoreSolidified(const std::string& detail, TimePoint now);

    void FileStarted(const ReceivedFile& file) override;
    void FileData(std::span<const uint8_t> bytes) override;
    void FileEnded(const ReceivedFile& file) override;
    bool FrameAccepted(const FrameFields& fields) override;
    void FrameRejected(FrameVerdict verdict, const std::string& problem) override;

    TerminalSetup setup_;
    TerminalHost& host_;
    ResultsLog& log_;
    Tally& tally_;
    FrameReceiver frames_;
    std::unique_ptr<Unit> unit_;
    int unitsSeen_ = 0;
    bool sessionOpen_ = false;  // the tool has the port open
    bool inFrames_ = false;     // this session carries frames: every byte goes to the receiver
    // A frame or file the last session left midway, kept across a re-open seen late; the next
    // session's first bytes that are not a frame end it.
    bool framesCarried_ = false;
    std::vector<uint8_t> held_;
    TimePoint heldSince_;
    TimePoint now_;                       // time of the call being handled, for the frame callbacks
    std::optional<TimePoint> restartAt_;  // the operator's restart, while the tool only waits
    bool hangUpDue_ = false;
    bool stallDue_ = false;
    int hangupsDone_ = 0;   // units this port has hung up
    int stallsDone_ = 0;    // units this port has stalled
    int replacesDone_ = 0;  // units this port has replaced while closed
};

}  // namespace termsim
