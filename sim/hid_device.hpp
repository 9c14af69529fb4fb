#pragma once
// The terminal's USB-HID function: one hidraw device served to other processes through an
// umockdev testbed that termsim owns. A process started with umockdev's preload and the testbed's
// directory in its environment (DIR/env) finds it through its real hidapi. The reports the tool
// writes, and each time it opens the device, come out on the event loop's thread; input reports
// go back through the node's line.
#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <vector>

#include "faults.hpp"

namespace termsim {

struct HidDeviceOptions {
    uint16_t vendor = 0x8888;
    uint16_t product = 0x0001;
    HidFaults faults;
};

struct HidEvent {
    bool opened = false;         // the tool opened the device (no bytes)
    bool refused = false;        // the write was failed back to the tool
    bool stalled = false;        // the write is held and never finished
    std::vector<uint8_t> bytes;  // one write, whole
};

class HidDevice {
  public:
    // Throws std::runtime_error when the testbed cannot be set up.
    explicit HidDevice(HidDeviceOptions options);
    ~HidDevice();
    HidDevice(const HidDevice&) = delete;
    HidDevice& operator=(const HidDevice&) = delete;

    // The testbed's root: UMOCKDEV_DIR for the tool.
    std::string rootDir() const;
    // Readable while events wait in TakeEvents.
    int readyFd() const;
    // Opens and writes since the last call, in order.
    std::vector<HidEvent> TakeEvents();
    // One input report for the tool to read. False when the line does not take it whole.
    bool SendInput(std::span<const uint8_t> report);
    // Drops input reports the tool has not read (a new open starts with none).
    void DropInput();

  private:
    struct Impl;
    std::unique_ptr<Impl> impl_;
};

}  // namespace termsim
