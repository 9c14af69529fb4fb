// termload-cli ports: which device each COM number reaches, so an operator can label a hub.
#include <cstdio>

#include "channels/port_map.h"
#include "cli/cli_setup.h"
#include "cli/commands.h"
#include "cli/exit_codes.h"

namespace termload::cli {
namespace {

const char* SourceName(PortSource source) {
    switch (source) {
        case PortSource::kPortMapFile:
            return "port map";
        case PortSource::kUserStore:
            return "user store";
        case PortSource::kDefaultOrder:
            break;
    }
    return "detected";
}

}  // namespace

int PortsCommand(const PortsOptions& options) {
    UsePortMap(options.portsMap);
    const std::vector<ComPortEntry> ports = ListComPorts();
    if (ports.empty()) {
        std::printf("no serial ports\n");
        return kExitAllOk;
    }
    std::printf("%-6s %-32s %-10s %-9s %s\n", "port", "device", "from", "usb id", "physical path");
    for (const ComPortEntry& entry : ports) {
        std::string usbId = "-";
        std::string physical = "-";
        if (entry.detected) {
            if (entry.detected->usbVendorId >= 0 && entry.detected->usbProductId >= 0) {
                char id[16];
                std::snprintf(id, sizeof id, "%04x:%04x", entry.detected->usbVendorId & 0xFFFF,
                              entry.detected->usbProductId & 0xFFFF);
                usbId = id;
            }
            if (!entry.detected->stablePath.empty()) {
                physical = entry.detected->stablePath;
            }
        }
        const std::string com = "COM" + std::to_string(entry.comNumber);
        std::printf("%-6s %-32s %-10s %-9s %s\n", com.c_str(), entry.device.c_str(),
                    SourceName(entry.source), usbId.c_str(), physical.c_str());
    }
    return kExitAllOk;
}

}  // namespace termload::cli
