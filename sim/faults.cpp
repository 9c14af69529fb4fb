#include "faults.hpp"

#include <charconv>
#include <stdexcept>

namespace termsim {

namespace {

uint64_t Number(const std::string& text, const std::string& spec) {
    uint64_t value = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (text.empty() || error != std::errc() || end != text.data() + text.size()) {
        throw std::invalid_argument("fault '" + spec + "': '" + text + "' is not a number");
    }
    return value;
}

std::vector<size_t> PortIndexes(const std::string& ports, size_t count, const std::string& spec) {
    std::vector<size_t> indexes;
    if (ports == "all") {
        for (size_t i = 0; i < count; ++i) {
            indexes.push_back(i);
        }
        return indexes;
    }
    size_t start = 0;
    while (start <= ports.size()) {
        const size_t comma = std::min(ports.find(',', start), ports.size());
        const std::string item = ports.substr(start, comma - start);
        const size_t dash = item.find('-');
        const uint64_t first = Number(item.substr(0, dash), spec);
        const uint64_t last =
            dash == std::string::npos ? first : Number(item.substr(dash + 1), spec);
        if (first < 1 || last < first || last > count) {
            throw std::invalid_argument("fault '" + spec + "': ports must lie within 1-" +
                                        std::to_string(count));
        }
        for (uint64_t port = first; port <= last; ++port) {
            indexes.push_back(port - 1);
        }
        start = comma + 1;
    }
    return indexes;
}

}  // namespace

void ApplyFaultSpec(const std::string& spec, std::vector<PortFaults>& faults) {
    const size_t colon = spec.find(':');
    if (colon == std::string::npos) {
        throw std::invalid_argument("fault '" + spec + "': expected PORTS:KIND[=N]");
    }
    const std::string what = spec.substr(colon + 1);
    const size_t equals = what.find('=');
    const std::string kind = what.substr(0, equals);
    const bool hasValue = equals != std::string::npos;
    auto value = [&]() {
        if (!hasValue) {
            throw std::invalid_argument("fault '" + spec + "': " + kind + " needs =N");
        }
        return Number(what.substr(equals + 1), spec);
    };
    auto asInt = [&]() {
        const uint64_t n = value();
        if (n > 1'000'000'000) {
            throw std::invalid_argument("fault '" + spec + "': number too large");
        }
        return static_cast<int>(n);
    };
    PortFaults change;
    void (*apply)(PortFaults&, const PortFaults&) = nullptr;
    if (kind == "silent" && !hasValue) {
        apply = [](PortFaults& f, const PortFaults&) { f.silent = true; };
    } else if (kind == "checksum" && !hasValue) {
        apply = [](PortFaults& f, const PortFaults&) { f.checksumError = true; };
    } else if (kind == "slow") {
        change.slow = milliseconds(asInt());
        apply = [](PortFaults& f, const PortFaults& c) { f.slow = c.slow; };
    } else if (kind == "hangup") {
        change.hangupAfterFrames = asInt();
        apply = [](PortFaults& f, const PortFaults& c) {
            f.hangupAfterFrames = c.hangupAfterFrames;
        };
    } else if (kind == "stall") {
        change.stallAfterFrames = asInt();
        apply = [](PortFaults& f, const PortFaults& c) { f.stallAfterFrames = c.stallAfterFrames; };
    } else if (kind == "nak") {
        change.ymodemNaks = asInt();
        apply = [](PortFaults& f, const PortFaults& c) { f.ymodemNaks = c.ymodemNaks; };
    } else if (kind == "can") {
        change.ymodemCancelAfter = asInt();
        apply = [](PortFaults& f, const PortFaults& c) {
            f.ymodemCancelAfter = c.ymodemCancelAfter;
        };
    } else if (kind == "drop" || kind == "corrupt") {
        const uint64_t n = value();
        if (n == 0) {
            throw std::invalid_argument("fault '" + spec + "': N must be at least 1");
        }
        (kind == "drop" ? change.dropEvery : change.corruptEvery) = n;
        apply = kind == "drop"
                    ? +[](PortFaults& f, const PortFaults& c) { f.dropEvery = c.dropEvery; }
                    : +[](PortFaults& f, const PortFaults& c) { f.corruptEvery = c.corruptEvery; };
    } else if (kind == "noise") {
        change.noiseEvery = milliseconds(std::max(1, asInt()));
        apply = [](PortFaults& f, const PortFaults& c) { f.noiseEvery = c.noiseEvery; };
    } else if (kind == "longline") {
        change.longLine = static_cast<size_t>(std::min(asInt(), 1 << 20));
        apply = [](PortFaults& f, const PortFaults& c) { f.longLine = c.longLine; };
    } else {
        throw std::invalid_argument("fault '" + spec + "': unknown kind '" + kind + "'");
    }
    for (size_t index : PortIndexes(spec.substr(0, colon), faults.size(), spec)) {
        apply(faults[index], change);
    }
}

}  // namespace termsim
