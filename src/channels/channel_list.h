#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

namespace termload {

using ChannelHandle = std::intptr_t;  // 0 = none; positive values are live handles

// One open device of the channel library: a serial port, or a device of another transport
// (USB-HID) that registers in the same list so that one close serves every kind.
class ChannelRecord {
  public:
    ChannelRecord(ChannelHandle handle, int portNumber, bool trace)
        : handle_(handle), portNumber_(portNumber), trace_(trace) {}
    virtual ~ChannelRecord() = default;
    ChannelRecord(const ChannelRecord&) = delete;
    ChannelRecord& operator=(const ChannelRecord&) = delete;

    ChannelHandle Handle() const { return handle_; }
    // n of COMn; 0 for a device that is not a COM port.
    int PortNumber() const { return portNumber_; }
    // The "TraceLog" setting given at open: when false the record writes nothing to the log
    // apart from a receive callback failure.
    bool Trace() const { return trace_; }

    // Ends the device's activity: wakes every waiting caller, stops the record's threads and
    // releases the device. Called once, after the record has left the list.
    virtual void Close() = 0;

  private:
    const ChannelHandle handle_;
    const int portNumber_;
    const bool trace_;
};

// A handle never handed out before. Handles grow and are not reused, so a stale handle is
// simply one that is not registered.
ChannelHandle NewChannelHandle();

// The list of open records keyed by handle, under one lock that is held only while the list is
// read or changed, never during I/O. Callers keep the record alive with the pointer they get.
void RegisterChannel(std::shared_ptr<ChannelRecord> record);
std::shared_ptr<ChannelRecord> FindChannel(ChannelHandle handle);
// Takes the record out of the list; null when it was not there (so only one closer gets it).
std::shared_ptr<ChannelRecord> UnregisterChannel(ChannelHandle handle);
// Takes every record out of the list, newest first.
std::vector<std::shared_ptr<ChannelRecord>> UnregisterAllChannels();
std::size_t RegisteredChannelCount();

}  // namespace termload
