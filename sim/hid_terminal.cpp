#include "hid_terminal.hpp"

#include <algorithm>

namespace termsim {

namespace {

constexpr uint8_t kFrameReport = 0x0B;
constexpr size_t kHeader = 4;

}  // namespace

std::vector<uint8_t> HidReplyReport(std::span<const uint8_t> payload) {
    const size_t needed = kHeader + payload.size();
    uint8_t code = 1;
    size_t size = 8;
    while (size < needed && code < 8) {
        ++code;
        size *= 2;
    }
    std::vector<uint8_t> report(std::max(size, needed), 0);
    report[0] = code;
    report[2] = static_cast<uint8_t>(payload.size() & 0xFF);
    report[3] = static_cast<uint8_t>((payload.size() >> 8) & 0xFF);
    std::copy(payload.begin(), payload.end(), report.begin() + kHeader);
    return report;
}

HidTerminal::HidTerminal(EventLoop& loop, TerminalSetup setup, HidDevice& device, ResultsLog& log,
                         Tally& tally)
    : device_(device), log_(log), terminal_(std::move(setup), *this, log, tally), timer_(loop) {}

HidTerminal::~HidTerminal() = default;

void HidTerminal::Send(std::string_view bytes) {
    // Only the version reply goes back, in a report of its own; the console's text has no way
    // out of the HID function.
    if (capturing_) {
        captured_.insert(captured_.end(), bytes.begin(), bytes.end());
    }
}

void HidTerminal::Problem(const std::string& text, size_t bytes, TimePoint now) {
    ++badReports_;
    log_.Record({{"event", "hid-report"}, {"port", "HID"}, {"bytes", bytes}, {"problem", text}},
                now);
}

void HidTerminal::Handle(HidEvent event, TimePoint now) {
    if (event.opened) {
        ++opens_;
        // A new open reads no report left from the last one, and is a new session.
        device_.DropInput();
        if (open_) {
            terminal_.PortClosed(now);
        }
        open_ = true;
        terminal_.PortOpened(now);
    } else if (event.stalled) {
        ++stalled_;
        log_.Record({{"event", "hid-report"},
                     {"port", "HID"},
                     {"bytes", event.bytes.size()},
                     {"stalled", true}},
                    now);
    } else if (event.refused) {
        ++refused_;
        log_.Record({{"event", "hid-report"},
                     {"port", "HID"},
                     {"bytes", event.bytes.size()},
                     {"refused", true}},
                    now);
    } else {
        Report(event.bytes, now);
    }
    Arm();
}

void HidTerminal::Report(std::span<const uint8_t> report, TimePoint now) {
    ++reports_;
    if (report.size() != kHidReportBytes) {
        Problem("report of " + std::to_string(report.size()) + " bytes, not " +
                    std::to_string(kHidReportBytes),
                report.size(), now);
        return;
    }
    if (report[0] == kFrameReport) {
        ++frameReports_;
        terminal_.Receive(report.subspan(1), now);
        return;
    }
    const size_t length = report[2] | (static_cast<size_t>(report[3]) << 8);
    if (report[0] < 1 || report[0] > 8 || report[1] != 0 || length == 0 ||
        length > report.size() - kHeader) {
        Problem("unknown report id " + std::to_string(report[0]), report.size(), now);
        return;
    }
    size_t size = 8u << (report[0] - 1);
    if (kHeader + length > size) {
        Problem("request of " + std::to_string(length) + " bytes under size code " +
                    std::to_string(report[0]),
                report.size(), now);
        return;
    }
    ++requestReports_;
    capturing_ = true;
    captured_.clear();
    terminal_.Receive(report.subspan(kHeader, length), now);
    capturing_ = false;
    if (!captured_.empty()) {
        device_.SendInput(HidReplyReport(captured_));
    }
    captured_.clear();
}

void HidTerminal::Arm() {
    timer_.Set(terminal_.NextDeadline(), [this]() {
        terminal_.Advance(Clock::now());
        Arm();
    });
}

void HidTerminal::Shutdown(TimePoint now) {
    timer_.Clear();
    terminal_.Shutdown(now);
    log_.Record({{"event", "hid"},
                 {"port", "HID"},
                 {"opens", opens_},
                 {"reports", reports_},
                 {"frame_reports", frameReports_},
                 {"request_reports", requestReports_},
                 {"bad_reports", badReports_},
                 {"refused", refused_},
                 {"stalled", stalled_}},
                now);
}

}  // namespace termsim
