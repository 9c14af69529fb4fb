#include "engine/transport.h"

namespace termload {

TransportTraits TraitsOf(Transport transport) {
    switch (transport) {
        case Transport::UsbHid:
            return {.name = "USB-HID"};
        case Transport::UsbCcid:
            return {.needsOpenReader = true, .onePass = true, .name = "USB-CCID"};
        case Transport::Serial:
            break;
    }
    return {.comPorts = true, .bootConsole = true};
}

Transport TransportOfPortMode(PortMode mode) {
    switch (mode) {
        case PortMode::UsbHid:
            return Transport::UsbHid;
        case PortMode::UsbCcid:
            return Transport::UsbCcid;
        case PortMode::Single:
        case PortMode::Multi:
            break;
    }
    return Transport::Serial;
}

}  // namespace termload
