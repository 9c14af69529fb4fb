// The version request over one transport: opened, asked, answered and closed within one call, on
// the caller's thread, outside any download. MakeVersionExchange picks among them.
#pragma once

#include <cstdint>

#include "channels/serial_port.h"
#include "config/controls_model.h"
#include "engine/timings.h"
#include "engine/transport.h"
#include "engine/version_read.h"

namespace termload {

class CcidReader;

// What the file-version read needs to reach the terminal, outside any download.
struct VersionExchangeSetup {
    Transport transport = Transport::Serial;
    int port = 1;  // serial: the COM number
    SerialSettings line;
    bool trace = false;
    Timings timings;
    CcidReader* ccidReader = nullptr;  // CCID: the host's reader, connected by the operator
};

// The version exchange of the setup's transport.
VersionExchange MakeVersionExchange(const VersionExchangeSetup& setup);

// The setup the window's controls select: the transport of the port mode, the chosen COM number
// and its line settings (a list without a selection keeps the line's default).
VersionExchangeSetup VersionExchangeSetupOf(const ControlsModel& controls, bool trace,
                                            CcidReader* ccidReader);

// Opens COM`port` in normal mode with `line`, writes the request, waits `replyWaitMs` for the
// terminal to answer and takes what came (at most one channel read of 2048 bytes). Not opened
// when the port does not open; no reply when the request could not be written.
VersionExchangeResult SerialVersionExchange(int port, const SerialSettings& line, bool trace,
                                            std::uint32_t replyWaitMs);

// The request in a HID report of its own (the device opened for the call), the reply read after
// `replyWaitMs`. Not opened when no HID device opens.
VersionExchangeResult HidVersionExchange(bool trace, std::uint32_t replyWaitMs);

// The request as one escape to the connected reader, with room for a 4174-byte reply. Not opened
// without a reader or a connection. The reader's connection is ended afterwards, whatever came:
// the operator connects again for the next download.
VersionExchangeResult CcidVersionExchange(CcidReader* reader);

}  // namespace termload
