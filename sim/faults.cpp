#include "faults.hpp"

#include <charconv>
#include <stdexcept>
#include <utility>

namespace termsim {

namespace {

uint64_t Number(const std::string& text, const std::string& given) {
    uint64_t value = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (text.empty() || error != std::errc() || end != text.data() + text.size()) {
        throw std::invalid_argument("fault '" + given + "': '" + text + "' is not a number");
    }
    return value;
}

std::vector<size_t> PortIndexes(const std::string& ports, size_t count, const std::string& given) {
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
        const uint64_t first = Number(item.substr(0, dash), given);
        const uint64_t last =
            dash == std::string::npos ? first : Number(item.substr(dash + 1), given);
        if (first < 1 || last < first || last > count) {
            throw std::invalid_argument("fault '" + given + "': ports must lie within 1-" +
                                        std::to_string(count));
        }
        for (uint64_t port = first; port <= last; ++port) {
            indexes.push_back(port - 1);
        }
        start = comma + 1;
    }
    return indexes;
}

constexpr uint64_t kLargest = 1'000'000'000;

int Bounded(uint64_t n, const std::string& given) {
    if (n > kLargest) {
        throw std::invalid_argument("fault '" + given + "': number too large");
    }
    return static_cast<int>(n);
}

// "K" (the first unit only), "K*N" (the first N units) or "K*all" (every unit): 0 units is every.
std::pair<int, int> FramesAndUnits(const std::string& text, const std::string& given) {
    const size_t star = text.find('*');
    const int frames = Bounded(Number(text.substr(0, star), given), given);
    if (star == std::string::npos) {
        return {frames, 1};
    }
    const std::string units = text.substr(star + 1);
    if (units == "all") {
        return {frames, 0};
    }
    const int count = Bounded(Number(units, given), given);
    if (count == 0) {
        throw std::invalid_argument("fault '" + given + "': a repeat count must be at least 1");
    }
    return {frames, count};
}

}  // namespace

void ApplyFaultText(const std::string& given, std::vector<PortFaults>& faults) {
    const size_t colon = given.find(':');
    if (colon == std::string::npos) {
        throw std::invalid_argument("fault '" + given + "': expected PORTS:KIND[=N]");
    }
    const std::string what = given.substr(colon + 1);
    const size_t equals = what.find('=');
    const std::string kind = what.substr(0, equals);
    const bool hasValue = equals != std::string::npos;
    auto value = [&]() {
        if (!hasValue) {
            throw std::invalid_argument("fault '" + given + "': " + kind + " needs =N");
        }
        return Number(what.substr(equals + 1), given);
    };
    auto asInt = [&]() { return Bounded(value(), given); };
    PortFaults change;
    void (*apply)(PortFaults&, const PortFaults&) = nullptr;
    if (kind == "silent" && !hasValue) {
        apply = [](PortFaults& f, const PortFaults&) { f.silent = true; };
    } else if (kind == "hang" && hasValue && equals + 1 < what.size()) {
        change.consoleHang = what.substr(equals + 1);
        apply = [](PortFaults& f, const PortFaults& c) { f.consoleHang = c.consoleHang; };
    } else if (kind == "checksum" && !hasValue) {
        apply = [](PortFaults& f, const PortFaults&) { f.checksumError = true; };
    } else if (kind == "slow") {
        change.slow = milliseconds(asInt());
        apply = [](PortFaults& f, const PortFaults& c) { f.slow = c.slow; };
    } else if (kind == "hangup" || kind == "stall") {
        if (!hasValue) {
            throw std::invalid_argument("fault '" + given + "': " + kind + " needs =N");
        }
        const auto [frames, units] = FramesAndUnits(what.substr(equals + 1), given);
        if (kind == "hangup") {
            change.hangupAfterFrames = frames;
            change.hangupUnits = units;
            apply = [](PortFaults& f, const PortFaults& c) {
                f.hangupAfterFrames = c.hangupAfterFrames;
                f.hangupUnits = c.hangupUnits;
            };
        } else {
            change.stallAfterFrames = frames;
            change.stallUnits = units;
            apply = [](PortFaults& f, const PortFaults& c) {
                f.stallAfterFrames = c.stallAfterFrames;
                f.stallUnits = c.stallUnits;
            };
        }
    } else if (kind == "replace") {
        if (!hasValue) {
            throw std::invalid_argument("fault '" + given + "': replace needs =FILES");
        }
        const auto [files, units] = FramesAndUnits(what.substr(equals + 1), given);
        if (files == 0) {
            throw std::invalid_argument("fault '" + given + "': FILES must be at least 1");
        }
        change.replaceAfterFiles = files;
        change.replaceUnits = units;
        apply = [](PortFaults& f, const PortFaults& c) {
            f.replaceAfterFiles = c.replaceAfterFiles;
            f.replaceUnits = c.replaceUnits;
        };
    } else if (kind == "away") {
        change.awayFor = milliseconds(asInt());
        apply = [](PortFaults& f, const PortFaults& c) { f.awayFor = c.awayFor; };
    } else if (kind == "usbsum") {
        change.usbBadSums = asInt();
        apply = [](PortFaults& f, const PortFaults& c) { f.usbBadSums = c.usbBadSums; };
    } else if (kind == "usbstall") {
        if (!hasValue) {
            throw std::invalid_argument("fault '" + given + "': usbstall needs =BYTES");
        }
        const auto [bytes, images] = FramesAndUnits(what.substr(equals + 1), given);
        change.usbStallAfterBytes = bytes;
        change.usbStallImages = images;
        apply = [](PortFaults& f, const PortFaults& c) {
            f.usbStallAfterBytes = c.usbStallAfterBytes;
            f.usbStallImages = c.usbStallImages;
        };
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
            throw std::invalid_argument("fault '" + given + "': N must be at least 1");
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
        throw std::invalid_argument("fault '" + given + "': unknown kind '" + kind + "'");
    }
    for (size_t index : PortIndexes(given.substr(0, colon), faults.size(), given)) {
        apply(faults[index], change);
    }
}

void ApplyHidFaultText(const std::string& text, HidFaults& faults) {
    const size_t equals = text.find('=');
    const std::string kind = text.substr(0, equals);
    size_t used = 0;
    int n = -1;
    if (equals != std::string::npos && (kind == "refuse" || kind == "stall")) {
        try {
            n = std::stoi(text.substr(equals + 1), &used);
        } catch (const std::exception&) {
        }
    }
    if (n < 1 || used == 0 || used != text.size() - equals - 1) {
        throw std::invalid_argument("HID fault: expected refuse=N or stall=N with N from 1: " +
                                    text);
    }
    (kind == "refuse" ? faults.refuseReport : faults.stallReport) = n;
}

}  // namespace termsim
