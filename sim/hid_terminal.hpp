#pragma once
// The terminal behind the USB-HID function: every report the tool writes is checked (4174 bytes,
// the report id); frame reports (id 0x0B) carry one frame each to the same terminal model as a
// serial port's, so files land in DIR/HID/unit-K and results.jsonl says the same things; a
// request report (its id the size code, its length in bytes 2-3) carries the version request,
// answered with a reply report. Each open of the device is a new session, as a re-open of a port.
#include <cstdint>
#include <span>
#include <vector>

#include "event_loop.hpp"
#include "hid_device.hpp"
#include "terminal.hpp"

namespace termsim {

inline constexpr size_t kHidReportBytes = 4174;

// The reply report of `payload`: id = the size code of the smallest of 8, 16, … 1024 bytes that
// holds the 4-byte header and the payload, byte 1 zero, bytes 2-3 the payload length
// (little-endian), the payload, zeros to the report's size (longer when the payload needs it).
std::vector<uint8_t> HidReplyReport(std::span<const uint8_t> payload);

class HidTerminal : private TerminalHost {
  public:
    HidTerminal(EventLoop& loop, TerminalSetup setup, HidDevice& device, ResultsLog& log,
                Tally& tally);
    ~HidTerminal() override;
    HidTerminal(const HidTerminal&) = delete;
    HidTerminal& operator=(const HidTerminal&) = delete;

    void Handle(HidEvent event, TimePoint now);
    // The unit on the device is recorded, with the report counts.
    void Shutdown(TimePoint now);

  private:
    void Send(std::string_view bytes) override;
    void HangUp() override {}
    void StopReading() override {}
    void Report(std::span<const uint8_t> report, TimePoint now);
    void Problem(const std::string& text, size_t bytes, TimePoint now);
    void Arm();

    HidDevice& device_;
    ResultsLog& log_;
    Terminal terminal_;
    TimerSlot timer_;
    bool capturing_ = false;
    std::vector<uint8_t> captured_;
    bool open_ = false;
    uint64_t reports_ = 0;
    uint64_t frameReports_ = 0;
    uint64_t requestReports_ = 0;
    uint64_t badReports_ = 0;
    uint64_t refused_ = 0;
    uint64_t stalled_ = 0;
    uint64_t opens_ = 0;
};

}  // namespace termsim
