// A link for tests that reaches no device: it records what the engine does with it and fails,
// stops or holds a chosen call, so the engine's failure paths run in milliseconds without ptys.
// A frame goes out as two writes (its two halves), so a script can act in the middle of one.
#pragma once

#include <chrono>
#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "engine/link.h"

namespace termload::test {

// The calls a script counts, across every slot of the run, from 1.
enum class LinkCall { Open, Write, Read, Purge, Drain };

enum class LinkAction {
    Fail,    // that call fails (a write with the step's cause)
    Vanish,  // the device goes away: that call and every later one fail, opens included
    Stop,    // the slot's stop is requested as the call begins; the call then goes on
    Hold,    // the call waits until the channel is closed or the slot stopped, then fails
};

class ScriptedLinks {
  public:
    // What the link of a frame-refusing transport shows and does.
    char failureDigit = '4';
    FrameRecovery recovery = FrameRecovery::RestartFromBlock0;

    // Called with the bytes of every write the link took, after they are recorded (a terminal
    // that answers what is typed); set it before the links are used.
    std::function<void(std::span<const std::uint8_t>)> onWrite;

    // Acts on the `nth` call of `call`; `cause` is what a write failed by it reports.
    void At(LinkCall call, int nth, LinkAction action, FailureCause cause = FailureCause::TimeOut);

    // For DownloadController and PortSlotTable::Reset.
    LinkFactory Factory();

    // What the links did, in order: "open", "open failed", "close", "purge", "frame NAME/BLOCK",
    // "frame NAME/BLOCK failed", "read", "read failed", "drain", "drain failed" (its output queue
    // did not empty: a time-out, or the step's cause).
    std::vector<std::string> Log() const;
    // Every byte the writes took.
    std::string Written() const;
    // Waits (up to `limit`) until a call is held.
    bool WaitUntilHeld(std::chrono::milliseconds limit) const;

  private:
    friend class ScriptedLink;
    struct Step {
        LinkCall call;
        int nth;
        LinkAction action;
        FailureCause cause;
    };
    // Counts the call and gives the step that acts on it, if any (a Vanish seen earlier acts on
    // every call).
    std::optional<Step> Count(LinkCall call);
    void Record(std::string entry);
    void RecordBytes(std::span<const std::uint8_t> bytes);
    void SetHeld(bool held);

    mutable std::mutex mutex_;
    mutable std::condition_variable changed_;
    std::vector<Step> steps_;
    int counts_[5] = {};
    bool vanished_ = false;
    bool held_ = false;
    std::vector<std::string> log_;
    std::string written_;
};

}  // namespace termload::test
