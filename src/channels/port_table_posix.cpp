// The default port table of POSIX systems: COM numbers follow the default order of the ports the
// system has (see port_map.h), so that they stay with the physical sockets.
#include <cstddef>
#include <utility>

#include "channels/port_map.h"

namespace termload {

PortTable DefaultPortTable(const std::vector<int>& ports) {
    const auto ordered = DefaultPortOrder(DetectSerialPorts(), ConsoleDevices());
    PortTable taken;
    for (const int port : ports) {
        if (port > 0 && static_cast<std::size_t>(port) <= ordered.size()) {
            taken.emplace(port, PortAddress(ordered[static_cast<std::size_t>(port) - 1]));
        }
    }
    return taken;
}

std::vector<ComPortEntry> DefaultComPorts(const std::vector<DetectedSerialPort>& detected) {
    const auto ordered = DefaultPortOrder(detected, ConsoleDevices());
    std::vector<ComPortEntry> entries;
    entries.reserve(ordered.size());
    for (std::size_t i = 0; i < ordered.size(); ++i) {
        entries.push_back({static_cast<int>(i) + 1, PortAddress(ordered[i]),
                           PortSource::kDefaultOrder, ordered[i]});
    }
    return entries;
}

}  // namespace termload
