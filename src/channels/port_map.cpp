#include "channels/port_map.h"

#include <algorithm>
#include <cctype>
#include <map>
#include <mutex>
#include <string_view>
#include <utility>

#include "config/paths.h"
#include "config/user_store.h"

namespace termload {
namespace {

struct PortMapState {
    std::mutex mutex;
    std::filesystem::path file;
};

PortMapState& State() {
    static PortMapState state;
    return state;
}

bool IsDigit(char c) {
    return std::isdigit(static_cast<unsigned char>(c)) != 0;
}

// "ttyS2" before "ttyS10", "usb-0:1.2" before "usb-0:1.10".
bool NaturalLess(std::string_view a, std::string_view b) {
    std::size_t i = 0;
    std::size_t j = 0;
    while (i < a.size() && j < b.size()) {
        if (IsDigit(a[i]) && IsDigit(b[j])) {
            std::size_t endA = i;
            std::size_t endB = j;
            while (endA < a.size() && IsDigit(a[endA])) {
                ++endA;
            }
            while (endB < b.size() && IsDigit(b[endB])) {
                ++endB;
            }
            std::string_view numberA = a.substr(i, endA - i);
            std::string_view numberB = b.substr(j, endB - j);
            numberA.remove_prefix(std::min(numberA.find_first_not_of('0'), numberA.size()));
            numberB.remove_prefix(std::min(numberB.find_first_not_of('0'), numberB.size()));
            if (numberA.size() != numberB.size()) {
                return numberA.size() < numberB.size();
            }
            if (numberA != numberB) {
                return numberA < numberB;
            }
            i = endA;
            j = endB;
        } else {
            if (a[i] != b[j]) {
                return a[i] < b[j];
            }
            ++i;
            ++j;
        }
    }
    return a.size() - i < b.size() - j;
}

int GroupOf(const DetectedSerialPort& port) {
    if (!port.stablePath.empty()) {
        return 0;
    }
    return port.usb ? 1 : 2;
}

std::string Canonical(const std::string& path) {
    std::error_code error;
    const auto canonical = std::filesystem::weakly_canonical(path, error);
    return error ? path : canonical.string();
}

std::optional<DetectedSerialPort> FindDetected(const std::vector<DetectedSerialPort>& ports,
                                               const std::string& device) {
    const std::string target = Canonical(device);
    for (const auto& port : ports) {
        if (port.device == device || port.device == target ||
            (!port.stablePath.empty() && port.stablePath == device)) {
            return port;
        }
    }
    return std::nullopt;
}

// The explicit table: the port-map file when set, else the per-user store.
std::pair<std::map<int, std::string>, PortSource> ExplicitTable() {
    const std::filesystem::path mapFile = PortMapFile();
    if (!mapFile.empty()) {
        return {ReadPortsSection(mapFile), PortSource::kPortMapFile};
    }
    return {ReadPortsSection(UserStorePath()), PortSource::kUserStore};
}

// An explicit table that lists any port is the whole table; only without one do COM numbers
// take the system's ports in the default order.
bool IsWholeTable(const std::map<int, std::string>& table, PortSource source) {
    return source == PortSource::kPortMapFile || !table.empty();
}

}  // namespace

void SetPortMapFile(std::filesystem::path path) {
    auto& state = State();
    std::lock_guard lock(state.mutex);
    state.file = std::move(path);
}

std::filesystem::path PortMapFile() {
    auto& state = State();
    std::lock_guard lock(state.mutex);
    return state.file;
}

const std::string& PortAddress(const DetectedSerialPort& port) {
    return port.stablePath.empty() ? port.device : port.stablePath;
}

std::vector<DetectedSerialPort> DefaultPortOrder(std::vector<DetectedSerialPort> ports,
                                                 const std::vector<std::string>& consoleDevices) {
    std::erase_if(ports, [&consoleDevices](const DetectedSerialPort& port) {
        return std::find(consoleDevices.begin(), consoleDevices.end(), port.device) !=
               consoleDevices.end();
    });
    std::sort(ports.begin(), ports.end(), [](const auto& a, const auto& b) {
        const int groupA = GroupOf(a);
        const int groupB = GroupOf(b);
        if (groupA != groupB) {
            return groupA < groupB;
        }
        return NaturalLess(PortAddress(a), PortAddress(b));
    });
    return ports;
}

std::optional<std::string> ResolveComPort(int portNumber) {
    if (portNumber <= 0) {
        return std::nullopt;
    }
    const PortTable table = TakePortTable({portNumber});
    if (const auto entry = table.find(portNumber); entry != table.end()) {
        return entry->second;
    }
    return std::nullopt;
}

PortTable TakePortTable(const std::vector<int>& ports) {
    const auto [table, source] = ExplicitTable();
    PortTable taken;
    if (IsWholeTable(table, source)) {
        for (const int port : ports) {
            if (const auto entry = table.find(port); entry != table.end()) {
                taken.emplace(port, entry->second);
            }
        }
        return taken;
    }
    return DefaultPortTable(ports);
}

std::vector<ComPortEntry> ListComPorts() {
    const auto detected = DetectSerialPorts();
    const auto [table, source] = ExplicitTable();
    std::map<int, ComPortEntry> entries;
    for (const auto& [number, device] : table) {
        entries[number] = {number, device, source, FindDetected(detected, device)};
    }
    if (!IsWholeTable(table, source)) {
        for (auto& entry : DefaultComPorts(detected)) {
            entries.try_emplace(entry.comNumber, std::move(entry));
        }
    }
    std::vector<ComPortEntry> listing;
    listing.reserve(entries.size());
    for (auto& [number, entry] : entries) {
        listing.push_back(std::move(entry));
    }
    return listing;
}

}  // namespace termload
