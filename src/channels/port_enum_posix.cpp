// Enumeration of the serial ports of a Linux-like system: libserialport for the ports and their
// USB identities, /dev/serial/by-path for the physical sockets, sysfs for the console.
#include <libserialport.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <string>

#include "channels/port_map.h"

namespace termload {
namespace {

struct PortListFree {
    void operator()(sp_port** list) const { sp_free_port_list(list); }
};

std::string TextOrEmpty(const char* text) {
    return text != nullptr ? text : "";
}

DetectedSerialPort Describe(const sp_port* port) {
    DetectedSerialPort detected;
    detected.device = TextOrEmpty(sp_get_port_name(port));
    detected.description = TextOrEmpty(sp_get_port_description(port));
    detected.usb = sp_get_port_transport(port) == SP_TRANSPORT_USB;
    int vendor = 0;
    int product = 0;
    if (detected.usb && sp_get_port_usb_vid_pid(port, &vendor, &product) == SP_OK) {
        detected.usbVendorId = vendor;
        detected.usbProductId = product;
    }
    return detected;
}

}  // namespace

std::vector<DetectedSerialPort> DetectSerialPorts() {
    std::vector<DetectedSerialPort> ports;
    sp_port** rawList = nullptr;
    if (sp_list_ports(&rawList) == SP_OK) {
        const std::unique_ptr<sp_port*, PortListFree> list(rawList);
        for (sp_port** port = list.get(); *port != nullptr; ++port) {
            ports.push_back(Describe(*port));
        }
    }

    std::error_code error;
    for (const auto& link : std::filesystem::directory_iterator("/dev/serial/by-path", error)) {
        std::error_code resolveError;
        const std::string device = std::filesystem::canonical(link.path(), resolveError).string();
        if (resolveError) {
            continue;
        }
        auto known = std::find_if(ports.begin(), ports.end(),
                                  [&device](const auto& port) { return port.device == device; });
        if (known == ports.end()) {
            ports.push_back({device, "", true, -1, -1, ""});
            known = std::prev(ports.end());
        }
        // Two links to one device: the first by name is the one kept.
        const std::string linkPath = link.path().string();
        if (known->stablePath.empty() || linkPath < known->stablePath) {
            known->stablePath = linkPath;
        }
    }
    return ports;
}

std::vector<std::string> ConsoleDevices() {
    std::vector<std::string> devices;
    std::ifstream active("/sys/class/tty/console/active");
    std::string name;
    while (active >> name) {
        devices.push_back("/dev/" + name);
    }
    return devices;
}

}  // namespace termload
