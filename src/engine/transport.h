// The transports a download runs over, what each allows, and how a run opens the slots'
// channels. Plain types: every other engine file may include this one.
#pragma once

#include <optional>

#include "channels/port_map.h"
#include "config/controls_model.h"

namespace termload {

enum class Transport { Serial, UsbHid, UsbCcid };

// What a transport allows, known before the first byte; the start check refuses by it.
struct TransportTraits {
    bool comPorts = false;         // its slots are COM ports (else one terminal, shown as "[COM0]")
    bool bootConsole = false;      // reaches the boot loader's console (kernel mode, image rows)
    bool needsOpenReader = false;  // frames go over the reader connection the operator opened
    bool onePass = false;          // a run is one pass: the terminal confirms it, and it ends
    const char* name = "serial";   // as the operator knows it
};
TransportTraits TraitsOf(Transport transport);

// Which transport the window's port mode selects.
Transport TransportOfPortMode(PortMode mode);

// How the slots' channels are opened during one run.
struct SlotChannelSettings {
    Transport transport{};  // serial
    int baudRate = 115200;
    int dataBits = 8;
    int stopBitsIndex = 0;
    int parityIndex = 0;
    int flowControlIndex = 0;
    bool traceLog = false;
    // The run's COM-to-device table, taken when it started; each open uses it and never the
    // live table. Unset: each open resolves the live table (hand-built settings).
    std::optional<PortTable> devices;
};

enum class LinkMode {
    Normal,   // the flow writes and reads
    Console,  // a reader thread feeds the slot's receive text and events
};

}  // namespace termload
