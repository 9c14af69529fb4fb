#include "engine/version_exchange.h"

#include <chrono>
#include <thread>

#include "channels/ccid_reader.h"
#include "channels/channel_library.h"
#include "channels/serial_channel.h"
#include "engine/hid_link.h"

namespace termload {
namespace {

// Closes the port however the exchange ends.
class OpenPort {
  public:
    explicit OpenPort(ChannelHandle handle) : handle_(handle) {}
    ~OpenPort() {
        if (handle_ != 0) {
            ComClose(handle_);
        }
    }
    OpenPort(const OpenPort&) = delete;
    OpenPort& operator=(const OpenPort&) = delete;
    ChannelHandle get() const { return handle_; }

  private:
    ChannelHandle handle_;
};

}  // namespace

VersionExchange MakeVersionExchange(const VersionExchangeSetup& setup) {
    switch (setup.transport) {
        case Transport::UsbHid:
            return [trace = setup.trace, waitMs = setup.timings.versionReplyWaitHidMs] {
                return HidVersionExchange(trace, waitMs);
            };
        case Transport::UsbCcid:
            return [reader = setup.ccidReader] { return CcidVersionExchange(reader); };
        case Transport::Serial:
            break;
    }
    return [port = setup.port, line = setup.line, trace = setup.trace,
            waitMs = setup.timings.versionReplyWaitSerialMs] {
        return SerialVersionExchange(port, line, trace, waitMs);
    };
}

VersionExchangeSetup VersionExchangeSetupOf(const ControlsModel& controls, bool trace,
                                            CcidReader* ccidReader) {
    VersionExchangeSetup setup;
    setup.transport = TransportOfPortMode(controls.portMode);
    setup.port = SelectedPortNumber(controls);
    if (const int baud = SelectedBaudRate(controls); baud != 0) {
        setup.line.baudRate = baud;
    }
    if (const int bits = SelectedDataBits(controls); bits != 0) {
        setup.line.byteSize = bits;
    }
    setup.line.stopBitsIndex = controls.stopBitIndex;
    setup.line.parityIndex = controls.parityIndex;
    setup.line.flowControlIndex = controls.flowCtrlIndex;
    setup.trace = trace;
    setup.ccidReader = ccidReader;
    return setup;
}

VersionExchangeResult SerialVersionExchange(int port, const SerialSettings& line, bool trace,
                                            std::uint32_t replyWaitMs) {
    VersionExchangeResult result;
    const OpenPort handle(ComOpen(port, line.baudRate, line.byteSize, line.stopBitsIndex,
                                  line.parityIndex, line.flowControlIndex, {}, trace));
    if (handle.get() == 0) {
        return result;
    }
    result.opened = true;
    if (ComWrite(handle.get(), kVersionRequest.data(), kVersionRequest.size()) !=
        ChannelResult::Done) {
        return result;
    }
    // The terminal answers as a whole within this wait; the caller's thread simply waits.
    std::this_thread::sleep_for(std::chrono::milliseconds(replyWaitMs));
    std::uint8_t buffer[kChannelBufferSize + 1];
    auto count = static_cast<std::uint32_t>(kChannelBufferSize);
    if (ComRead(handle.get(), buffer, &count) == ChannelResult::Done) {
        result.reply.assign(buffer, buffer + count);
    }
    return result;
}

VersionExchangeResult HidVersionExchange(bool trace, std::uint32_t replyWaitMs) {
    std::optional<std::vector<std::uint8_t>> reply =
        HidExchangeOnce(kVersionRequest, replyWaitMs, trace);
    if (!reply) {
        return {};
    }
    return {true, std::move(*reply)};
}

VersionExchangeResult CcidVersionExchange(CcidReader* reader) {
    VersionExchangeResult result;
    if (reader == nullptr || !reader->connected()) {
        return result;
    }
    result.opened = true;
    std::vector<std::uint8_t> buffer(kVersionReplyBufferSize);
    const int count = reader->Exchange(kVersionRequest, buffer);
    if (count > 0) {
        buffer.resize(static_cast<std::size_t>(count));
        result.reply = std::move(buffer);
    }
    reader->Close();
    return result;
}

}  // namespace termload
