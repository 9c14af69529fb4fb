#include "channels/channel_library.h"

#include <memory>

#include "channels/trace_log.h"

namespace termload {
namespace {

void CloseRecord(const std::shared_ptr<ChannelRecord>& record) {
    record->Close();
    if (record->Trace()) {
        TraceText(TraceFormat("COM%d closed.", record->PortNumber()));
        TraceText(TraceFormat("HeapFree %p OK!\r\n", static_cast<const void*>(record.get())));
    }
}

}  // namespace

void ChannelLibInit() {
    FixTraceLogPath();
}

void ChannelLibShutdown() {
    for (const auto& record : UnregisterAllChannels()) {
        CloseRecord(record);
    }
}

void ComClose(ChannelHandle handle) {
    // Taking the record out of the list first makes exactly one closer own its close.
    if (auto record = UnregisterChannel(handle)) {
        CloseRecord(record);
    }
}

}  // namespace termload
