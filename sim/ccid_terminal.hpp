#pragma once
// The terminal behind a CCID reader: it answers the reader escape requests the tool sends through
// PC/SC. Data requests carry the frame bytes, which go to the same terminal model as a serial
// port's (so files land in DIR/CCID/unit-K and results.jsonl says the same things); the version
// request is answered with the version reply. A pass ends with the last poll (FF 65) or a stop
// (FF 64): the next data brings the next unit.
#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "terminal.hpp"

namespace termsim {

struct CcidFaults {
    int rebootsNeeded = 0;  // probes answer "not ready" until this many reboot requests came
    int refuseRequest = 0;  // this data request (1 = the first of the run) is refused, 0: none
    int busyPolls = 0;      // end-of-pass polls of each pass that answer "still writing"
};

// "unready=N", "refuse=N" or "busy=N"; throws std::invalid_argument on anything else.
void ApplyCcidFault(const std::string& text, CcidFaults& faults);

class CcidTerminal : private TerminalHost {
  public:
    CcidTerminal(TerminalSetup setup, CcidFaults faults, ResultsLog& log, Tally& tally);
    ~CcidTerminal() override;
    CcidTerminal(const CcidTerminal&) = delete;
    CcidTerminal& operator=(const CcidTerminal&) = delete;

    // One escape request; the reply (at most `replyCapacity` bytes) is returned.
    std::vector<uint8_t> Escape(std::span<const uint8_t> request, size_t replyCapacity,
                                TimePoint now);
    void Shutdown(TimePoint now);

  private:
    void Send(std::string_view bytes) override;
    void HangUp() override {}
    void StopReading() override {}
    void Note(const std::string& request, nlohmann::json details, TimePoint now);
    void EndPass(TimePoint now);

    CcidFaults faults_;
    ResultsLog& log_;
    Terminal terminal_;
    bool capturing_ = false;
    std::vector<uint8_t> captured_;
    int reboots_ = 0;
    int dataRequests_ = 0;
    int pollsThisPass_ = 0;
};

}  // namespace termsim
