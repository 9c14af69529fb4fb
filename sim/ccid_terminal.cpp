#include "ccid_terminal.hpp"

#include <algorithm>
#include <cstring>
#include <stdexcept>

namespace termsim {

namespace {

constexpr uint8_t kProbe[] = {0xFF, 0x60, 0x00, 0x00, 0x00, 0x00};
constexpr uint8_t kReboot[] = {0xFF, 0x66, 0x00, 0x11, 0x06, 'R', 'E', 'B', 'O', 'O', 'T'};

bool Is(std::span<const uint8_t> request, std::span<const uint8_t> expected) {
    return request.size() == expected.size() &&
           std::equal(request.begin(), request.end(), expected.begin());
}

// The short commands FF 63/64/65 00 00 00.
bool IsShort(std::span<const uint8_t> request, uint8_t instruction) {
    const uint8_t expected[] = {0xFF, instruction, 0x00, 0x00, 0x00};
    return Is(request, expected);
}

std::vector<uint8_t> Status(uint8_t first, uint8_t second) {
    return {first, second};
}

}  // namespace

void ApplyCcidFault(const std::string& text, CcidFaults& faults) {
    const size_t eq = text.find('=');
    if (eq == std::string::npos) {
        throw std::invalid_argument("CCID fault needs KIND=N: " + text);
    }
    const std::string kind = text.substr(0, eq);
    size_t used = 0;
    int n = -1;
    try {
        n = std::stoi(text.substr(eq + 1), &used);
    } catch (const std::exception&) {
    }
    if (n < 0 || used != text.size() - eq - 1) {
        throw std::invalid_argument("CCID fault count is not a number: " + text);
    }
    if (kind == "unready") {
        faults.rebootsNeeded = n;
    } else if (kind == "refuse") {
        faults.refuseRequest = n;
    } else if (kind == "busy") {
        faults.busyPolls = n;
    } else {
        throw std::invalid_argument("unknown CCID fault: " + text);
    }
}

CcidTerminal::CcidTerminal(TerminalSetup setup, CcidFaults faults, ResultsLog& log, Tally& tally)
    : faults_(faults), log_(log), terminal_(std::move(setup), *this, log, tally) {}

CcidTerminal::~CcidTerminal() = default;

void CcidTerminal::Send(std::string_view bytes) {
    // Only the version reply goes back, as the reply of the request that asked for it; the
    // console's banner has no way out of a reader.
    if (capturing_) {
        captured_.insert(captured_.end(), bytes.begin(), bytes.end());
    }
}

void CcidTerminal::Note(const std::string& request, nlohmann::json details, TimePoint now) {
    nlohmann::json line = {{"event", "ccid"}, {"port", "CCID"}, {"request", request}};
    for (auto& [key, value] : details.items()) {
        line[key] = std::move(value);
    }
    log_.Record(std::move(line), now);
}

void CcidTerminal::EndPass(TimePoint now) {
    terminal_.PortClosed(now);
    pollsThisPass_ = 0;
}

std::vector<uint8_t> CcidTerminal::Escape(std::span<const uint8_t> request, size_t replyCapacity,
                                          TimePoint now) {
    terminal_.Advance(now);
    std::vector<uint8_t> reply;
    if (request.size() >= 5 && request[0] == 0xFF && request[1] == 0x62 && request[2] == 0 &&
        request[3] == 0) {
        ++dataRequests_;
        if (request[4] == 0 || request.size() != 5u + request[4]) {
            Note("data", {{"accepted", false}, {"problem", "length byte disagrees"}}, now);
            reply = Status(0x67, 0x00);
        } else if (dataRequests_ == faults_.refuseRequest) {
            Note("data", {{"accepted", false}, {"problem", "refused (fault)"}}, now);
            reply = Status(0x6A, 0x81);  // not taken: the sender must start the file again
        } else {
            terminal_.Receive(request.subspan(5), now);
            reply = Status(0x90, 0x00);
        }
    } else if (Is(request, kProbe)) {
        const bool ready = reboots_ >= faults_.rebootsNeeded;
        Note("probe", {{"ready", ready}}, now);
        reply = Status(ready ? 0x00 : 0x01, 0x90);
    } else if (Is(request, kReboot)) {
        ++reboots_;
        Note("reboot", {{"reboots", reboots_}}, now);
        EndPass(now);
        reply = Status(0x90, 0x00);
    } else if (IsShort(request, 0x63)) {
        const bool writing = pollsThisPass_++ < faults_.busyPolls;
        Note("pass-poll", {{"writing", writing}}, now);
        reply = Status(writing ? 0x01 : 0x00, 0x90);
    } else if (IsShort(request, 0x65)) {
        Note("pass-result", nlohmann::json::object(), now);
        EndPass(now);
        reply = Status(0x90, 0x00);
    } else if (IsShort(request, 0x64)) {
        Note("stop", nlohmann::json::object(), now);
        EndPass(now);
        reply = Status(0x90, 0x00);
    } else if (!request.empty() && request[0] == 0x01) {
        // A command packet (the version request): the terminal model answers it as on a line,
        // outside any frame session.
        EndPass(now);
        capturing_ = true;
        captured_.clear();
        terminal_.Receive(request, now);
        capturing_ = false;
        reply = std::move(captured_);
        captured_.clear();
    } else {
        Note("unknown", {{"bytes", request.size()}}, now);
        reply = Status(0x6D, 0x00);
    }
    if (reply.size() > replyCapacity) {
        reply.resize(replyCapacity);
    }
    return reply;
}

void CcidTerminal::Shutdown(TimePoint now) {
    terminal_.Shutdown(now);
}

}  // namespace termsim
